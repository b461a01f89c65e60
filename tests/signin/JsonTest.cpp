// The token endpoint's JSON: what is read, and what is refused.
#include <gtest/gtest.h>

#include <string>

#include "signin/Json.h"

namespace buzonix {
namespace {

TEST(Json, MembersAreReadWithEscapesResolved) {
  const auto members = ReadJsonObject(
      " {\"s\":\"a\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\u20AC\\ud83d\\ude00\", \"n\":-12.5e+3,"
      "\"t\":true,\"f\":false,\"z\":null,\"o\":{\"k\":[1,{\"x\":\"}\"},[]]},\"a\":[\"]\",{}],"
      "\"d\":\"first\",\"d\":\"last\",\"\":0}\r\n");
  ASSERT_TRUE(members);
  using Kind = JsonMember::Kind;
  EXPECT_EQ(members->at("s").kind, Kind::kString);
  EXPECT_EQ(members->at("s").text, "a\"\\/\b\f\n\r\t\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(members->at("n").kind, Kind::kNumber);
  EXPECT_EQ(members->at("n").text, "-12.5e+3");
  EXPECT_EQ(members->at("t").kind, Kind::kTrue);
  EXPECT_EQ(members->at("f").kind, Kind::kFalse);
  EXPECT_EQ(members->at("z").kind, Kind::kNull);
  EXPECT_EQ(members->at("o").kind, Kind::kObject);
  EXPECT_EQ(members->at("a").kind, Kind::kArray);
  EXPECT_EQ(members->at("d").text, "last");
  EXPECT_EQ(members->size(), 9u);  // nested members do not surface
  EXPECT_TRUE(ReadJsonObject("{}"));
}

TEST(Json, MalformedTextIsRefused) {
  for (const char* bad : {
           "", "[]", "\"x\"", "1", "null",               // not an object
           "{}x", "{} {}", "{\"a\":1}}",                 // trailing garbage
           "{\"a\":1", "{\"a\":\"x}", "{\"a\"", "{\"a\":", "{",  // cut short
           "{\"a\":1,}", "{,}", "{\"a\" 1}", "{a:1}", "{'a':1}",
           "{\"a\":[1,]}", "{\"a\":[1 2]}", "{\"a\":{\"b\"}}", "{\"a\":{1:2}}",
           "{\"a\":01}", "{\"a\":1.}", "{\"a\":-}", "{\"a\":1e}", "{\"a\":+1}", "{\"a\":.5}",
           "{\"a\":tru}", "{\"a\":nul}", "{\"a\":True}",
           "{\"a\":\"\\x\"}", "{\"a\":\"\\u12\"}", "{\"a\":\"\\u12G4\"}", "{\"a\":\"\\",
           "{\"a\":\"\\ud83d\"}", "{\"a\":\"\\ud83dx\"}", "{\"a\":\"\\ud83d\\u0041\"}",  // lone high
           "{\"a\":\"\\ude00\"}", "{\"a\":\"\\ude00\\ud83d\"}",                         // lone low
       })
    EXPECT_FALSE(ReadJsonObject(bad)) << bad;
  // Raw control characters, in a value and in a name.
  for (char control : {'\0', '\n', '\t', '\x1F'}) {
    EXPECT_FALSE(ReadJsonObject(std::string("{\"a\":\"x") + control + "\"}")) << int{control};
    EXPECT_FALSE(ReadJsonObject(std::string("{\"a") + control + "\":1}")) << int{control};
  }
}

TEST(Json, DepthAndSizeAreBounded) {
  const auto nested = [](int levels) {
    return "{\"a\":" + std::string(levels, '[') + "1" + std::string(levels, ']') + "}";
  };
  EXPECT_TRUE(ReadJsonObject(nested(kMaxJsonDepth - 1)));
  EXPECT_FALSE(ReadJsonObject(nested(kMaxJsonDepth + 1)));
  // Deep enough to overflow the stack of a reader without the bound.
  EXPECT_FALSE(ReadJsonObject(nested(static_cast<int>(kMaxJsonOctets / 2 - 8))));

  const std::string prefix = "{\"a\":\"", suffix = "\"}";
  const std::string fits = prefix + std::string(kMaxJsonOctets - prefix.size() - suffix.size(), 'x') + suffix;
  EXPECT_TRUE(ReadJsonObject(fits));
  EXPECT_FALSE(ReadJsonObject(fits + " "));
}

}  // namespace
}  // namespace buzonix
