// One POP3 conversation with the configured server, from connect to QUIT, and
// what it concludes for the tray, the beep and the notice window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "network/Channel.h"
#include "network/Sockets.h"
#include "network/TlsChannel.h"
#include "signin/TokenKeeper.h"
#include "state/Connection.h"
#include "state/unit.h"
#include "text/Texts.h"

namespace buzonix {

// What the check asks of the main form.
class CheckHost {
 public:
  virtual void SetTrayIcon(TrayPicture picture) = 0;
  virtual void SetToolTip(const std::string& text) = 0;
  virtual std::string ToolTip() const = 0;
  virtual void ErrorBox(const std::string& text) = 0;     // stop icon, program caption
  virtual void PlainMessage(const std::string& text) = 0;  // no icon
  virtual void Beep() = 0;
  // Opens the notice window if none exists, sets its caption from `count`, shows it.
  virtual void ShowNotice(std::int32_t count) = 0;
  // A count that fell (mail read or deleted elsewhere): an open notice window
  // follows it, with no beep and no new window.
  virtual void FollowNotice(std::int32_t count) = 0;
  virtual void DisableTimer() = 0;

 protected:
  ~CheckHost() = default;
};

// A failure the socket component reported: the error look, and its box once
// per run of failures.
void ReportSocketError(CheckState& state, CheckHost& host, int error, const std::string& msg);

// APOP digest of stamp + password; empty when no digest function is bound.
using DigestFunction = std::function<std::string(const std::string&)>;

inline constexpr std::size_t kMaxReplyOctets = 512;

// The APOP time stamp ending the greeting, "<" through ">", or empty text.
std::string ExtraeSello(const std::string& greeting);
// Message count of a STAT reply (as cut); -1 when it cannot be read.
std::int32_t ParseStatCount(const std::string& reply);
// A reply cut at its first carriage return (and before any zero byte).
std::string CutReply(const std::string& line);
bool StartsWithOk(const std::string& reply);
bool StartsWithErr(const std::string& reply);

// Assembles reply lines from receives of any size: a line ends at its line
// feed; bytes after it wait for the next reply.
class ReplyReader {
 public:
  explicit ReplyReader(ByteChannel& channel) : channel_(&channel) {}
  void SetChannel(ByteChannel& channel) { channel_ = &channel; }
  // One line up to and including its line feed, at most kMaxReplyOctets kept
  // (the rest of a longer line is read and dropped). Ends early with what has
  // arrived when the peer closes, a receive fails, or there is no socket.
  std::string ReadLine();
  void Reset() { pending_.clear(); }
  // Bytes that arrived after the last line read.
  bool HasPending() const { return !pending_.empty(); }

 private:
  ByteChannel* channel_;
  std::string pending_;
};

class MailCheck {
 public:
  MailCheck(TSockets& sockets, CheckState& state, const Settings& settings, CheckHost& host)
      : sockets_(sockets),
        state_(state),
        settings_(settings),
        host_(host),
        plain_(sockets),
        channel_(&plain_),
        reader_(plain_) {}

  void SetDigest(DigestFunction digest) { digest_ = std::move(digest); }
  bool HasDigest() const { return static_cast<bool>(digest_); }
  // Where secure connections get their TLS engines; without one they fail as
  // unavailable.
  void SetTlsEngineFactory(TlsEngineFactory factory) { tls_factory_ = std::move(factory); }
  // Where a provider's sign-in gets its access tokens.
  void SetAccessTokens(AccessTokens* tokens) { tokens_ = tokens; }

  void CheckMail();
  // QUIT on the connection of a check under way (inside TLS when secured).
  void SendQuit() { Send("QUIT"); }
  bool CompruebaTiempo();
  void Sockets1ErrorOccurred(TSockets& sender, SocketHandle socket, int error,
                             const std::string& msg);

 private:
  bool FailureTest();
  std::string ReadReply();
  void Send(const std::string& command);
  void RefuseLogin();
  void Notify();
  void ShowOutcome(bool by_apop);
  void CloseConnection();
  bool StartTls();
  bool NegotiateStls(const std::string& greeting);
  void UsePlainChannel();
  bool AuthenticateByToken(std::string token);

  TSockets& sockets_;
  CheckState& state_;
  const Settings& settings_;
  CheckHost& host_;
  PlainChannel plain_;
  std::unique_ptr<TlsChannel> tls_;
  ByteChannel* channel_;
  ReplyReader reader_;
  DigestFunction digest_;
  TlsEngineFactory tls_factory_;
  AccessTokens* tokens_ = nullptr;
};

}  // namespace buzonix
