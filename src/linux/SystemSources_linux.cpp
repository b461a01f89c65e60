#include "linux/SystemSources_linux.h"

#include <sys/random.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace buzonix {

std::string KernelRandomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  std::size_t filled = 0;
  while (filled < count) {
    const ssize_t got = getrandom(bytes.data() + filled, count - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      // No sign-in may go on with guessable values.
      std::perror("getrandom");
      std::abort();
    }
    filled += static_cast<std::size_t>(got);
  }
  return bytes;
}

std::int64_t MonotonicClockSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec);
}

}  // namespace buzonix
