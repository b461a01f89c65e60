// MD5 message digest (RFC 1321), as APOP needs it.
#pragma once

#include <string>

namespace buzonix {

// The digest of `data` as 32 lower-case hexadecimal digits.
std::string Md5Hex(const std::string& data);

}  // namespace buzonix
