// A small reader for the JSON a token endpoint answers (RFC 8259): one object
// whose top-level members are read; nested values are checked and skipped.
// Bounded: at most kMaxJsonOctets of input and kMaxJsonDepth levels.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace buzonix {

inline constexpr std::size_t kMaxJsonOctets = 64 * 1024;
inline constexpr int kMaxJsonDepth = 32;

struct JsonMember {
  enum class Kind { kString, kNumber, kTrue, kFalse, kNull, kObject, kArray };
  Kind kind = Kind::kNull;
  std::string text;  // a string's value in UTF-8 (escapes resolved), a number as written
};

// The top-level members of `text`, which must be one object and nothing else
// (white space aside); nullopt for anything malformed or beyond the bounds. A
// member named twice keeps its last value.
std::optional<std::map<std::string, JsonMember>> ReadJsonObject(std::string_view text);

}  // namespace buzonix
