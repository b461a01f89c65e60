// MD5 message digest (RFC 1321), as APOP needs it.
#pragma once

#include <cstddef>
#include <string>

namespace buzonix {

// The digest of `data` as 32 lower-case hexadecimal digits.
std::string Md5Hex(const std::string& data);
// The same into `out` (32 digits and a zero), without allocating: the digest
// library uses it with no C++ runtime of its own.
void Md5HexInto(const char* data, std::size_t size, char out[33]);

}  // namespace buzonix
