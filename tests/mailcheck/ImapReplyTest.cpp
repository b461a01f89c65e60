// The IMAP reader over receives cut anywhere, and what the session writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fuzz/ChunkedPlatform.h"
#include "mailcheck/ImapReply.h"
#include "text/Base64.h"

namespace buzonix {
namespace {

std::vector<ImapResponse> ReadAll(const std::vector<std::string>& chunks) {
  fuzzing::ChunkedPlatform platform;
  for (const std::string& chunk : chunks) platform.chunks.push_back(chunk);
  TSockets sockets(platform);
  sockets.IPAddr = "127.0.0.1";
  sockets.Port = "143";
  EXPECT_FALSE(sockets.SConnect());
  PlainChannel channel(sockets);
  ImapReader reader(channel);
  std::vector<ImapResponse> out;
  for (;;) {
    ImapResponse response = reader.Read();
    out.push_back(response);
    if (response.status != ImapResponse::kComplete) return out;
  }
}

TEST(ImapReplyTest, ResponsesSpanReceivesAndLiteralsHoldLineFeeds) {
  const auto responses = ReadAll({"* 3 EXI", "STS\r\n* LIST () \"/\" {5}\r\nA\r\nB", "C\r\nb1 OK done\r\n"});
  ASSERT_EQ(responses.size(), 4u);
  EXPECT_EQ(responses[0].text, "* 3 EXISTS");
  EXPECT_EQ(responses[1].text, "* LIST () \"/\" {5}\r\nA\r\nBC");
  EXPECT_EQ(responses[2].text, "b1 OK done");
  EXPECT_EQ(responses[3].status, ImapResponse::kClosed);
  // A literal that claims more than the bound is refused before it is read.
  EXPECT_EQ(ReadAll({"* X {99999999}\r\n"})[0].status, ImapResponse::kTooLong);
}

TEST(ImapReplyTest, Parsers) {
  EXPECT_EQ(TaggedStatus("b7 ok [READ-ONLY] done", "b7"), ImapStatus::kOk);
  EXPECT_EQ(TaggedStatus("b71 OK done", "b7"), ImapStatus::kNone);
  EXPECT_EQ(TaggedStatus("b7 NOPE", "b7"), ImapStatus::kNone);
  EXPECT_TRUE(IsMailboxChange("* 12 FETCH (FLAGS (\\Seen))"));
  EXPECT_FALSE(IsMailboxChange("* OK [UIDNEXT 4] EXISTS"));
  std::string capabilities;
  EXPECT_FALSE(ParseCapabilities("* OK [UIDNEXT 4] hi", capabilities));
  EXPECT_TRUE(ParseCapabilities("* OK [CAPABILITY imap4rev1  IDLE AUTH=PLAIN] hi", capabilities));
  EXPECT_EQ(capabilities, " IMAP4REV1 IDLE AUTH=PLAIN ");
  EXPECT_TRUE(HasCapability(capabilities, "IDLE"));
  EXPECT_FALSE(HasCapability(capabilities, "AUTH"));
  EXPECT_EQ(ResponseCodeNumber("* OK [UIDVALIDITY 4294967295] ok", "UIDVALIDITY"), 4294967295u);
  EXPECT_EQ(ResponseCodeNumber("* OK [UIDVALIDITY 4294967296] ok", "UIDVALIDITY"), std::nullopt);
  EXPECT_EQ(ParseSearch("* SEARCH")->count, 0u);
  const auto found = ParseSearch("* SEARCH 10 2 (MODSEQ 7)");
  EXPECT_EQ(found->count, 2u);
  EXPECT_EQ(found->highest, 10u);
  EXPECT_FALSE(ParseSearch("* SEARCH 2  3"));
  EXPECT_FALSE(ParseSearch("* SEARCH 0"));
}

TEST(ImapReplyTest, StringsFoldersAndSasl) {
  EXPECT_EQ(MakeImapString("a\"b\\c d", false).head, "\"a\\\"b\\\\c d\"");
  const ImapString literal = MakeImapString("\xC3\xB1", false);
  EXPECT_TRUE(literal.is_literal);
  EXPECT_EQ(literal.head, "{2}");
  EXPECT_EQ(MakeImapString("\xC3\xB1", true).head, "{2+}");
  EXPECT_EQ(FolderToModifiedUtf7("Bandeja de entrada"), "Bandeja de entrada");
  EXPECT_EQ(FolderToModifiedUtf7("Correo/Recibido"), "Correo/Recibido");
  EXPECT_EQ(FolderToModifiedUtf7("A\xF1o"), "A&APE-o");
  EXPECT_EQ(FolderToModifiedUtf7("Tom & Jerry"), "Tom &- Jerry");
  EXPECT_EQ(FolderToModifiedUtf7("\x80\xE1\xE9"), "&IKwA4QDp-");  // euro, a and e with acute
  EXPECT_EQ(Base64(std::string("\0alice\0secret", 13)), "AGFsaWNlAHNlY3JldA==");
}

}  // namespace
}  // namespace buzonix
