#include "mailcheck/ImapCheck.h"

#include <algorithm>

#include "mailcheck/TokenLogin.h"
#include "signin/Sasl.h"
#include "text/Base64.h"
#include "text/Cp1252.h"

namespace buzonix {
namespace {

// Codes of the component's table whose texts say what happened.
constexpr int kServerDisconnected = 10064;

// Commands are lines: a user name or password that would break one (or end
// it early) must never reach the server.
bool BreaksCommandLine(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace

ImapCheck::ImapCheck(TSockets& sockets, CheckState& state, const Settings& settings,
                     CheckHost& host)
    : sockets_(sockets),
      state_(state),
      settings_(settings),
      host_(host),
      plain_(sockets),
      channel_(&plain_),
      reader_(plain_) {}

ImapCheck::~ImapCheck() {
  if (wake_timer_ != nullptr) wake_timer_->Stop();
}

void ImapCheck::Sockets1ErrorOccurred(TSockets& sender, SocketHandle socket, int error,
                                      const std::string& msg) {
  broken_ = true;
  if (quiet_) return;
  ReportSocketError(state_, host_, error, msg);
  (void)sender;
  (void)socket;
}

std::string ImapCheck::NextTag() { return "b" + std::to_string(++tag_number_); }

std::string ImapCheck::Command(const std::string& text) {
  std::string tag = NextTag();
  return Send(tag + " " + text) ? tag : std::string();
}

bool ImapCheck::Failed() { return broken_; }

bool ImapCheck::Send(const std::string& line) {
  if (broken_) return false;
  return channel_->Send(line + "\r\n") && !broken_;
}

void ImapCheck::ReportLost() {
  if (broken_) return;
  broken_ = true;
  if (!quiet_) ReportSocketError(state_, host_, kServerDisconnected, ErrorText(kServerDisconnected));
}

void ImapCheck::ReportOnce(const std::string& text, bool plain) {
  broken_ = true;
  if (host_.ToolTip() != kErrorEnConexion) {
    host_.SetToolTip(kErrorEnConexion);
    if (plain)
      host_.PlainMessage(text);
    else
      host_.ErrorBox(text);
  }
  host_.SetTrayIcon(TrayPicture::Bandera2);
}

bool ImapCheck::ReadResponse(std::string& text) {
  if (broken_) return false;
  ImapResponse response = reader_.Read();
  switch (response.status) {
    case ImapResponse::kComplete:
      text = std::move(response.text);
      return !broken_;
    case ImapResponse::kTooLong:
      ReportOnce(kRespuestaDemasiadoLarga, false);
      return false;
    case ImapResponse::kClosed:
      ReportLost();
      return false;
    case ImapResponse::kFailed:
      broken_ = true;  // the component reported it
      return false;
  }
  return false;
}

void ImapCheck::Untagged(const std::string& text) {
  if (IsBye(text)) bye_ = true;
  if (IsMailboxChange(text)) mailbox_changed_ = true;
  if (auto uids = ParseSearch(text)) {
    search_ = *uids;
    search_seen_ = true;
  }
  ParseCapabilities(text, capabilities_);
  if (auto validity = ResponseCodeNumber(text, "UIDVALIDITY")) examine_validity_ = *validity;
}

ImapStatus ImapCheck::Await(const std::string& tag, std::string* tagged_text) {
  std::string text;
  while (ReadResponse(text)) {
    const ImapStatus status = TaggedStatus(text, tag);
    if (status != ImapStatus::kNone) {
      if (tagged_text != nullptr) *tagged_text = text;
      ParseCapabilities(text, capabilities_);
      return status;
    }
    if (!IsContinuation(text)) Untagged(text);
  }
  return ImapStatus::kNone;
}

bool ImapCheck::AwaitContinuation(const std::string& tag) {
  std::string text;
  while (ReadResponse(text)) {
    if (IsContinuation(text)) return true;
    if (TaggedStatus(text, tag) != ImapStatus::kNone) {
      pending_tagged_ = text;
      return false;
    }
    Untagged(text);
  }
  return false;
}

void ImapCheck::StartWatching() {
  if (sockets_.Socket() != kNoSocket) sockets_.WatchSocket(true);
  if (wake_timer_ != nullptr) wake_timer_->Start(kReIdleMs);
}

void ImapCheck::StopWatching() {
  if (wake_timer_ != nullptr) wake_timer_->Stop();
  if (sockets_.Socket() != kNoSocket) sockets_.WatchSocket(false);
}

void ImapCheck::CloseConnection() {
  if (phase_ == Phase::kIdling) StopWatching();
  if (sockets_.Socket() != kNoSocket) sockets_.Disconnect();
  tls_.reset();
  channel_ = &plain_;
  reader_.SetChannel(plain_);
  reader_.Reset();
  if (saved_receive_length_ > 0) sockets_.MaximumReceiveLength = saved_receive_length_;
  saved_receive_length_ = 0;
  phase_ = Phase::kClosed;
}

void ImapCheck::RefuseLogin() {
  broken_ = true;
  host_.DisableTimer();
  host_.PlainMessage(kClaveIncorrecta);
  host_.SetToolTip(kClaveIncorrecta);
  host_.SetTrayIcon(TrayPicture::Bandera2);
}

void ImapCheck::CheckMail() {
  if (state_.Chequeando || settings_.Host.empty()) return;
  if (phase_ == Phase::kIdling) {
    WakeUp(true);
    return;
  }
  RunSession();
}

void ImapCheck::RunSession() {
  state_.Chequeando = true;
  state_.ErrorSocket = 0;
  state_.TiempoAgotado = false;
  broken_ = false;
  ended_ = false;
  quiet_ = false;
  phase_ = Phase::kBusy;
  if (OpenSession() == Outcome::kDone && !ended_) {
    if (EnterIdle()) {
      state_.Chequeando = false;
      HandleNewsHeldBack();
      return;
    }
    if (!Failed()) {
      const std::string tag = Command("LOGOUT");
      if (!tag.empty()) Await(tag);
      if (tls_ && !Failed()) tls_->Close();
    }
  }
  CloseConnection();
  state_.Chequeando = false;
}

bool ImapCheck::StartTls() {
  if (!buzonix::StartTls(sockets_, tls_factory_, settings_.Host, tls_)) return false;
  channel_ = tls_.get();
  reader_.SetChannel(*tls_);
  reader_.Reset();
  return !Failed();
}

bool ImapCheck::Connect() {
  sockets_.IPAddr = settings_.Host;
  sockets_.Port = std::to_string(PortOf(settings_));
  sockets_.SetNonBlocking(false);
  // The port is the settings' number, always decimal.
  if (auto failure = sockets_.SConnect()) {
    host_.ErrorBox(failure->message);
    return false;
  }
  if (Failed() || sockets_.Socket() == kNoSocket) {
    if (sockets_.Socket() == kNoSocket && host_.ToolTip() != kErrorEnConexion)
      host_.ErrorBox(kServidorNoResponde);
    host_.SetToolTip(kErrorEnConexion);
    host_.SetTrayIcon(TrayPicture::Bandera2);
    return false;
  }
  // Big folders answer a search with one long line: read it in big receives.
  saved_receive_length_ = sockets_.MaximumReceiveLength;
  sockets_.MaximumReceiveLength = std::max(saved_receive_length_, 16384);
  return true;
}

bool ImapCheck::ReadCapabilities(const std::string& tagged_or_greeting) {
  if (ParseCapabilities(tagged_or_greeting, capabilities_)) return true;
  capabilities_.clear();
  const std::string tag = Command("CAPABILITY");
  return !tag.empty() && Await(tag) == ImapStatus::kOk;
}

// STARTTLS where the server lists it; anything else ends the check, never a
// silent fall back to plain text.
bool ImapCheck::NegotiateStarttls() {
  if (!HasCapability(capabilities_, "STARTTLS")) {
    sockets_.ReportError(sockets_.Socket(), "STARTTLS", kTlsNoStarttls, kNoStarttlsText);
    return false;
  }
  const std::string tag = Command("STARTTLS");
  if (tag.empty()) return false;
  const ImapStatus status = Await(tag);
  if (Failed()) return false;
  if (status != ImapStatus::kOk) {
    sockets_.ReportError(sockets_.Socket(), "STARTTLS", kTlsNoStarttls, kNoStarttlsText);
    return false;
  }
  // Plain bytes after the OK could only be an attacker's injection.
  if (reader_.HasPending()) {
    ReportTlsFailure(sockets_, TlsFailure::kHandshake, settings_.Host);
    return false;
  }
  if (!StartTls()) return false;
  // What was said before TLS is not to be trusted: ask again.
  return ReadCapabilities(std::string());
}

// Sends `before`, the string `bytes`, then `after` as one command: a literal
// waits for the server's go-ahead unless LITERAL+ lets it follow at once.
bool ImapCheck::SendString(const std::string& before, const std::string& bytes,
                           const std::string& after, const std::string& tag) {
  const bool literal_plus = HasCapability(capabilities_, "LITERAL+");
  const ImapString string = MakeImapString(bytes, literal_plus);
  if (!string.is_literal) return channel_->Send(before + string.head + after) && !Failed();
  if (!channel_->Send(before + string.head + "\r\n") || Failed()) return false;
  // Refused before the literal: the answer stays in pending_tagged_.
  if (!literal_plus && !AwaitContinuation(tag)) return false;
  return channel_->Send(string.literal + after) && !Failed();
}

bool ImapCheck::TakeToken(bool renew) {
  const auto token = TokenForLogin(tokens_, settings_, host_, renew);
  if (!token) {
    broken_ = true;
    return false;
  }
  token_ = *token;
  return true;
}

// Sends one AUTHENTICATE: the server's error challenge (a continuation after
// the response) is answered with `abort`, which ends the exchange.
ImapStatus ImapCheck::AuthenticateOnce(const char* mechanism, const std::string& response,
                                       const std::string& abort, std::string& tagged) {
  const std::string tag = NextTag();
  pending_tagged_.clear();
  const std::string command = tag + " AUTHENTICATE " + mechanism;
  if (HasCapability(capabilities_, "SASL-IR")) {
    if (!Send(command + " " + response)) return ImapStatus::kNone;
  } else {
    if (!Send(command)) return ImapStatus::kNone;
    if (AwaitContinuation(tag)) {
      if (!Send(response)) return ImapStatus::kNone;
    } else if (pending_tagged_.empty()) {
      return ImapStatus::kNone;
    } else {
      tagged = pending_tagged_;
      return TaggedStatus(tagged, tag);
    }
  }
  if (AwaitContinuation(tag)) {
    if (!Send(abort)) return ImapStatus::kNone;
    return Await(tag, &tagged);
  }
  if (pending_tagged_.empty()) return ImapStatus::kNone;
  tagged = pending_tagged_;
  return TaggedStatus(tagged, tag);
}

// XOAUTH2 where the server lists it, else OAUTHBEARER. A refused token is
// renewed once and tried again.
ImapCheck::Outcome ImapCheck::LoginWithToken() {
  const bool xoauth2 = HasCapability(capabilities_, "AUTH=XOAUTH2");
  if (!xoauth2 && !HasCapability(capabilities_, "AUTH=OAUTHBEARER")) {
    ReportOnce(kServidorSinOAuth, true);
    return Outcome::kFailed;
  }
  const std::string user = Cp1252ToUtf8(settings_.Usuario);
  for (int attempt = 0;; ++attempt) {
    const std::string response = xoauth2 ? Xoauth2Response(user, token_)
                                         : OauthBearerResponse(user, settings_.Host, PortOf(settings_), token_);
    std::string tagged;
    const ImapStatus status =
        AuthenticateOnce(xoauth2 ? "XOAUTH2" : "OAUTHBEARER", response, xoauth2 ? "" : kOauthBearerAbort, tagged);
    if (status == ImapStatus::kOk) {
      ++logins_;
      return ReadCapabilities(tagged) ? Outcome::kDone : Outcome::kFailed;
    }
    if (status == ImapStatus::kNone) return Outcome::kFailed;
    if (attempt > 0) {
      broken_ = true;
      ReportProviderRefusal(host_);
      return Outcome::kFailed;
    }
    if (!TakeToken(true)) return Outcome::kFailed;
  }
}

ImapCheck::Outcome ImapCheck::Login() {
  const std::string user = Cp1252ToUtf8(settings_.Usuario);
  const std::string password = Cp1252ToUtf8(settings_.Clave);
  const std::string tag = NextTag();
  std::string tagged;
  ImapStatus status = ImapStatus::kNone;
  pending_tagged_.clear();
  if (HasCapability(capabilities_, "AUTH=PLAIN")) {
    std::string response = Base64(std::string(1, '\0') + user + std::string(1, '\0') + password);
    if (response.empty()) response = "=";
    if (HasCapability(capabilities_, "SASL-IR")) {
      if (!Send(tag + " AUTHENTICATE PLAIN " + response)) return Outcome::kFailed;
    } else {
      if (!Send(tag + " AUTHENTICATE PLAIN")) return Outcome::kFailed;
      if (AwaitContinuation(tag) && !Send(response)) return Outcome::kFailed;
      if (pending_tagged_.empty() && Failed()) return Outcome::kFailed;
    }
  } else {
    const bool sent = SendString(tag + " LOGIN ", user, " ", tag) &&
                      SendString("", password, "\r\n", tag);
    if (!sent && pending_tagged_.empty()) return Outcome::kFailed;
  }
  if (!pending_tagged_.empty()) {
    tagged = pending_tagged_;
    status = TaggedStatus(tagged, tag);
  } else {
    status = Await(tag, &tagged);
  }
  if (status == ImapStatus::kNo || status == ImapStatus::kBad) {
    RefuseLogin();
    return Outcome::kFailed;
  }
  if (status != ImapStatus::kOk) return Outcome::kFailed;
  ++logins_;
  return ReadCapabilities(tagged) ? Outcome::kDone : Outcome::kFailed;
}

ImapCheck::Outcome ImapCheck::Examine() {
  examine_validity_ = 0;
  const std::string folder = settings_.Carpeta.empty() ? kCarpetaPorDefecto : settings_.Carpeta;
  const std::string tag = Command("EXAMINE " + MakeImapString(FolderToModifiedUtf7(folder), false).head);
  if (tag.empty()) return Outcome::kFailed;
  const ImapStatus status = Await(tag);
  if (status == ImapStatus::kNo) {
    ReportOnce(kNoSeEncuentraCarpeta + folder, true);
    return Outcome::kFailed;
  }
  if (status != ImapStatus::kOk) {
    if (!Failed()) ReportOnce(kRespuestaIlegible, false);
    return Outcome::kFailed;
  }
  return Outcome::kDone;
}

ImapCheck::Outcome ImapCheck::OpenSession() {
  if (BreaksCommandLine(settings_.Usuario) || BreaksCommandLine(settings_.Clave)) {
    RefuseLogin();
    return Outcome::kFailed;
  }
  capabilities_.clear();
  bye_ = false;
  mailbox_changed_ = false;
  // The token comes before the connection: a sign-in that ended costs the
  // mail server nothing.
  const bool by_token = SignsInWithProvider(settings_);
  token_.clear();
  if (by_token && !TakeToken(false)) return Outcome::kFailed;
  if (!Connect()) return Outcome::kFailed;
  const SecurityMode security = SecurityModeOf(settings_.Seguridad);
  if (security == SecurityMode::kSslTls && !StartTls()) return Outcome::kFailed;
  std::string greeting;
  if (!ReadResponse(greeting)) return Outcome::kFailed;
  if (TaggedStatus(greeting, "*") != ImapStatus::kOk) {
    ReportOnce(kServidorNoResponde, false);
    return Outcome::kFailed;
  }
  if (!ReadCapabilities(greeting)) return Outcome::kFailed;
  if (security == SecurityMode::kStarttls && !NegotiateStarttls()) return Outcome::kFailed;
  // Judged on what holds after STARTTLS: no credential where the server
  // forbids them on this connection.
  if (by_token) {
    const Outcome login = LoginWithToken();
    token_.clear();
    if (login != Outcome::kDone) return Outcome::kFailed;
  } else if (HasCapability(capabilities_, "LOGINDISABLED")) {
    ReportOnce(kExigeConexionSegura, true);
    return Outcome::kFailed;
  } else if (Login() != Outcome::kDone) {
    return Outcome::kFailed;
  }
  if (Examine() != Outcome::kDone) return Outcome::kFailed;
  return Count() ? Outcome::kDone : Outcome::kFailed;
}

bool ImapCheck::Count() {
  search_ = {};
  search_seen_ = false;
  mailbox_changed_ = false;  // news from here on may have come after the search
  const std::string tag = Command("UID SEARCH UNSEEN");
  if (tag.empty()) return false;
  const ImapStatus status = Await(tag);
  if (Failed()) return false;
  if (status != ImapStatus::kOk || !search_seen_) {
    ReportOnce(kRespuestaIlegible, false);
    return false;
  }
  ++recounts_;
  if (!counted_once_ || examine_validity_ != uid_validity_) {
    uid_validity_ = examine_validity_;
    highest_uid_ = 0;
    counted_once_ = true;
  }
  const bool any_new = search_.highest > highest_uid_;
  highest_uid_ = std::max(highest_uid_, search_.highest);
  ShowCount(static_cast<std::int32_t>(std::min<std::uint32_t>(search_.count, 0x7FFFFFFF)), any_new);
  return true;
}

void ImapCheck::ShowCount(std::int32_t count, bool any_new) {
  const std::int32_t before = state_.NumMensajes;
  state_.NumMensajes = count;
  if (count <= 0) {
    state_.NumAvisados = 0;
    host_.SetTrayIcon(TrayPicture::bandera0);
    host_.SetToolTip(kNoHayMensajes);
  } else {
    host_.SetToolTip(UnreadCaption(count));
    host_.SetTrayIcon(TrayPicture::bandera1);
  }
  if (any_new && count > 0) {
    if (settings_.Animacion == "Si")
      host_.ShowNotice(count);
    else
      state_.NumAvisados = count;
    if (settings_.Sonido == "Beep") host_.Beep();
  } else if (count != before) {
    host_.FollowNotice(count);
  }
}

bool ImapCheck::EnterIdle() {
  if (!HasCapability(capabilities_, "IDLE") || Failed()) return false;
  idle_tag_ = Command("IDLE");
  if (idle_tag_.empty() || !AwaitContinuation(idle_tag_)) return false;
  phase_ = Phase::kIdling;
  StartWatching();
  return true;
}

bool ImapCheck::LeaveIdle() {
  if (!Send("DONE")) return false;
  return Await(idle_tag_) == ImapStatus::kOk;
}

// Out of IDLE, a recount where asked or where the server told of a change,
// and back into IDLE. A connection that fails on the way is reopened.
void ImapCheck::WakeUp(bool recount) {
  StopWatching();
  phase_ = Phase::kBusy;
  state_.Chequeando = true;
  quiet_ = true;
  bool alive = LeaveIdle() && !bye_;
  quiet_ = false;
  if (alive && (recount || mailbox_changed_)) alive = Count();
  if (alive && !ended_) alive = EnterIdle();
  if (alive || ended_) {
    if (ended_) CloseConnection();
    state_.Chequeando = false;
    if (alive) HandleNewsHeldBack();
    return;
  }
  ReconnectQuietly();
}

// News that came before IDLE was granted, or with its go-ahead, would wait
// for the next one: handled now, a few rounds at most, and then from the
// main loop, so that a server that never stops talking cannot hold the
// program here.
void ImapCheck::HandleNewsHeldBack() {
  if (news_depth_ > 0) return;  // the rounds below go on
  ++news_depth_;
  for (int round = 0; round < 3 && HasNewsHeldBack(); ++round) {
    if (reader_.HasPending())
      DataAvailable();
    else
      WakeUp(true);
  }
  --news_depth_;
  if (HasNewsHeldBack() && wake_timer_ != nullptr) wake_timer_->Start(1);
}

bool ImapCheck::HasNewsHeldBack() const {
  return phase_ == Phase::kIdling && (mailbox_changed_ || reader_.HasPending());
}

void ImapCheck::ReconnectQuietly() {
  quiet_ = true;
  CloseConnection();
  quiet_ = false;
  state_.Chequeando = false;
  if (ended_) return;
  // The new session lost at once: that is the reconnect failing.
  if (reconnecting_) {
    broken_ = false;
    ReportLost();
    return;
  }
  reconnecting_ = true;
  RunSession();
  reconnecting_ = false;
}

void ImapCheck::DataAvailable() {
  if (phase_ != Phase::kIdling || state_.Chequeando) return;
  StopWatching();
  phase_ = Phase::kBusy;
  state_.Chequeando = true;
  quiet_ = true;
  std::string text;
  bool alive = true;
  do {
    alive = ReadResponse(text);
    if (alive && !IsContinuation(text)) Untagged(text);
  } while (alive && reader_.HasPending());
  quiet_ = false;
  if (!alive || bye_) {
    ReconnectQuietly();
    return;
  }
  if (mailbox_changed_) {
    phase_ = Phase::kIdling;
    state_.Chequeando = false;
    WakeUp(true);
    return;
  }
  phase_ = Phase::kIdling;
  state_.Chequeando = false;
  StartWatching();
  HandleNewsHeldBack();
}

void ImapCheck::SessionClosed() {
  if (phase_ != Phase::kIdling || state_.Chequeando) return;
  ReconnectQuietly();
}

void ImapCheck::WakeTimerFired() {
  if (phase_ != Phase::kIdling || state_.Chequeando) return;
  if (reader_.HasPending())
    DataAvailable();
  else
    WakeUp(false);
}

void ImapCheck::EndSession() {
  if (phase_ == Phase::kClosed) return;
  quiet_ = true;
  broken_ = true;
  if (phase_ == Phase::kBusy) {
    // Inside a command (the end came from a nested message loop): the wait
    // under way is cut, and the command's own stack closes the rest.
    ended_ = true;
    if (sockets_.Socket() != kNoSocket) sockets_.Disconnect();
    return;
  }
  StopWatching();
  phase_ = Phase::kBusy;
  state_.Chequeando = true;
  // The server's answer is waited for a second at most: the program's end
  // must not hang on a server that went silent.
  const int timeout = sockets_.Timeout;
  sockets_.Timeout = 1;
  const std::string tag = NextTag();
  broken_ = false;
  if (channel_->Send("DONE\r\n" + tag + " LOGOUT\r\n") && !broken_ && Await(tag) != ImapStatus::kNone &&
      tls_)
    tls_->Close();
  sockets_.Timeout = timeout;
  broken_ = true;
  CloseConnection();
  state_.Chequeando = false;
  quiet_ = false;
}

}  // namespace buzonix
