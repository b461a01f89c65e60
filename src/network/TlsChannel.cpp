#include "network/TlsChannel.h"

#include <utility>

namespace buzonix {
namespace {

constexpr int kConnectionReset = 10054;

}  // namespace

int TlsErrorCode(TlsFailure failure) {
  switch (failure) {
    case TlsFailure::kUntrusted: return kTlsUntrusted;
    case TlsFailure::kNameMismatch: return kTlsNameMismatch;
    case TlsFailure::kExpired: return kTlsExpired;
    case TlsFailure::kUnavailable: return kTlsUnavailable;
    case TlsFailure::kNone:
    case TlsFailure::kHandshake: break;
  }
  return kTlsHandshakeFailed;
}

// Windows-1252 text: "\xF3" is o and "\xE1" is a with acute accent.
std::string TlsFailureText(TlsFailure failure, const std::string& host) {
  switch (failure) {
    case TlsFailure::kUntrusted: return "El certificado del servidor no es de confianza";
    case TlsFailure::kNameMismatch: return "El certificado del servidor no corresponde a " + host;
    case TlsFailure::kExpired: return "El certificado del servidor ha caducado";
    case TlsFailure::kUnavailable:
      return "Las conexiones seguras no est\xE1n disponibles en este equipo";
    case TlsFailure::kNone:
    case TlsFailure::kHandshake: break;
  }
  return "No se pudo establecer una conexi\xF3n segura";
}

void ReportTlsFailure(TSockets& sockets, TlsFailure failure, const std::string& host) {
  sockets.ReportError(sockets.Socket(), "TLS", TlsErrorCode(failure),
                      TlsFailureText(failure, host));
}

TlsChannel::TlsChannel(TSockets& sockets, std::unique_ptr<TlsEngine> engine, std::string host)
    : sockets_(sockets), engine_(std::move(engine)), host_(std::move(host)) {}

void TlsChannel::ReportFailure(TlsFailure failure) {
  ended_ = true;
  ReportTlsFailure(sockets_, failure, host_);
}

bool TlsChannel::Flush() {
  const std::string output = engine_->TakeOutput();
  return output.empty() || sockets_.SendBytes(output);
}

bool TlsChannel::Handshake() {
  for (;;) {
    const TlsEngine::State state = engine_->Handshake();
    // Whatever the engine queued goes out first, a final alert included.
    const bool flushed = Flush();
    if (state == TlsEngine::State::kFailed || state == TlsEngine::State::kClosed) {
      const TlsFailure failure = engine_->Failure();
      ReportFailure(failure == TlsFailure::kNone ? TlsFailure::kHandshake : failure);
      return false;
    }
    if (!flushed) return false;
    if (state == TlsEngine::State::kReady) return true;
    TSockets::Received received = sockets_.Receive();
    switch (received.status) {
      case TSockets::Received::kData:
        engine_->Feed(received.bytes);
        break;
      case TSockets::Received::kClosed:
        ReportFailure(TlsFailure::kHandshake);
        return false;
      case TSockets::Received::kFailed:
      case TSockets::Received::kNoSocket:
        return false;  // the component reported it (a time-out included)
    }
  }
}

bool TlsChannel::Send(const std::string& bytes) {
  if (!engine_->Encrypt(bytes)) {
    ReportFailure(TlsFailure::kHandshake);
    return false;
  }
  return Flush();
}

TSockets::Received TlsChannel::ConnectionLost() {
  ended_ = true;
  sockets_.ReportError(sockets_.Socket(), "GetText (TLS)", kConnectionReset);
  return {TSockets::Received::kFailed, {}};
}

TSockets::Received TlsChannel::Receive() {
  for (;;) {
    if (!plain_.empty()) return {TSockets::Received::kData, std::exchange(plain_, {})};
    if (ended_) return {TSockets::Received::kFailed, {}};
    const TlsEngine::State state = engine_->Decrypt(plain_);
    if (!Flush()) return {TSockets::Received::kFailed, {}};
    if (!plain_.empty()) continue;  // data before a close is still handed out
    if (state == TlsEngine::State::kClosed || state == TlsEngine::State::kFailed)
      return ConnectionLost();
    TSockets::Received received = sockets_.Receive();
    switch (received.status) {
      case TSockets::Received::kData:
        engine_->Feed(received.bytes);
        break;
      case TSockets::Received::kClosed:
        return ConnectionLost();
      case TSockets::Received::kFailed:
      case TSockets::Received::kNoSocket:
        return received;
    }
  }
}

void TlsChannel::Close() {
  if (ended_) return;
  engine_->Shutdown();
  Flush();
  ended_ = true;
}

bool StartTls(TSockets& sockets, const TlsEngineFactory& factory, const std::string& host,
              std::unique_ptr<TlsChannel>& tls) {
  std::unique_ptr<TlsEngine> engine = factory ? factory(host) : nullptr;
  if (!engine) {
    ReportTlsFailure(sockets, TlsFailure::kUnavailable, host);
    return false;
  }
  tls = std::make_unique<TlsChannel>(sockets, std::move(engine), host);
  return tls->Handshake();
}

}  // namespace buzonix
