// SHA-256, PKCE and the base64 and hex spellings under them.
#include <gtest/gtest.h>

#include <string>

#include "signin/OAuth.h"
#include "signin/Sha256.h"
#include "text/Base64.h"

namespace buzonix {
namespace {

TEST(Sha256, FipsVectorsAndPaddingBoundaries) {
  const struct {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
       "mnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      // The length still fits the last block at 55 octets, no longer at 56; 64 fills one.
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) EXPECT_EQ(HexOf(Sha256(c.input)), c.digest) << c.input.size();
}

TEST(Pkce, Rfc7636AppendixBAndAFailingRandomSource) {
  EXPECT_EQ(PkceChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
            "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
  const std::string octets = *BytesOfHex("7418dfb49799e0254ffa607dd8adbbba16d4254d69d6bff05b58055853848d79");
  const Pkce pkce = MakePkce([&](std::size_t count) { return octets.substr(0, count); });
  EXPECT_EQ(pkce.verifier, "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk");
  EXPECT_EQ(pkce.challenge, "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
  EXPECT_EQ(MakeState([&](std::size_t count) { return octets.substr(0, count); }).size(), 22u);

  const RandomBytes short_source = [](std::size_t count) { return std::string(count - 1, 'x'); };
  const Pkce none = MakePkce(short_source);
  EXPECT_TRUE(none.verifier.empty());
  EXPECT_TRUE(none.challenge.empty());
  EXPECT_TRUE(MakeState(short_source).empty());
  EXPECT_TRUE(MakeState([](std::size_t) { return std::string(); }).empty());
}

TEST(Base64, Rfc4648VectorsRoundTripAtEveryLength) {
  const char* const expected[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
  const std::string foobar = "foobar";
  for (std::size_t n = 0; n <= foobar.size(); ++n) {
    EXPECT_EQ(Base64(foobar.substr(0, n)), expected[n]);
    EXPECT_EQ(DecodeBase64(expected[n]), foobar.substr(0, n));
  }
  // Every octet value, at lengths of each remainder mod 3, in both spellings.
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  for (std::size_t n : {255u, 256u, 254u}) {
    const std::string bytes = all.substr(0, n);
    const std::string url = Base64Url(bytes);
    EXPECT_EQ(url.find_first_of("+/="), std::string::npos);
    EXPECT_EQ(DecodeBase64(url), bytes) << n;
    EXPECT_EQ(DecodeBase64(Base64(bytes)), bytes) << n;
    EXPECT_EQ(Base64(bytes).size() % 4, 0u);
  }
}

TEST(Base64, UrlSafeAndImapAlphabets) {
  const std::string high("\xFB\xFF\xBF", 3);
  EXPECT_EQ(Base64(high), "+/+/");
  EXPECT_EQ(Base64Url(high), "-_-_");
  EXPECT_EQ(Base64Of("\xFB\xFF", false, ','), "+,8");
  EXPECT_EQ(DecodeBase64("-_-_"), high);
  EXPECT_EQ(DecodeBase64("+_8"), std::string("\xFB\xFF"));
}

TEST(Base64, DecodingRefusesWhatIsNoBase64) {
  for (const char* bad : {"Zm9vY", "Zm9v!", "Zm 9v", "Zm9v\n", "Zm=9v", "=Zm9", "Zm9v====", "Zg===", "Zm8==",
                          "Zg=", "Z===", "="})
    EXPECT_FALSE(DecodeBase64(bad)) << bad;
}

TEST(Hex, RoundTripAndRefusals) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  EXPECT_EQ(BytesOfHex(HexOf(all)), all);
  EXPECT_EQ(HexOf("\x0A\xFF"), "0aff");
  EXPECT_EQ(BytesOfHex("0AfF"), std::string("\x0A\xFF"));
  for (const char* bad : {"abc", "0g", " 0", "0x", "-1"}) EXPECT_FALSE(BytesOfHex(bad)) << bad;
}

}  // namespace
}  // namespace buzonix
