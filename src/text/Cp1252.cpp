#include "text/Cp1252.h"

#include <algorithm>
#include <iterator>

namespace buzonix {
namespace {

// 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char32_t kNoCharacter = 0xFFFFFFFF;

// Reads one code point of UTF-16 at `at` and moves past it; kNoCharacter
// for a lone surrogate.
char32_t NextUtf16(std::u16string_view text, std::size_t& at) {
  const char16_t unit = text[at++];
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  if (unit > 0xDBFF || at == text.size() || text[at] < 0xDC00 || text[at] > 0xDFFF) return kNoCharacter;
  const char16_t low = text[at++];
  return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
}

// The same for UTF-8; kNoCharacter for a malformed, overlong or surrogate
// sequence, of which one byte is taken.
char32_t NextUtf8(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80) return lead;
  int length = 0;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 1;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 2;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 3;
    value = lead & 0x07;
  } else {
    return kNoCharacter;
  }
  if (text.size() - at < static_cast<std::size_t>(length)) return kNoCharacter;
  for (int i = 0; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return kNoCharacter;
    value = (value << 6) | (next & 0x3F);
  }
  const char32_t lowest[] = {0, 0x80, 0x800, 0x10000};
  if (value < lowest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return kNoCharacter;
  at += length;
  return value;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char ByteOr(char32_t cp, char replacement) {
  const auto byte = cp == kNoCharacter ? std::nullopt : Cp1252FromCodePoint(cp);
  return byte ? static_cast<char>(*byte) : replacement;
}

}  // namespace

char32_t Cp1252ToCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return byte;
}

std::optional<unsigned char> Cp1252FromCodePoint(char32_t codePoint) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<unsigned char>(codePoint);
  const auto* found = std::find(std::begin(kHighControls), std::end(kHighControls), codePoint);
  if (codePoint > 0xFFFF || found == std::end(kHighControls)) return std::nullopt;
  return static_cast<unsigned char>(0x80 + (found - std::begin(kHighControls)));
}

std::u16string Cp1252ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (const char byte : bytes) out += static_cast<char16_t>(Cp1252ToCodePoint(static_cast<unsigned char>(byte)));
  return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char byte : bytes) AppendUtf8(out, Cp1252ToCodePoint(static_cast<unsigned char>(byte)));
  return out;
}

bool FitsCp1252(std::u16string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const char32_t cp = NextUtf16(text, at);
    if (cp == kNoCharacter || !Cp1252FromCodePoint(cp)) return false;
  }
  return true;
}

bool FitsCp1252Utf8(std::string_view utf8) {
  for (std::size_t at = 0; at < utf8.size();) {
    const char32_t cp = NextUtf8(utf8, at);
    if (cp == kNoCharacter || !Cp1252FromCodePoint(cp)) return false;
  }
  return true;
}

std::string Cp1252FromUtf16(std::u16string_view text, char replacement) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) out += ByteOr(NextUtf16(text, at), replacement);
  return out;
}

std::string Cp1252FromUtf8(std::string_view utf8, char replacement) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) out += ByteOr(NextUtf8(utf8, at), replacement);
  return out;
}

}  // namespace buzonix
