#include "mailcheck/CheckMail.h"

#include <cstring>

#include "mailcheck/TokenLogin.h"
#include "signin/Sasl.h"
#include "text/Cp1252.h"
#include "text/Decimal.h"

namespace buzonix {
namespace {

// A line that never ends is not read forever.
constexpr std::size_t kMaxLineOctets = 64 * 1024;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char FoldUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithFolded(const std::string& text, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (FoldUpper(text[i]) != prefix[i]) return false;
  return true;
}

// Commands are single lines: a user name or password that would break the line
// (or end it early) must never reach the server.
bool BreaksCommandLine(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace

std::string ExtraeSello(const std::string& g) {
  const std::size_t L = g.size();
  // Positions are 1-based: at(k) is character k.
  auto at = [&g](std::size_t k) { return g[k - 1]; };
  std::size_t p = 0;
  for (std::size_t k = L; k >= 1; --k)
    if (at(k) == '<') {
      p = k;
      break;
    }
  if (p >= L) return {};
  std::size_t j = p + 1;
  while (j <= L && IsDigit(at(j))) ++j;
  if (j > L || at(j) != '.') return {};
  ++j;
  while (j <= L && IsDigit(at(j))) ++j;
  if (j > L || at(j) != '@') return {};
  ++j;
  while (j <= L && at(j) != ' ') ++j;
  if (at(j - 1) == '>' && j - 1 == L) return g.substr(p == 0 ? 0 : p - 1);
  return {};
}

std::int32_t ParseStatCount(const std::string& r) {
  const std::size_t L = r.size();
  auto at = [&r](std::size_t k) { return r[k - 1]; };
  std::size_t i = 5;
  for (; i <= 255; ++i)
    if (i <= L && IsDigit(at(i)) && at(i - 1) == ' ') break;
  // Without a digit that follows a space in the first 255 characters there is
  // no count, however long the reply.
  if (i > 255) return -1;
  const std::string rest = r.substr(i - 1, 255);
  const std::size_t space = rest.find(' ');
  if (space == std::string::npos) return -1;
  const std::string count = rest.substr(0, space);
  // The count starts with a digit, so no sign gets through.
  return ParseInt32(count).value_or(-1);
}

std::string CutReply(const std::string& line) {
  std::string text = line.substr(0, std::strlen(line.c_str()));
  const std::size_t cr = text.find('\r');
  if (cr == std::string::npos) return {};
  text.resize(cr);
  return text;
}

bool StartsWithOk(const std::string& reply) { return StartsWithFolded(reply, "+OK"); }
bool StartsWithErr(const std::string& reply) { return StartsWithFolded(reply, "-ERR"); }


std::string ReplyReader::ReadLine() {
  std::string line;
  std::size_t consumed = 0;
  for (;;) {
    const std::size_t lf = pending_.find('\n');
    const std::size_t take = lf == std::string::npos ? pending_.size() : lf + 1;
    if (line.size() < kMaxReplyOctets)
      line.append(pending_, 0, std::min(take, kMaxReplyOctets - line.size()));
    pending_.erase(0, take);
    consumed += take;
    if (lf != std::string::npos || consumed >= kMaxLineOctets) return line;
    TSockets::Received received = channel_->Receive();
    if (received.status != TSockets::Received::kData) return line;
    pending_ = std::move(received.bytes);
  }
}

bool MailCheck::CompruebaTiempo() {
  const bool timed_out = state_.TiempoAgotado;
  state_.TiempoAgotado = false;
  return timed_out;
}

bool MailCheck::FailureTest() {
  const bool timed_out = CompruebaTiempo();
  return timed_out || state_.ErrorSocket != 0;
}

void ReportSocketError(CheckState& state, CheckHost& host, int error, const std::string& msg) {
  state.ErrorSocket = error;
  if (error == kWsaEtimedout) {
    state.TiempoAgotado = true;
    state.ErrorSocket = 0;
    if (host.ToolTip() != kErrorEnConexion) {
      host.SetToolTip(kErrorEnConexion);
      host.ErrorBox(kServidorNoResponde);
    }
  } else if (host.ToolTip() != kErrorEnConexion) {
    host.SetToolTip(kErrorEnConexion);
    host.ErrorBox(msg);
  }
  host.SetTrayIcon(TrayPicture::Bandera2);
}

void MailCheck::Sockets1ErrorOccurred(TSockets&, SocketHandle, int error, const std::string& msg) {
  ReportSocketError(state_, host_, error, msg);
}

std::string MailCheck::ReadReply() { return CutReply(reader_.ReadLine()); }

void MailCheck::Send(const std::string& command) { channel_->Send(command + "\r\n"); }

void MailCheck::UsePlainChannel() {
  tls_.reset();
  channel_ = &plain_;
  reader_.SetChannel(plain_);
  reader_.Reset();
}

void MailCheck::CloseConnection() {
  if (sockets_.Socket() != kNoSocket) sockets_.Disconnect();
  UsePlainChannel();
}

// The handshake on the open connection; from here on the dialogue runs inside
// TLS. Nothing of the user's goes out before the server is verified.
bool MailCheck::StartTls() {
  if (!buzonix::StartTls(sockets_, tls_factory_, settings_.Host, tls_)) return false;
  channel_ = tls_.get();
  reader_.SetChannel(*tls_);
  reader_.Reset();
  return true;
}

// STLS after the plain greeting. Any answer but +OK, or a greeting that was
// not +OK, ends the check: never a silent fall back to plain text.
bool MailCheck::NegotiateStls(const std::string& greeting) {
  if (!StartsWithOk(greeting)) {
    if (!FailureTest()) ReportTlsFailure(sockets_, TlsFailure::kNone, settings_.Host);
    return false;
  }
  Send("STLS");
  const std::string reply = ReadReply();
  if (FailureTest()) return false;
  if (!StartsWithOk(reply)) {
    sockets_.ReportError(sockets_.Socket(), "STLS", kTlsNoStarttls, kNoStarttlsText);
    return false;
  }
  // Plain bytes after the +OK could only be an attacker's injection.
  if (reader_.HasPending()) {
    ReportTlsFailure(sockets_, TlsFailure::kHandshake, settings_.Host);
    return false;
  }
  return StartTls();
}

void MailCheck::RefuseLogin() {
  host_.DisableTimer();
  host_.PlainMessage(kClaveIncorrecta);
  host_.SetToolTip(kClaveIncorrecta);
  host_.SetTrayIcon(TrayPicture::Bandera2);
}

void MailCheck::Notify() {
  if (state_.NumMensajes == state_.NumAvisados || state_.NumMensajes <= 0) return;
  if (settings_.Animacion == "Si")
    host_.ShowNotice(state_.NumMensajes);
  else
    state_.NumAvisados = state_.NumMensajes;
  if (settings_.Sonido == "Beep") host_.Beep();
}

void MailCheck::ShowOutcome(bool by_apop) {
  if (state_.NumMensajes <= 0) {
    state_.NumAvisados = state_.NumMensajes;
    host_.SetTrayIcon(TrayPicture::bandera0);
    host_.SetToolTip(kNoHayMensajes);
  } else {
    host_.SetToolTip(MessagesCaption(state_.NumMensajes));
    host_.SetTrayIcon(by_apop ? TrayPicture::Bandera5 : TrayPicture::bandera1);
  }
}

// AUTH XOAUTH2 (RFC 5034, with the initial response). A refused token is
// renewed once and tried again; the server's error challenge is answered
// with an empty line, which ends the exchange.
bool MailCheck::AuthenticateByToken(std::string token) {
  const std::string user = Cp1252ToUtf8(settings_.Usuario);
  for (int attempt = 0;; ++attempt) {
    Send("AUTH XOAUTH2 " + Xoauth2Response(user, token));
    std::string reply = ReadReply();
    if (FailureTest()) return false;
    if (!reply.empty() && reply[0] == '+' && !StartsWithOk(reply)) {
      Send("");
      reply = ReadReply();
      if (FailureTest()) return false;
    }
    if (StartsWithOk(reply)) return true;
    if (attempt > 0 || !StartsWithErr(reply)) {
      ReportProviderRefusal(host_);
      return false;
    }
    const auto renewed = TokenForLogin(tokens_, settings_, host_, true);
    if (!renewed) return false;
    token = *renewed;
  }
}

void MailCheck::CheckMail() {
  if (state_.Chequeando || settings_.Host.empty()) return;
  state_.Chequeando = true;
  state_.ErrorSocket = 0;
  state_.TiempoAgotado = false;  // a time-out of an earlier check is not this one's
  // Every way out of the check closes its connection and clears the busy flag.
  struct EndOfCheck {
    MailCheck& check;
    ~EndOfCheck() {
      check.CloseConnection();
      check.state_.Chequeando = false;
    }
  } end_of_check{*this};

  if (BreaksCommandLine(settings_.Usuario) || BreaksCommandLine(settings_.Clave)) {
    RefuseLogin();
    return;
  }
  // The token comes before the connection: a sign-in that ended costs the
  // mail server nothing.
  const bool by_token = SignsInWithProvider(settings_);
  std::optional<std::string> token;
  if (by_token && !(token = TokenForLogin(tokens_, settings_, host_, false))) return;

  UsePlainChannel();
  const SecurityMode security = SecurityModeOf(settings_.Seguridad);
  sockets_.IPAddr = settings_.Host;
  sockets_.Port = std::to_string(PortOf(settings_));
  sockets_.SetNonBlocking(false);
  // The port is the settings' number, always decimal.
  if (auto failure = sockets_.SConnect()) {
    host_.ErrorBox(failure->message);
    return;
  }
  if (FailureTest() || sockets_.Socket() == kNoSocket) {
    if (sockets_.Socket() == kNoSocket && host_.ToolTip() != kErrorEnConexion)
      host_.ErrorBox(kServidorNoResponde);
    host_.SetToolTip(kErrorEnConexion);
    host_.SetTrayIcon(TrayPicture::Bandera2);
    return;
  }

  if (security == SecurityMode::kSslTls && !StartTls()) return;
  const std::string greeting = ReadReply();
  if (security == SecurityMode::kStarttls && !NegotiateStls(greeting)) return;
  if (by_token) {
    if (!StartsWithOk(greeting)) {
      host_.PlainMessage(kServidorNoResponde);
      return;
    }
    if (!AuthenticateByToken(*token)) return;
  }
  // Without a digest function a stamped greeting is answered with USER/PASS.
  const std::string stamp = digest_ && !by_token ? ExtraeSello(greeting) : std::string();
  const bool by_apop = !stamp.empty();
  if (by_token) {
  } else if (by_apop) {
    Send("APOP " + settings_.Usuario + " " + digest_(stamp + settings_.Clave));
  } else {
    if (!StartsWithOk(greeting)) {
      host_.PlainMessage(kServidorNoResponde);
      return;
    }
    Send("USER " + settings_.Usuario);
    ReadReply();
    if (FailureTest()) return;
    Send("PASS " + settings_.Clave);
  }

  if (!by_token && StartsWithErr(ReadReply())) {
    RefuseLogin();
    return;
  }
  if (FailureTest()) return;

  Send("STAT");
  const std::string stat = ReadReply();
  // A connection that failed here has no count to show: the error stays shown.
  if (FailureTest()) return;
  state_.NumMensajes = ParseStatCount(stat);
  if (state_.NumMensajes == -1)
    host_.PlainMessage(
        "Protocol erroneo: Contacte con el autor. y enviele por mail el siguiente mensaje:\r" +
        stat);
  Notify();
  ShowOutcome(by_apop);

  Send("QUIT");
  ReadReply();
  if (tls_ && !FailureTest()) tls_->Close();
}

}  // namespace buzonix
