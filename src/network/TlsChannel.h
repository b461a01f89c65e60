// TLS over the socket component: the handshake and every read wait in the
// component's receives, so they are bounded by its time-out and report as it
// does; what goes wrong with TLS itself is reported through the same error
// event, with a Spanish text of its own.
#pragma once

#include <memory>
#include <string>

#include "network/Channel.h"
#include "network/TlsEngine.h"

namespace buzonix {

// Error codes of secure connections, beside Winsock's own.
enum TlsError : int {
  kTlsUntrusted = 20001,
  kTlsNameMismatch = 20002,
  kTlsExpired = 20003,
  kTlsNoStarttls = 20004,
  kTlsHandshakeFailed = 20005,
  kTlsUnavailable = 20006,
};

int TlsErrorCode(TlsFailure failure);
// The message shown for a failure on a connection to `host` (Windows-1252).
std::string TlsFailureText(TlsFailure failure, const std::string& host);
inline constexpr char kNoStarttlsText[] = "El servidor no admite conexiones seguras (STARTTLS)";

class TlsChannel final : public ByteChannel {
 public:
  TlsChannel(TSockets& sockets, std::unique_ptr<TlsEngine> engine, std::string host);

  // Runs the handshake to its end; false when it failed (already reported).
  // No application byte is sent before it has verified the server.
  bool Handshake();
  bool Send(const std::string& bytes) override;
  // A close or an alert before the dialogue ends is a socket error.
  TSockets::Received Receive() override;
  // Sends the close_notify alert.
  void Close();

  // Reports `failure` through the component's error event.
  void ReportFailure(TlsFailure failure);

 private:
  bool Flush();
  TSockets::Received ConnectionLost();

  TSockets& sockets_;
  std::unique_ptr<TlsEngine> engine_;
  std::string host_;
  std::string plain_;  // decrypted, not yet handed out
  bool ended_ = false;
};

// Reports `failure` for a connection to `host` without a channel.
void ReportTlsFailure(TSockets& sockets, TlsFailure failure, const std::string& host);

// TLS on the open connection of `sockets` with an engine of `factory` for
// `host`, through its handshake. False, with the failure reported, when no
// engine can be had or the handshake fails; `tls` then holds what was made.
bool StartTls(TSockets& sockets, const TlsEngineFactory& factory, const std::string& host,
              std::unique_ptr<TlsChannel>& tls);

}  // namespace buzonix
