#include "text/Cp1252.h"

#include <gtest/gtest.h>

#include <string>

namespace buzonix {
namespace {

TEST(Cp1252, EveryByteTakesItsCodePointAndComesBack) {
  EXPECT_EQ(Cp1252ToCodePoint(0x80), U'\u20AC');
  EXPECT_EQ(Cp1252ToCodePoint(0x8A), U'\u0160');
  EXPECT_EQ(Cp1252ToCodePoint(0x9F), U'\u0178');
  EXPECT_EQ(Cp1252ToCodePoint(0xF3), U'\u00F3');
  // The undefined bytes stand for the controls of their number.
  for (unsigned char undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(Cp1252ToCodePoint(undefined), undefined);
  for (int byte = 0; byte < 256; ++byte) {
    const auto back = Cp1252FromCodePoint(Cp1252ToCodePoint(static_cast<unsigned char>(byte)));
    ASSERT_TRUE(back) << byte;
    EXPECT_EQ(*back, byte);
  }
}

TEST(Cp1252, CharactersWithoutAByteAreTold) {
  // C1 controls that the code page uses for printable characters, and beyond.
  for (char32_t none : {U'\u0080', U'\u0099', U'\u0142', U'\u20AD', U'\U0001F600'})
    EXPECT_FALSE(Cp1252FromCodePoint(none)) << static_cast<unsigned>(none);
  EXPECT_TRUE(FitsCp1252(u"pa\u20ACs \u00E1\u00F1 \u0081"));
  EXPECT_FALSE(FitsCp1252(u"\u0142"));
  EXPECT_FALSE(FitsCp1252(u"a\U0001F600"));
  EXPECT_FALSE(FitsCp1252(std::u16string(1, u'\xD800')));  // a lone surrogate
  EXPECT_TRUE(FitsCp1252Utf8("pa\xE2\x82\xAC" "s"));
  EXPECT_FALSE(FitsCp1252Utf8("\xC5\x82"));
  for (const char* malformed : {"\xC3", "\xC0\xAE", "\xED\xA0\x80", "\xFF", "\xE2\x82"})
    EXPECT_FALSE(FitsCp1252Utf8(malformed)) << malformed;
}

TEST(Cp1252, TextsConvertBothWays) {
  const std::string bytes = "pa\x80s \xE1\xF1\x9C \x8D";
  EXPECT_EQ(Cp1252ToUtf16(bytes), u"pa\u20ACs \u00E1\u00F1\u0153 \u008D");
  EXPECT_EQ(Cp1252ToUtf8(bytes), "pa\xE2\x82\xAC" "s \xC3\xA1\xC3\xB1\xC5\x93 \xC2\x8D");
  EXPECT_EQ(Cp1252FromUtf16(Cp1252ToUtf16(bytes)), bytes);
  EXPECT_EQ(Cp1252FromUtf8(Cp1252ToUtf8(bytes)), bytes);
  EXPECT_EQ(Cp1252FromUtf16(u"a\u0142\U0001F600b"), "a??b");
  EXPECT_EQ(Cp1252FromUtf8("a\xC5\x82\xF0\x9F\x98\x80" "b\xC3", '_'), "a__b_");
}

}  // namespace
}  // namespace buzonix
