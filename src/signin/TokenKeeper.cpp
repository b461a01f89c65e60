#include "signin/TokenKeeper.h"

#include "signin/OAuth.h"

namespace buzonix {
namespace {

// When a token living `lifetime` seconds from `now` is renewed.
std::int64_t RenewTime(std::int64_t now, std::int64_t lifetime) {
  if (lifetime <= 0) lifetime = kDefaultLifetimeSeconds;
  const std::int64_t ahead = lifetime > 2 * kRenewAheadSeconds ? kRenewAheadSeconds : lifetime / 2;
  return now + lifetime - ahead;
}

AccessToken Failure(AccessToken::Result result, TlsFailure failure = TlsFailure::kNone) {
  AccessToken token;
  token.result = result;
  token.failure = failure;
  return token;
}

}  // namespace

TokenKeeper::TokenKeeper(Settings& settings, const ProviderRegistrations& registrations,
                         HttpsTransport& transport, MonotonicSeconds now, RefreshTokenRotated rotated)
    : settings_(settings),
      registrations_(registrations),
      transport_(transport),
      now_(std::move(now)),
      rotated_(std::move(rotated)) {}

AccessToken TokenKeeper::Fresh(bool renew) {
  using Result = AccessToken::Result;
  const auto endpoints = EndpointsFor(settings_, registrations_);
  if (!endpoints) return Failure(Result::kNotConfigured);
  if (!renew && !access_token_.empty() && now_() < renew_at_) {
    AccessToken token;
    token.result = Result::kReady;
    token.token = access_token_;
    return token;
  }
  Forget();
  if (settings_.OAuthRefresco.empty()) return Failure(Result::kSignInEnded);
  if (!EndpointAllowed(endpoints->token_url)) return Failure(Result::kUnreachable);

  const HttpsAnswer answer =
      transport_.PostForm(endpoints->token_url, RefreshBody(*endpoints, settings_.OAuthRefresco));
  if (answer.outcome == HttpsAnswer::Outcome::kBadCertificate) {
    AccessToken token = Failure(Result::kBadCertificate, answer.failure);
    if (const auto parts = SplitUrl(endpoints->token_url)) token.server = parts->host;
    return token;
  }
  if (answer.outcome != HttpsAnswer::Outcome::kAnswered) return Failure(Result::kUnreachable);

  const TokenAnswer tokens = ReadTokenAnswer(answer.status, answer.body);
  switch (tokens.kind) {
    case TokenAnswer::Kind::kTokens:
      break;
    case TokenAnswer::Kind::kInvalidGrant:
      return Failure(Result::kSignInEnded);
    default:
      return Failure(Result::kUnreachable);
  }
  if (!tokens.refresh_token.empty() && tokens.refresh_token != settings_.OAuthRefresco) {
    settings_.OAuthRefresco = tokens.refresh_token;
    if (rotated_) rotated_(tokens.refresh_token);
  }
  Take(tokens.access_token, tokens.expires_in);
  AccessToken token;
  token.result = Result::kReady;
  token.token = access_token_;
  return token;
}

void TokenKeeper::Take(const std::string& access_token, std::int64_t expires_in) {
  access_token_ = access_token;
  renew_at_ = RenewTime(now_(), expires_in);
}

void TokenKeeper::Forget() {
  access_token_.clear();
  renew_at_ = 0;
}

}  // namespace buzonix
