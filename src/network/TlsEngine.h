// A TLS client that never touches a socket: bytes from the server go in,
// bytes for the server come out. The socket component carries them, so the
// time-out, the error events and the reply reader work as in plain mode.
// Schannel implements it in the Windows program, OpenSSL in native builds.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace buzonix {

// Why a secure connection could not be made, or could not go on.
enum class TlsFailure {
  kNone,
  kUntrusted,     // unknown issuer, untrusted or self-signed root
  kNameMismatch,  // the certificate names another host
  kExpired,       // outside its validity period
  kHandshake,     // handshake or protocol failure, or an alert
  kUnavailable,   // the platform's TLS provider cannot be used
};

class TlsEngine {
 public:
  enum class State {
    kHandshaking,  // wants more bytes from the server
    kReady,        // handshake done and the certificate verified
    kClosed,       // the server closed the TLS session (close_notify)
    kFailed,       // see Failure()
  };

  virtual ~TlsEngine() = default;

  // Bytes that arrived from the server; kept until the engine uses them.
  virtual void Feed(std::string_view bytes) = 0;
  // Advances the handshake as far as the bytes fed allow. Verifies the
  // server's certificate before it reports kReady.
  virtual State Handshake() = 0;
  // Turns application data into records, queued for the server.
  virtual bool Encrypt(std::string_view plain) = 0;
  // Appends to `plain` the data of every whole record fed so far. kReady
  // means more records may follow; bytes of a partial record stay fed.
  virtual State Decrypt(std::string& plain) = 0;
  // Queues the close_notify alert.
  virtual void Shutdown() = 0;
  // Everything queued for the server since the last call.
  virtual std::string TakeOutput() = 0;
  virtual TlsFailure Failure() const = 0;
};

// Makes an engine for a connection to `host` (the name as the user typed it:
// sent as SNI and matched against the certificate). Null when the platform's
// TLS provider cannot be used.
using TlsEngineFactory = std::function<std::unique_ptr<TlsEngine>(const std::string& host)>;

}  // namespace buzonix
