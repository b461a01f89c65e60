// An in-memory socket layer that hands out a byte stream in chunks of given
// sizes, so that replies can be cut at any receive boundary.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

#include "network/SocketPlatform.h"

namespace buzonix::fuzzing {

class ChunkedPlatform final : public SocketPlatform {
 public:
  std::deque<std::string> chunks;  // what each receive returns; then the peer closes

  void Attach(SocketWindowSink*) override {}
  int Startup() override { return 0; }
  int Cleanup() override { return 0; }
  int LastError() override { return 0; }
  std::optional<std::uint16_t> ServicePort(const std::string&) override { return 0x6E00; }
  LookUpResult Resolve(const std::string&, std::uint16_t) override {
    return {LookUpResult::kFound, {SocketAddress{2, "loopback"}}};
  }
  std::optional<int> TcpProtocolNumber() override { return 6; }
  SocketHandle OpenSocket(int, int) override { return 7; }
  int AsyncSelect(SocketHandle, long) override { return 0; }
  void SetBlocking(SocketHandle) override {}
  int Connect(SocketHandle, const SocketAddress&) override { return 0; }
  int Send(SocketHandle, const char*, int length) override { return length; }
  int Recv(SocketHandle, char* buffer, int length) override {
    if (chunks.empty()) return 0;
    std::string& chunk = chunks.front();
    const int n = std::min<int>(length, static_cast<int>(chunk.size()));
    std::memcpy(buffer, chunk.data(), static_cast<std::size_t>(n));
    chunk.erase(0, static_cast<std::size_t>(n));
    if (chunk.empty()) chunks.pop_front();
    return n;
  }
  void Shutdown(SocketHandle) override {}
  void SetAbortiveClose(SocketHandle) override {}
  int CloseSocket(SocketHandle) override { return 0; }
  bool IsBlocking() override { return false; }
  void CancelBlockingCall() override {}
  void SetTimer(unsigned) override {}
  void KillTimer() override {}
  void ShowMessageBox(const std::string&, const std::string&) override {}
  [[noreturn]] void ExitProgram(int) override { __builtin_trap(); }
};

}  // namespace buzonix::fuzzing
