// The messages of the authorisation code flow with PKCE (RFC 6749, 7636,
// 8252): the URL the browser opens, the redirect it comes back with, the
// token endpoint's requests and answers, and the account an id_token names.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "signin/Provider.h"

namespace buzonix {

// `count` bytes from the system's cryptographic random source.
using RandomBytes = std::function<std::string(std::size_t count)>;

// RFC 7636: a 43-character verifier of 32 random bytes and its S256 challenge.
struct Pkce {
  std::string verifier;
  std::string challenge;
};
Pkce MakePkce(const RandomBytes& random);
std::string PkceChallenge(const std::string& verifier);
// An unguessable `state` for one sign-in.
std::string MakeState(const RandomBytes& random);

// application/x-www-form-urlencoded, and its reading (nullopt for a broken
// escape).
std::string FormEscape(std::string_view text);
std::optional<std::string> FormUnescape(std::string_view text);

// "http://127.0.0.1:<port>/"
std::string LoopbackRedirectUri(std::uint16_t port);
// The URL the browser opens; `login_hint` (an account) may be empty.
std::string AuthorizationUrl(const ProviderEndpoints& endpoints, const std::string& redirect_uri,
                             const std::string& state, const std::string& challenge,
                             const std::string& login_hint);
// The token endpoint's form bodies.
std::string CodeExchangeBody(const ProviderEndpoints& endpoints, const std::string& code,
                             const std::string& redirect_uri, const std::string& verifier);
std::string RefreshBody(const ProviderEndpoints& endpoints, const std::string& refresh_token);

// One HTTP request that reached the loopback listener, judged.
struct RedirectRequest {
  enum class Kind {
    kIncomplete,  // the head has not ended yet: wait for more bytes
    kOther,       // not the redirect (/favicon.ico, another path, a bad head)
    kWrongState,  // the redirect, with another sign-in's state or none
    kCode,        // the redirect with our state and a code
    kDenied,      // the redirect with our state and an error
  };
  Kind kind = Kind::kIncomplete;
  std::string code;
  std::string error;  // the provider's error code, e.g. access_denied
};
inline constexpr std::size_t kMaxRedirectHeadOctets = 8 * 1024;
// `head` is what a connection sent so far; beyond kMaxRedirectHeadOctets
// without an end it is kOther.
RedirectRequest ReadRedirect(std::string_view head, const std::string& expected_state);
// The whole HTTP response the browser gets for a request of that kind: a
// short Spanish page (the user may close it), or 404 for other paths.
std::string RedirectResponse(RedirectRequest::Kind kind);

// What a token endpoint's answer means.
struct TokenAnswer {
  enum class Kind {
    kTokens,        // 200 with an access token
    kInvalidGrant,  // the code or refresh token is dead: sign in again
    kRefused,       // another OAuth error (invalid_client, invalid_request...)
    kGarbage,       // anything else
  };
  Kind kind = Kind::kGarbage;
  std::string access_token;
  std::string refresh_token;  // empty: the old one stays valid
  std::int64_t expires_in = 0;  // seconds; 0 when not given
  std::string id_token;
  std::string error;  // the OAuth error code, for kRefused
};
TokenAnswer ReadTokenAnswer(int http_status, std::string_view body);

// The account an id_token names: its "email" claim, else
// "preferred_username"; empty when it has neither or cannot be read. The
// signature is not checked: the token came straight from the token endpoint
// over a verified connection (OpenID Connect Core 3.1.3.7).
std::string AccountOfIdToken(const std::string& id_token);

}  // namespace buzonix
