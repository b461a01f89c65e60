#include <gtest/gtest.h>

#include "mailcheck/CheckMail.h"
#include "mailcheck/md5.h"

namespace buzonix {
namespace {

TEST(Md5Test, RfcSuiteAndApopExample) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Md5Hex("1234567890123456789012345678901234567890123456789012345678901234567890123456"
                   "7890"),
            "57edf4a22be3c955ac49da2e2107b67a");
  EXPECT_EQ(Md5Hex("<1896.697170952@dbc.mtview.ca.us>tanstaaf"),
            "c4c9334bac560ecc979e58001b3e22fb");
}

TEST(Md5Test, LengthsAroundTheBlockAndPaddingBoundaries) {
  const std::pair<std::size_t, const char*> cases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"}, {56, "3b0c8ac703f828b04c6c197006d17218"},
      {63, "b06521f39153d618550606be297466d5"}, {64, "014842d480b571495a4a0363793f7367"},
      {65, "c743a45e0d2e6a95cb859adae0248435"}, {119, "8a7bd0732ed6a28ce75f6dabc90e1613"},
      {120, "5f61c0ccad4cac44c75ff505e1f1e537"}};
  for (const auto& [length, digest] : cases) EXPECT_EQ(Md5Hex(std::string(length, 'a')), digest) << length;
}

TEST(ExtraeSelloTest, StampMustCloseTheGreeting) {
  EXPECT_EQ(ExtraeSello("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>"),
            "<1896.697170952@dbc.mtview.ca.us>");
  EXPECT_EQ(ExtraeSello("+OK ready <.@host>"), "<.@host>");  // empty digit runs
  EXPECT_EQ(ExtraeSello("+OK ready <1.2@host> more"), "");
  EXPECT_EQ(ExtraeSello("+OK ready <1.2@ho st>"), "");
  EXPECT_EQ(ExtraeSello("+OK ready"), "");
  EXPECT_EQ(ExtraeSello("+OK ready <"), "");
  EXPECT_EQ(ExtraeSello(""), "");
  // The hexadecimal, lettered stamp some servers send is not of this form.
  EXPECT_EQ(ExtraeSello("+OK Dovecot (Debian) ready. <6e89.1.6b1651f9.+L23W7b6Q==@vm>"), "");
  // Only the last "<" counts.
  EXPECT_EQ(ExtraeSello("+OK <x> <12.34@a.b>"), "<12.34@a.b>");
  // Without any "<" the scan starts at the first character.
  EXPECT_EQ(ExtraeSello("1.2@host>"), "1.2@host>");
}

TEST(StatCountTest, CountFollowsASpaceAndIsFollowedByOne) {
  EXPECT_EQ(ParseStatCount("+OK 3 1200"), 3);
  EXPECT_EQ(ParseStatCount("+OK  12 640"), 12);
  EXPECT_EQ(ParseStatCount("+OK 0 0"), 0);
  EXPECT_EQ(ParseStatCount("+OK 7 9000"), 7);
  EXPECT_EQ(ParseStatCount("+OK 7"), -1);
  EXPECT_EQ(ParseStatCount("+OK"), -1);
  EXPECT_EQ(ParseStatCount(""), -1);
  EXPECT_EQ(ParseStatCount("-ERR no"), -1);
  EXPECT_EQ(ParseStatCount("-ERR 5 x"), 5);
  EXPECT_EQ(ParseStatCount("+OK 2147483647 1"), 2147483647);
  EXPECT_EQ(ParseStatCount("+OK 2147483648 1"), -1);
  EXPECT_EQ(ParseStatCount("+OK 99999999999999999999 1"), -1);
  EXPECT_EQ(ParseStatCount("+OK 3x 1"), -1);
  // A digit after a space beyond the first 255 characters is not a count.
  EXPECT_EQ(ParseStatCount("+OK" + std::string(300, 'x') + " 5 10"), -1);
}

TEST(ReplyTest, CutAndPrefixes) {
  EXPECT_EQ(CutReply("+OK hola\r\n"), "+OK hola");
  EXPECT_EQ(CutReply("+OK hola\n"), "");  // no carriage return: empty
  EXPECT_EQ(CutReply("+OK a\rb\r\n"), "+OK a");
  EXPECT_EQ(CutReply(std::string("+OK\0x\r\n", 7)), "");  // text ends at the zero byte
  EXPECT_TRUE(StartsWithOk("+ok fine"));
  EXPECT_TRUE(StartsWithOk("+OK"));
  EXPECT_FALSE(StartsWithOk("OK"));
  EXPECT_FALSE(StartsWithOk("+O"));
  EXPECT_TRUE(StartsWithErr("-err bad"));
  EXPECT_FALSE(StartsWithErr("-ER"));
  EXPECT_EQ(MessagesCaption(1), "1 Mensajes");
  EXPECT_EQ(MessagesCaption(120), "120 Mensajes");
}

}  // namespace
}  // namespace buzonix
