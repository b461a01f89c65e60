#include "config/scramble.h"

#include <gtest/gtest.h>

#include <string>

namespace buzonix {
namespace {

TEST(Scramble, EmptyTextsStayEmpty) {
  EXPECT_EQ(CodificaClave(""), "");
  EXPECT_EQ(DecodificaClave(""), "");
}

TEST(Scramble, TwelveCharactersGiveTwentyFourUpperCaseDigits) {
  // Worked out by hand from the key, byte by byte.
  EXPECT_EQ(CodificaClave("password1234"), "340E3F063A0A334263457901");
  EXPECT_EQ(DecodificaClave("340E3F063A0A334263457901"), "password1234");
}

TEST(Scramble, CharacterEqualToItsKeyCharacterGivesZeroes) {
  EXPECT_EQ(CodificaClave("DoL"), "000000");
  EXPECT_EQ(CodificaClave("xoz"), "3C" "00" "36");
}

TEST(Scramble, UnpairedLastCharacterIsDropped) {
  EXPECT_EQ(DecodificaClave("0"), "");
  EXPECT_EQ(DecodificaClave("00A"), "D");
}

TEST(Scramble, CharactersOutsideTheDigitTableCountAsMinusOne) {
  // Lower-case letters are not digits here: "6e" is 6 * 16 - 1.
  EXPECT_EQ(DecodificaClave("6e"), std::string(1, static_cast<char>(0x5F ^ 'D')));
  EXPECT_EQ(DecodificaClave("6E"), std::string(1, static_cast<char>(0x6E ^ 'D')));
  EXPECT_EQ(DecodificaClave("zz"), std::string(1, static_cast<char>(0xEF ^ 'D')));
}

TEST(Scramble, DefaultTextErrorDecodesToTwoBytes) {
  // "Er" gives 0xDF and "ro" gives 0xEF before the key; the "r" left over is dropped.
  const std::string expected{static_cast<char>(0xDF ^ 'D'), static_cast<char>(0xEF ^ 'o')};
  EXPECT_EQ(DecodificaClave("Error"), expected);
}

TEST(Scramble, HighBytesRoundTrip) {
  EXPECT_EQ(CodificaClave("\xFF"), "BB");
  EXPECT_EQ(CodificaClave("\xF3"), "B7");
  std::string high;
  for (int code = 128; code < 256; ++code) high += static_cast<char>(code);
  EXPECT_EQ(DecodificaClave(CodificaClave(high)), high);
}

TEST(Scramble, PositionsBeyondTheKeyWrapAround) {
  const std::string key = kScrambleKey;
  ASSERT_EQ(key.size(), 28u);
  // Character 29 uses key character 1 again, in both directions.
  EXPECT_EQ(CodificaClave(key + key.substr(0, 2)), std::string(60, '0'));
  EXPECT_EQ(DecodificaClave(std::string(60, '0')), key + key.substr(0, 2));
  EXPECT_EQ(CodificaClave(std::string(29, 'x')).substr(56), CodificaClave("x"));
}

TEST(Scramble, EveryByteAtEveryPositionRoundTrips) {
  std::string all;
  for (int round = 0; round < 3; ++round) {
    for (int code = 0; code < 256; ++code) all += static_cast<char>(code + round);
  }
  const std::string codigo = CodificaClave(all);
  EXPECT_EQ(codigo.size(), all.size() * 2);
  EXPECT_EQ(codigo.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(DecodificaClave(codigo), all);
}

}  // namespace
}  // namespace buzonix
