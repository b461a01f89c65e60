#include "config/scramble.h"

#include <cstddef>
#include <string_view>

namespace buzonix {
namespace {

constexpr std::string_view kKey = kScrambleKey;
constexpr std::string_view kDigits = "0123456789ABCDEF";

unsigned char KeyByteAt(std::size_t position) {
  return static_cast<unsigned char>(kKey[position % kKey.size()]);
}

// Position of `c` in the digit table, or -1 when it is not there.
int DigitValue(char c) {
  const std::size_t at = kDigits.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

}  // namespace

std::string CodificaClave(const std::string& clave) {
  std::string codigo;
  codigo.reserve(clave.size() * 2);
  for (std::size_t i = 0; i < clave.size(); ++i) {
    const unsigned byte = static_cast<unsigned char>(clave[i]) ^ KeyByteAt(i);
    codigo += kDigits[byte >> 4];
    codigo += kDigits[byte & 0x0F];
  }
  return codigo;
}

std::string DecodificaClave(const std::string& codigo) {
  const std::size_t pairs = codigo.size() / 2;
  std::string clave;
  clave.reserve(pairs);
  for (std::size_t i = 0; i < pairs; ++i) {
    const int high = DigitValue(codigo[2 * i]);
    const int low = DigitValue(codigo[2 * i + 1]);
    // Wraps to 0..255 the way an 8-bit sum would (-1 * 16 + -1 gives 0xEF).
    const unsigned byte = static_cast<unsigned>(16 * high + low) & 0xFFu;
    clave += static_cast<char>(byte ^ KeyByteAt(i));
  }
  return clave;
}

}  // namespace buzonix
