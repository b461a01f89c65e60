// Windows-1252, the code page the core keeps every text in, to and from
// Unicode. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) stand for the C1 controls of the same number, as Windows' own
// converter reads and writes them, so every byte string survives a round trip.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace buzonix {

// The code point of one byte.
char32_t Cp1252ToCodePoint(unsigned char byte);
// The byte of a code point, or nothing where the code page has none.
std::optional<unsigned char> Cp1252FromCodePoint(char32_t codePoint);

std::u16string Cp1252ToUtf16(std::string_view bytes);
std::string Cp1252ToUtf8(std::string_view bytes);

// Whether every character has a byte (a lone surrogate or malformed UTF-8
// has none).
bool FitsCp1252(std::u16string_view text);
bool FitsCp1252Utf8(std::string_view utf8);

// The bytes of the text, `replacement` for each character without one.
std::string Cp1252FromUtf16(std::u16string_view text, char replacement = '?');
std::string Cp1252FromUtf8(std::string_view utf8, char replacement = '?');

}  // namespace buzonix
