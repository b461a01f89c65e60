// Password scrambling: any stored code decodes, and every password round-trips.
#include <cstdint>
#include <string>

#include "config/scramble.h"

using namespace buzonix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)DecodificaClave(text);
  const std::string code = CodificaClave(text);
  if (code.size() != 2 * text.size()) __builtin_trap();
  if (code.find_first_not_of("0123456789ABCDEF") != std::string::npos) __builtin_trap();
  if (DecodificaClave(code) != text) __builtin_trap();
  return 0;
}
