// The platform under the socket component: name look-up, a TCP socket whose
// "blocking" calls wait while the thread keeps dispatching its messages, and the
// component's own message target (time-out timer 10, socket notifications).
// Winsock implements it in the Windows program, POSIX in native builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace buzonix {

// Pointer-sized, as the system's socket handles are; kNoSocket is no socket.
using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;

// Winsock error codes the component and its callers name.
enum WinsockError : int {
  kWsaEintr = 10004,
  kWsaEbadf = 10009,
  kWsaEinval = 10022,
  kWsaEwouldblock = 10035,
  kWsaEnotsock = 10038,
  kWsaEtimedout = 10060,
  kWsaEconnrefused = 10061,
  kWsaHostNotFound = 11001,
};

// Socket notification event bits, as posted with message 1024.
enum SocketEvent : int {
  kFdRead = 1,
  kFdWrite = 2,
  kFdAccept = 8,
  kFdConnect = 16,
  kFdClose = 32,
};

// One address of a server, in the platform's own form (its sockaddr bytes).
struct SocketAddress {
  int family = 0;
  std::string bytes;
};

// What a name look-up gave: the addresses, or why there are none. Only a
// definite answer that the name does not exist is kNoSuchName; a resolver that
// could not be reached, failed for now or was cancelled is kFailed.
struct LookUpResult {
  enum Status { kFound, kNoSuchName, kFailed } status = kFailed;
  std::vector<SocketAddress> addresses;  // in the resolver's order; empty unless kFound
};

// An address as a resolver gave it, with `port_net` put in. IPv4 and IPv6
// socket addresses alike hold the port in their bytes 2 and 3.
inline SocketAddress AddressWithPort(int family, const void* sockaddr, std::size_t size,
                                     std::uint16_t port_net) {
  SocketAddress address{family, std::string(static_cast<const char*>(sockaddr), size)};
  if (address.bytes.size() >= 4) std::memcpy(address.bytes.data() + 2, &port_net, 2);
  return address;
}

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
  // The addresses of `host` (a name, or a literal IPv4 or IPv6 address) with
  // TCP port `port_net` (network byte order), in the resolver's order. The
  // look-up waits as a blocking call does, dispatching messages, and
  // CancelBlockingCall ends it (kFailed).
  virtual LookUpResult Resolve(const std::string& host, std::uint16_t port_net) = 0;
  virtual std::optional<int> TcpProtocolNumber() = 0;

  // A TCP socket of an address's family; kNoSocket on failure.
  virtual SocketHandle OpenSocket(int family, int protocol) = 0;
  // Notifications of `mask` to the component's target (0 stops them); non-blocking.
  virtual int AsyncSelect(SocketHandle s, long mask) = 0;
  // Makes later Connect/Send/Recv on `s` wait for their outcome, dispatching messages.
  virtual void SetBlocking(SocketHandle s) = 0;

  // Winsock conventions: 0 / byte counts on success, -1 with LastError() on failure.
  virtual int Connect(SocketHandle s, const SocketAddress& address) = 0;
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
