// One IMAP session with the configured server: connect, log in, EXAMINE the
// folder, count its unseen messages, and, where the server offers IDLE, stay
// on the line waiting for its news. The session is read-only: it never
// selects, stores, fetches a body, copies, moves or expunges.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mailcheck/CheckMail.h"
#include "mailcheck/ImapReply.h"
#include "signin/TokenKeeper.h"

namespace buzonix {

// The one-shot timer of an idle session (re-IDLE before the server's
// 30-minute auto-logout); the tests drive their own.
class WakeTimer {
 public:
  virtual void Start(unsigned milliseconds) = 0;
  virtual void Stop() = 0;

 protected:
  ~WakeTimer() = default;
};

// RFC 2177: re-issue IDLE at least every 29 minutes.
inline constexpr unsigned kReIdleMs = 29u * 60u * 1000u;

class ImapCheck {
 public:
  ImapCheck(TSockets& sockets, CheckState& state, const Settings& settings, CheckHost& host);
  ~ImapCheck();
  ImapCheck(const ImapCheck&) = delete;
  ImapCheck& operator=(const ImapCheck&) = delete;

  void SetTlsEngineFactory(TlsEngineFactory factory) { tls_factory_ = std::move(factory); }
  void SetWakeTimer(WakeTimer* timer) { wake_timer_ = timer; }
  // Where a provider's sign-in gets its access tokens.
  void SetAccessTokens(AccessTokens* tokens) { tokens_ = tokens; }

  // A tick, "Chequear Correo Ahora" or the start: an idle session leaves
  // IDLE and counts again; otherwise a whole session runs (and stays in IDLE
  // where it can).
  void CheckMail();
  // DONE and LOGOUT, without waiting for answers: for the program's end, and
  // before new settings take over. Forgets nothing of what was counted.
  void EndSession();
  // The connection is dropped without a word (after a wake from sleep).
  void DropSession();
  bool Idling() const { return phase_ == Phase::kIdling; }
  bool Open() const { return phase_ != Phase::kClosed; }

  // The socket's notifications while idling, and the wake timer.
  void DataAvailable();
  void SessionClosed();
  void WakeTimerFired();
  void Sockets1ErrorOccurred(TSockets& sender, SocketHandle socket, int error,
                             const std::string& msg);

  // What the last count saw: for the tests and the figures.
  std::uint32_t UidValidity() const { return uid_validity_; }
  int Logins() const { return logins_; }
  int Recounts() const { return recounts_; }

 private:
  enum class Phase { kClosed, kBusy, kIdling };
  enum class Outcome { kDone, kFailed };

  void RunSession();
  Outcome OpenSession();
  bool Connect();
  bool StartTls();
  bool ReadCapabilities(const std::string& greeting);
  bool NegotiateStarttls();
  Outcome Login();
  Outcome LoginWithToken();
  ImapStatus AuthenticateOnce(const char* mechanism, const std::string& response,
                              const std::string& abort, std::string& tagged);
  bool TakeToken(bool renew);
  bool SendString(const std::string& before, const std::string& bytes, const std::string& after,
                  const std::string& tag);
  Outcome Examine();
  bool Count();
  bool EnterIdle();
  bool LeaveIdle();
  void WakeUp(bool mailbox_changed);
  void ReconnectQuietly();
  void HandleNewsHeldBack();
  bool HasNewsHeldBack() const;

  std::string NextTag();
  // Sends `text` under a new tag: the tag, or empty text when it failed.
  std::string Command(const std::string& text);
  bool Send(const std::string& line);
  // Reads up to the tagged answer of `tag`; each untagged response passes
  // through Untagged. kNone when the connection failed (already reported).
  ImapStatus Await(const std::string& tag, std::string* tagged_text = nullptr);
  // Reads up to a continuation request ("+ ..."): false at the tagged answer
  // (kept in pending_tagged_) or a failure.
  bool AwaitContinuation(const std::string& tag);
  void Untagged(const std::string& text);
  // One response; false when the connection failed (reported unless quiet).
  bool ReadResponse(std::string& text);
  bool Failed();
  void ReportLost();
  void ReportOnce(const std::string& text, bool plain);
  void RefuseLogin();
  void ShowCount(std::int32_t count, bool any_new);
  void CloseConnection();
  void StopWatching();
  void StartWatching();

  TSockets& sockets_;
  CheckState& state_;
  const Settings& settings_;
  CheckHost& host_;
  PlainChannel plain_;
  std::unique_ptr<TlsChannel> tls_;
  ByteChannel* channel_;
  ImapReader reader_;
  TlsEngineFactory tls_factory_;
  WakeTimer* wake_timer_ = nullptr;
  AccessTokens* tokens_ = nullptr;
  std::string token_;  // the access token of the session being opened

  Phase phase_ = Phase::kClosed;
  std::string capabilities_;  // as ParseCapabilities gives them
  unsigned tag_number_ = 0;
  std::string idle_tag_;
  bool quiet_ = false;  // connection failures are not shown (a dying idle session)
  bool broken_ = false;  // the connection failed or was refused: nothing more is sent
  bool ended_ = false;   // the session was ended from inside one of its waits
  bool reconnecting_ = false;
  int news_depth_ = 0;
  std::string pending_tagged_;  // a tagged answer that came before a literal went out
  bool mailbox_changed_ = false;
  bool bye_ = false;
  SearchResult search_;
  bool search_seen_ = false;
  std::uint32_t examine_validity_ = 0;
  // New mail is an unseen UID above the highest one counted under this
  // UIDVALIDITY.
  std::uint32_t uid_validity_ = 0;
  std::uint32_t highest_uid_ = 0;
  bool counted_once_ = false;
  int saved_receive_length_ = 0;
  int logins_ = 0;
  int recounts_ = 0;
};

}  // namespace buzonix
