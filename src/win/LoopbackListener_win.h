// The sign-in's loopback redirect: a Winsock socket on 127.0.0.1 at a port the
// system picks, its connections' events coming as messages to a window of its
// own, as the socket component's do. Nothing exists before the first Listen.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "signin/Ports.h"

namespace buzonix {

class WinLoopbackListener final : public LoopbackListener {
 public:
  WinLoopbackListener();
  ~WinLoopbackListener();
  WinLoopbackListener(const WinLoopbackListener&) = delete;
  WinLoopbackListener& operator=(const WinLoopbackListener&) = delete;

  std::uint16_t Listen(ListenerEvents& events) override;
  void Respond(int connection, const std::string& response) override;
  void Close() override;

 private:
  class EventWindow;
  // A socket closed with its owner.
  class Socket;

  void SocketEvent(SOCKET s, WORD event);
  void Accept();
  void Receive(SOCKET s);
  void Drop(SOCKET s);
  int ConnectionOf(SOCKET s) const;

  std::unique_ptr<EventWindow> window_;
  std::unique_ptr<Socket> listening_;
  std::map<int, std::unique_ptr<Socket>> connections_;
  ListenerEvents* events_ = nullptr;
  int next_connection_ = 1;
  bool started_ = false;  // WSAStartup made, WSACleanup owed
};

}  // namespace buzonix
