// Base64 (RFC 4648) in its three spellings the program meets: standard with
// padding (SASL), URL-safe without padding (PKCE, JWT) and IMAP's modified one
// (folder names, ',' for '/').
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace buzonix {

std::string Base64Of(std::string_view bytes, bool pad, char slash);
inline std::string Base64(std::string_view bytes) { return Base64Of(bytes, true, '/'); }
// The URL-safe alphabet ('-', '_'), no padding.
std::string Base64Url(std::string_view bytes);
// Standard or URL-safe text, padded or not; nullopt for anything else.
std::optional<std::string> DecodeBase64(std::string_view text);

// Lower-case hexadecimal, and back (nullopt for odd lengths or other digits).
std::string HexOf(std::string_view bytes);
std::optional<std::string> BytesOfHex(std::string_view hex);

}  // namespace buzonix
