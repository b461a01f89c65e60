// IMAP responses assembled from receives cut at arbitrary boundaries, and the
// parsers the session runs on each of them.
// Input: a byte of chunk sizes count n, n sizes, then the stream.
#include <cstdint>
#include <string>

#include "fuzz/ChunkedPlatform.h"
#include "mailcheck/ImapReply.h"
#include "text/Base64.h"

using namespace buzonix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::size_t sizes = std::min<std::size_t>(data[0], size - 1);
  std::string stream(reinterpret_cast<const char*>(data) + 1 + sizes, size - 1 - sizes);
  fuzzing::ChunkedPlatform platform;
  std::size_t at = 0;
  for (std::size_t i = 0; i < sizes && at < stream.size(); ++i) {
    const std::size_t n = 1 + data[1 + i];
    platform.chunks.push_back(stream.substr(at, n));
    at += n;
  }
  if (at < stream.size()) platform.chunks.push_back(stream.substr(at));

  TSockets sockets(platform);
  sockets.MaximumReceiveLength = 255;
  sockets.IPAddr = "127.0.0.1";
  sockets.Port = "143";
  if (sockets.SConnect()) __builtin_trap();
  PlainChannel channel(sockets);
  ImapReader reader(channel);
  std::size_t consumed = 0;
  for (;;) {
    const ImapResponse response = reader.Read();
    if (response.status != ImapResponse::kComplete) break;
    if (response.text.size() > kMaxImapResponse) __builtin_trap();
    // Each response is the stream itself, up to its line end.
    if (stream.compare(consumed, response.text.size(), response.text) != 0) __builtin_trap();
    consumed += response.text.size();
    if (consumed < stream.size() && stream[consumed] == '\r') ++consumed;
    if (consumed >= stream.size() || stream[consumed] != '\n') __builtin_trap();
    ++consumed;
    (void)TaggedStatus(response.text, "b1");
    (void)IsMailboxChange(response.text);
    (void)IsBye(response.text);
    std::string capabilities;
    if (ParseCapabilities(response.text, capabilities) &&
        (capabilities.front() != ' ' || capabilities.back() != ' '))
      __builtin_trap();
    (void)ResponseCodeNumber(response.text, "UIDVALIDITY");
    if (auto found = ParseSearch(response.text))
      if ((found->count == 0) != (found->highest == 0)) __builtin_trap();
  }
  // What the session writes of any text never breaks its command line.
  const ImapString string = MakeImapString(stream, false);
  if (!string.is_literal && string.head.find_first_of("\r\n") != std::string::npos) __builtin_trap();
  const std::string folder = FolderToModifiedUtf7(stream);
  for (char c : folder)
    if (c < 0x20 || c > 0x7E) __builtin_trap();
  (void)Base64(stream);
  return 0;
}
