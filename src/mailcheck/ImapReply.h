// The IMAP side of the wire: a reader that assembles whole responses
// (literals included) from receives of any size, the few parsers the check
// needs, and how the check writes strings, folder names and SASL data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "network/Channel.h"

namespace buzonix {

// A UID SEARCH of a big folder is one long line; past this bound a response
// is refused rather than cut, so that no count is ever made from part of it.
inline constexpr std::size_t kMaxImapResponse = 1024 * 1024;

struct ImapResponse {
  enum Status { kComplete, kTooLong, kClosed, kFailed } status = kFailed;
  // The response without its final CRLF; a literal's bytes stay in place
  // after their "{N}" and its CRLF.
  std::string text;
};

class ImapReader {
 public:
  explicit ImapReader(ByteChannel& channel) : channel_(&channel) {}
  void SetChannel(ByteChannel& channel) { channel_ = &channel; }
  void Reset() { pending_.clear(); }
  // Bytes that arrived after the last response read.
  bool HasPending() const { return !pending_.empty(); }
  ImapResponse Read();

 private:
  // Fills pending_ until it holds `wanted` bytes; false when the channel ended.
  bool Fill(std::size_t wanted, ImapResponse::Status& why);

  ByteChannel* channel_;
  std::string pending_;
};

enum class ImapStatus { kNone, kOk, kNo, kBad };

// The status of a tagged response for `tag`, kNone for any other response.
ImapStatus TaggedStatus(const std::string& text, const std::string& tag);
bool IsContinuation(const std::string& text);
bool IsBye(const std::string& text);
// "* N EXISTS", "* N EXPUNGE", "* N FETCH ..." or "* N RECENT": the mailbox changed.
bool IsMailboxChange(const std::string& text);
// The capabilities of a "* CAPABILITY ..." response or a "[CAPABILITY ...]"
// code into `capabilities`, upper-cased, each between spaces (" IMAP4REV1
// IDLE "); false, `capabilities` untouched, when the response carries none.
bool ParseCapabilities(const std::string& text, std::string& capabilities);
// Whether `capabilities` (as ParseCapabilities gives them) list `name`.
bool HasCapability(const std::string& capabilities, const char* name);
// The number of a response code such as "[UIDVALIDITY 42]".
std::optional<std::uint32_t> ResponseCodeNumber(const std::string& text, const char* code);
// What a "* SEARCH ..." response found: how many UIDs, and the highest (0
// when none); nullopt for any other response or a malformed one.
struct SearchResult {
  std::uint32_t count = 0;
  std::uint32_t highest = 0;
};
std::optional<SearchResult> ParseSearch(const std::string& text);

// An IMAP string for `bytes`: quoted where that is allowed, else a literal
// whose "{N}" ends the first part (the caller waits for the continuation
// unless `literal_plus`).
struct ImapString {
  std::string head;  // the quoted string, or "{N}" / "{N+}"
  std::string literal;
  bool is_literal = false;
};
ImapString MakeImapString(const std::string& bytes, bool literal_plus);
// A folder name of the program's own text (Windows-1252) in modified UTF-7.
std::string FolderToModifiedUtf7(const std::string& cp1252);

}  // namespace buzonix
