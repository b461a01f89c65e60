// What sign-in asks of each platform: an HTTPS client for the token
// endpoint, the system's own browser, a listener for the loopback redirect,
// a one-shot timer. Windows: WinHTTP, ShellExecute, Winsock; Linux: Qt
// Network, QDesktopServices, QTcpServer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "network/TlsEngine.h"
#include "signin/Json.h"

namespace buzonix {

// What a transport keeps of a body: one octet more than the JSON reader
// takes, so that an answer too long is seen as too long, never cut to fit.
inline constexpr std::size_t kHttpsBodyKept = kMaxJsonOctets + 1;

struct HttpsAnswer {
  enum class Outcome {
    kAnswered,        // an HTTP response came: `status` and `body`
    kUnreachable,     // no connection, a time-out, a broken response
    kBadCertificate,  // `failure` says why; nothing of the body was sent
  };
  Outcome outcome = Outcome::kUnreachable;
  int status = 0;
  std::string body;  // at most kHttpsBodyKept octets
  TlsFailure failure = TlsFailure::kNone;
};

class HttpsTransport {
 public:
  // POSTs `form` (application/x-www-form-urlencoded) to `url`, which is https
  // or loopback http (EndpointAllowed). For https the server's certificate
  // passes the program's own checks, exactly those of the mail server
  // (trusted root, validity, the URL's host name), before any byte of the
  // form goes out. Returns when the answer is in, or after a time-out of
  // about 30 s; the platform keeps its windows alive meanwhile.
  virtual HttpsAnswer PostForm(const std::string& url, const std::string& form) = 0;

 protected:
  ~HttpsTransport() = default;
};

class SystemBrowser {
 public:
  // Opens the user's default browser at `url`; false when none could start.
  virtual bool Open(const std::string& url) = 0;

 protected:
  ~SystemBrowser() = default;
};

// Connections to the loopback redirect, as they come.
class ListenerEvents {
 public:
  virtual void ConnectionData(int connection, std::string_view bytes) = 0;

 protected:
  ~ListenerEvents() = default;
};

class LoopbackListener {
 public:
  // Listens on 127.0.0.1 at a port the system chooses; 0 when it cannot.
  // Every accepted connection's bytes go to `events`.
  virtual std::uint16_t Listen(ListenerEvents& events) = 0;
  // Sends `response` on `connection` and closes it.
  virtual void Respond(int connection, const std::string& response) = 0;
  // Stops listening and closes every connection still open.
  virtual void Close() = 0;

 protected:
  ~LoopbackListener() = default;
};

// A one-shot timer; the tests drive their own.
class OneShotTimer {
 public:
  // Calls the owner's handler once, `milliseconds` from now (a running one
  // starts over).
  virtual void Start(unsigned milliseconds) = 0;
  virtual void Stop() = 0;

 protected:
  ~OneShotTimer() = default;
};

}  // namespace buzonix
