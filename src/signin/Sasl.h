// The SASL responses that carry an OAuth 2.0 bearer token to a mail server.
#pragma once

#include <cstdint>
#include <string>

namespace buzonix {

// XOAUTH2: base64 of "user=" U "\x01auth=Bearer " T "\x01\x01".
std::string Xoauth2Response(const std::string& user_utf8, const std::string& token);
// OAUTHBEARER (RFC 7628): base64 of the GS2 header with the authorisation
// identity, host, port and "auth=Bearer T".
std::string OauthBearerResponse(const std::string& user_utf8, const std::string& host,
                                std::uint16_t port, const std::string& token);
// What a client sends after the server's error challenge (RFC 7628 §3.2.3).
inline constexpr char kOauthBearerAbort[] = "AQ==";  // base64 of "\x01"

}  // namespace buzonix
