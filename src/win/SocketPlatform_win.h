// Winsock under the socket component. A "blocking" call is made on a
// non-blocking socket and waits in the program's message pump, so timers, menu
// commands, tray clicks and the dialog's keys keep working while it waits, and
// timer 10 on the component's window can cancel it. Names are looked up on a
// worker thread under the same wait.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <functional>
#include <map>
#include <memory>

#include "network/SocketPlatform.h"

namespace buzonix {

class WinSocketPlatform : public SocketPlatform {
 public:
  WinSocketPlatform();
  ~WinSocketPlatform() override;

  // Called when a waiting call's message loop meets WM_QUIT: the program is
  // ending. The handler ends the program; without one the quit is passed on and
  // the waiting call fails with 10004.
  static void SetQuitHandler(std::function<void(int exit_code)> handler);
  // Runs instead of ExitProcess after the component's fatal box.
  static void SetExitHandler(std::function<void(int exit_code)> handler);

  void Attach(SocketWindowSink* sink) override { sink_ = sink; }
  int Startup() override;
  int Cleanup() override;
  int LastError() override { return startup_error_ != 0 ? startup_error_ : WSAGetLastError(); }
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

  // The message window, made on first use: a program that has not yet
  // checked needs none.
  HWND Window();

 private:
  // The message-only window that receives the component's events and timer.
  class MessageWindow;

  // The component's events, its timer and the wake-ups of a waiting call;
  // false for any other message, which gets the default processing.
  bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  // Handles one message while a call waits; false when the wait was cancelled.
  bool WaitForAnyMessage();
  int Cancelled();
  // Starts Winsock if the component asked for it and it has not started;
  // false when it cannot start (LastError() then tells why).
  bool Started();
  // Makes `call` (a send or a receive) until it would no longer block,
  // waiting for a message before each retry on a socket set to block.
  int WhenReady(SocketHandle s, const std::function<int()>& call);

  struct PendingConnect {
    bool done = false;
    int error = 0;
  };

  std::unique_ptr<MessageWindow> message_window_;
  SocketWindowSink* sink_ = nullptr;
  bool startup_wanted_ = false;
  bool started_ = false;
  int startup_error_ = 0;
  bool blocking_ = false;
  bool cancelled_ = false;
  std::map<SocketHandle, PendingConnect> connects_;
};

}  // namespace buzonix
