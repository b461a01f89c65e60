// SHA-256 (FIPS 180-4), for the PKCE challenge.
#pragma once

#include <string>
#include <string_view>

namespace buzonix {

// The 32-byte digest of `bytes`.
std::string Sha256(std::string_view bytes);

}  // namespace buzonix
