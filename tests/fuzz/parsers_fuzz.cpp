// The greeting's time stamp and the STAT count, on any reply.
#include <cstdint>
#include <string>

#include "mailcheck/CheckMail.h"

using namespace buzonix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);
  const std::string stamp = ExtraeSello(reply);
  if (!stamp.empty()) {
    // The stamp ends the greeting; it runs from the last "<", or from the
    // start of a greeting that has none.
    if (stamp.back() != '>') __builtin_trap();
    if (reply.compare(reply.size() - stamp.size(), stamp.size(), stamp) != 0) __builtin_trap();
    if (stamp.front() != '<' && stamp != reply) __builtin_trap();
    if (stamp.find('<', 1) != std::string::npos || stamp.find(' ') != std::string::npos) __builtin_trap();
  }
  const std::int32_t count = ParseStatCount(reply);
  if (count < -1) __builtin_trap();
  if (count >= 0 && reply.find(std::to_string(count)) == std::string::npos) {
    // Leading zeros are allowed ("+OK 007 10"); the digits must still be there.
    if (reply.find_first_of("0123456789") == std::string::npos) __builtin_trap();
  }
  return 0;
}
