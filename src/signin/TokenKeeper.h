// Access tokens for the checks: a fresh one from the refresh token before a
// login, kept until shortly before it expires; a rotated refresh token is
// stored at once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "signin/Ports.h"
#include "signin/Provider.h"
#include "state/unit.h"

namespace buzonix {

// What a check gets when it asks for a token.
struct AccessToken {
  enum class Result {
    kReady,          // `token` holds a live access token
    kSignInEnded,    // invalid_grant, or no refresh token: sign in again
    kUnreachable,    // the token endpoint could not be reached or answered nonsense
    kBadCertificate, // the token endpoint's certificate failed: `failure`
    kNotConfigured,  // passwords are in use, or a provider this build lacks
  };
  Result result = Result::kNotConfigured;
  std::string token;
  TlsFailure failure = TlsFailure::kNone;
  std::string server;  // the token endpoint's host, for kBadCertificate
};

// The check's view of the keeper; the tests give their own.
class AccessTokens {
 public:
  // A live access token; `renew` asks for a new one even when the cached one
  // has not expired (the mail server refused it).
  virtual AccessToken Fresh(bool renew) = 0;

 protected:
  ~AccessTokens() = default;
};

// Seconds on a clock that never goes back.
using MonotonicSeconds = std::function<std::int64_t()>;
// A new refresh token to be stored at once (the provider rotated it).
using RefreshTokenRotated = std::function<void(const std::string& refresh_token)>;

// A cached token is renewed this long before the provider says it expires.
inline constexpr std::int64_t kRenewAheadSeconds = 120;
// Lifetime assumed when the answer gives none.
inline constexpr std::int64_t kDefaultLifetimeSeconds = 3600;

class TokenKeeper final : public AccessTokens {
 public:
  // `settings` stays the one the checks read (its OAuthRefresco above all).
  TokenKeeper(Settings& settings, const ProviderRegistrations& registrations,
              HttpsTransport& transport, MonotonicSeconds now, RefreshTokenRotated rotated);

  AccessToken Fresh(bool renew) override;
  // A sign-in's tokens (the dialog's), or new settings: forget or take the cache.
  void Take(const std::string& access_token, std::int64_t expires_in);
  void Forget();

 private:
  Settings& settings_;
  const ProviderRegistrations& registrations_;
  HttpsTransport& transport_;
  MonotonicSeconds now_;
  RefreshTokenRotated rotated_;
  std::string access_token_;
  std::int64_t renew_at_ = 0;
};

}  // namespace buzonix
