// POSIX sockets under the socket component, with waits that keep the event
// loop's timers and other work running.
#pragma once

#include <set>
#include <string>

#include "network/SocketPlatform.h"
#include "posix/EventLoop.h"

namespace buzonix {

class PosixSocketPlatform : public SocketPlatform {
 public:
  explicit PosixSocketPlatform(EventLoop& loop) : loop_(loop) {}
  ~PosixSocketPlatform() override;

  void Attach(SocketWindowSink* sink) override { sink_ = sink; }
  int Startup() override { return 0; }
  int Cleanup() override { return 0; }
  int LastError() override { return last_error_; }
  std::optional<std::uint16_t> ServicePort(const std::string& name) override;
  LookUpResult Resolve(const std::string& host, std::uint16_t port_net) override;
  std::optional<int> TcpProtocolNumber() override;
  SocketHandle OpenSocket(int family, int protocol) override;
  int AsyncSelect(SocketHandle s, long mask) override;
  void SetBlocking(SocketHandle s) override;
  int Connect(SocketHandle s, const SocketAddress& address) override;
  int Send(SocketHandle s, const char* data, int length) override;
  int Recv(SocketHandle s, char* buffer, int length) override;
  void Shutdown(SocketHandle s) override;
  void SetAbortiveClose(SocketHandle s) override;
  int CloseSocket(SocketHandle s) override;
  bool IsBlocking() override { return blocking_; }
  void CancelBlockingCall() override { cancelled_ = true; }
  void SetTimer(unsigned milliseconds) override;
  void KillTimer() override;
  void ShowMessageBox(const std::string& text, const std::string& caption) override;
  [[noreturn]] void ExitProgram(int code) override;

 private:
  static constexpr int kTimeoutTimerId = 10;
  int Fail(int winsock_code);
  int FailFromErrno();
  // Waits for `events` on `s`; false (with 10004) when the wait was cancelled.
  bool WaitReady(SocketHandle s, short events);
  void Notify(SocketHandle s, short revents);

  EventLoop& loop_;
  SocketWindowSink* sink_ = nullptr;
  int last_error_ = 0;
  bool blocking_ = false;
  bool cancelled_ = false;
  std::set<SocketHandle> open_;
  std::set<SocketHandle> pseudo_blocking_;
  std::set<SocketHandle> connect_pending_;
};

// Winsock code for an errno value of a socket call.
int WinsockCodeFromErrno(int error);

}  // namespace buzonix
