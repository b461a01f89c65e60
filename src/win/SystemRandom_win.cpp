#include "win/SystemRandom_win.h"

#include <windows.h>
#include <ntsecapi.h>

#include "win/WinWindow.h"

namespace buzonix {

std::string SystemRandomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  if (count > 0 && !RtlGenRandom(bytes.data(), static_cast<ULONG>(count)))
    EndOnSystemFailure("RtlGenRandom failed");
  return bytes;
}

}  // namespace buzonix
