// The system's cryptographic random source (RtlGenRandom of advapi32).
#pragma once

#include <cstddef>
#include <string>

namespace buzonix {

// `count` random bytes; the program ends when the source fails, since a
// guessable verifier or state would be worse than no sign-in.
std::string SystemRandomBytes(std::size_t count);

}  // namespace buzonix
