// The kernel's random bytes and its monotonic clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace buzonix {

// getrandom(2), which blocks only until the pool is first seeded; the
// program ends when the kernel cannot give them.
std::string KernelRandomBytes(std::size_t count);
// CLOCK_MONOTONIC in whole seconds.
std::int64_t MonotonicClockSeconds();

}  // namespace buzonix
