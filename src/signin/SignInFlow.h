// One sign-in from the dialog: the browser opened at the provider, the
// loopback redirect awaited for at most five minutes, the code exchanged for
// tokens.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "signin/OAuth.h"
#include "signin/Ports.h"

namespace buzonix {

inline constexpr unsigned kSignInWaitMs = 5u * 60u * 1000u;

struct SignInResult {
  enum class Kind {
    kSignedIn,        // account, refresh and access token below
    kCancelled,       // Cancel(): nothing is said
    kTimedOut,        // no redirect came in five minutes
    kDenied,          // the provider refused (the user said no)
    kNoTokens,        // the token endpoint answered an error or garbage
    kUnreachable,     // the token endpoint could not be reached
    kBadCertificate,  // the token endpoint's certificate failed: no code sent
    kCannotStart,     // no listener or no browser
  };
  Kind kind = Kind::kCancelled;
  std::string account;  // from the id_token; may be empty
  std::string refresh_token;
  std::string access_token;
  std::int64_t expires_in = 0;
  TlsFailure failure = TlsFailure::kNone;
  std::string server;  // the token endpoint's host, for kBadCertificate
};
// What the dialog shows for a result that is no sign-in (empty for
// kSignedIn and kCancelled).
std::string SignInMessage(const SignInResult& result);

struct SignInPorts {
  HttpsTransport& transport;
  SystemBrowser& browser;
  LoopbackListener& listener;
  OneShotTimer& timer;  // its firing calls SignInFlow::TimerFired
  RandomBytes random;
};

class SignInFlow final : public ListenerEvents {
 public:
  using Done = std::function<void(const SignInResult&)>;
  explicit SignInFlow(SignInPorts ports) : ports_(std::move(ports)) {}
  ~SignInFlow() { Cancel(); }
  SignInFlow(const SignInFlow&) = delete;
  SignInFlow& operator=(const SignInFlow&) = delete;

  // Starts a sign-in (cancelling one under way, which reports nothing).
  // `done` is called exactly once, unless Cancel() comes first.
  void Start(const ProviderEndpoints& endpoints, const std::string& login_hint, Done done);
  // Stops the wait and the listener; `done` is not called.
  void Cancel();
  bool Waiting() const { return static_cast<bool>(done_); }
  void TimerFired();
  void ConnectionData(int connection, std::string_view bytes) override;

 private:
  void Finish(SignInResult result);
  void Exchange(const std::string& code);

  SignInPorts ports_;
  ProviderEndpoints endpoints_;
  std::string redirect_uri_;
  std::string state_;
  Pkce pkce_;
  Done done_;
  std::map<int, std::string> heads_;  // what each connection sent so far
  // Counts the sign-ins started: one that was cancelled or replaced while
  // its code exchange waited reports nothing.
  unsigned generation_ = 0;
};

}  // namespace buzonix
