// Reply lines assembled from receives cut at arbitrary boundaries.
// Input: a byte of chunk sizes count n, n sizes, then the stream.
#include <cstdint>
#include <string>

#include "fuzz/ChunkedPlatform.h"
#include "mailcheck/CheckMail.h"

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
  sockets.Port = "110";
  if (sockets.SConnect()) __builtin_trap();
  PlainChannel channel(sockets);
  ReplyReader reader(channel);
  std::string rebuilt;
  bool truncated = false;
  for (int lines = 0; lines < 100000; ++lines) {
    const std::string line = reader.ReadLine();
    if (line.empty()) break;
    if (line.size() > kMaxReplyOctets) __builtin_trap();
    const std::size_t lf = line.find('\n');
    if (lf != std::string::npos && lf + 1 != line.size()) __builtin_trap();  // one line at a time
    if (line.size() == kMaxReplyOctets) truncated = true;
    rebuilt += line;
    (void)CutReply(line);
  }
  // Without an over-long line, the lines are the stream itself, in order.
  if (!truncated && rebuilt != stream.substr(0, rebuilt.size())) __builtin_trap();
  if (!truncated && rebuilt.size() != stream.size()) __builtin_trap();
  return 0;
}
