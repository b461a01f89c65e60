// The platform under the socket component: name look-up, a TCP socket whose
// "blocking" calls wait while the thread keeps dispatching its messages, and the
// component's own message target (time-out timer 10, socket notifications).
// Winsock implements it in the Windows program, POSIX in native builds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace buzonix {

// Pointer-sized, as the system's socket handles are; kNoSocket is no socket.
using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;
constexpr std::uint32_t kInaddrNone = 0xFFFFFFFFu;

// Winsock error codes the component and its callers name.
enum WinsockError : int {
  kWsaEintr = 10004,
  kWsaEbadf = 10009,
  kWsaEinval = 10022,
  kWsaEwouldblock = 10035,
  kWsaEnotsock = 10038,
  kWsaEtimedout = 10060,
  kWsaEconnrefused = 10061,
};

// Socket notification event bits, as posted with message 1024.
enum SocketEvent : int {
  kFdRead = 1,
  kFdWrite = 2,
  kFdAccept = 8,
  kFdConnect = 16,
  kFdClose = 32,
};

// What reaches the component's own window.
class SocketWindowSink {
 public:
  virtual void OnTimerMessage() = 0;
  virtual void OnSocketNotification(SocketHandle socket, int event, int error) = 0;

 protected:
  ~SocketWindowSink() = default;
};

class SocketPlatform {
 public:
  virtual ~SocketPlatform() = default;

  // Creates the component's message target; notifications and timer 10 go there.
  virtual void Attach(SocketWindowSink* sink) = 0;

  virtual int Startup() = 0;  // 0, or the error code
  virtual int Cleanup() = 0;  // negative on failure
  virtual int LastError() = 0;

  // Port of a TCP service name, in network byte order.
  virtual std::optional<std::uint16_t> ServicePort(const std::string& name) = 0;
  // Dotted IPv4 text to an address in network byte order; kInaddrNone otherwise.
  virtual std::uint32_t InetAddr(const std::string& text) = 0;
  // First IPv4 address of a host name, in network byte order.
  virtual std::optional<std::uint32_t> HostAddress(const std::string& name) = 0;
  virtual std::optional<int> TcpProtocolNumber() = 0;

  virtual SocketHandle OpenSocket(int protocol) = 0;  // kNoSocket on failure
  // Notifications of `mask` to the component's target (0 stops them); non-blocking.
  virtual int AsyncSelect(SocketHandle s, long mask) = 0;
  // Makes later Connect/Send/Recv on `s` wait for their outcome, dispatching messages.
  virtual void SetBlocking(SocketHandle s) = 0;

  // Winsock conventions: 0 / byte counts on success, -1 with LastError() on failure.
  virtual int Connect(SocketHandle s, std::uint32_t address, std::uint16_t port_net) = 0;
  virtual int Send(SocketHandle s, const char* data, int length) = 0;
  virtual int Recv(SocketHandle s, char* buffer, int length) = 0;
  virtual void Shutdown(SocketHandle s) = 0;
  virtual void SetAbortiveClose(SocketHandle s) = 0;
  virtual int CloseSocket(SocketHandle s) = 0;

  // A waiting call of this thread; cancelling it makes it fail with 10004.
  virtual bool IsBlocking() = 0;
  virtual void CancelBlockingCall() = 0;

  // One-shot use of timer 10 on the component's target.
  virtual void SetTimer(unsigned milliseconds) = 0;
  virtual void KillTimer() = 0;

  // The component's own boxes (OK and Cancel); the answer is not used.
  virtual void ShowMessageBox(const std::string& text, const std::string& caption) = 0;
  // Ends the program after the component's fatal box; does not return.
  [[noreturn]] virtual void ExitProgram(int code) = 0;
};

}  // namespace buzonix
