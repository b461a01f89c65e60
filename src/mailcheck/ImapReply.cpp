#include "mailcheck/ImapReply.h"

#include <cstring>

#include "text/Base64.h"
#include "text/Cp1252.h"

namespace buzonix {
namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithNoCase(const std::string& text, std::size_t at, const char* word) {
  for (; *word != '\0'; ++word, ++at)
    if (at >= text.size() || Upper(text[at]) != Upper(*word)) return false;
  return true;
}

// `word` anywhere in `text`, in either case.
std::size_t FindNoCase(const std::string& text, const char* word) {
  for (std::size_t at = 0; at < text.size(); ++at)
    if (StartsWithNoCase(text, at, word)) return at;
  return std::string::npos;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number of 1 to 10 digits that fits 32 bits, from `at`; `at` moves past it.
std::optional<std::uint32_t> ReadNumber(const std::string& text, std::size_t& at) {
  std::uint64_t value = 0;
  const std::size_t start = at;
  while (at < text.size() && IsDigit(text[at]) && at - start < 10) {
    value = value * 10 + static_cast<unsigned>(text[at] - '0');
    ++at;
  }
  if (at == start || (at < text.size() && IsDigit(text[at])) || value > 0xFFFFFFFFu)
    return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

// The size of a literal announced at the end of `line` ("{N}" or "{N+}").
std::optional<std::size_t> LiteralSize(const std::string& line) {
  if (line.empty() || line.back() != '}') return std::nullopt;
  const std::size_t open = line.rfind('{');
  if (open == std::string::npos) return std::nullopt;
  std::size_t at = open + 1;
  const auto n = ReadNumber(line, at);
  if (!n) return std::nullopt;
  if (at < line.size() && line[at] == '+') ++at;
  if (at + 1 != line.size()) return std::nullopt;
  return static_cast<std::size_t>(*n);
}

}  // namespace

bool ImapReader::Fill(std::size_t wanted, ImapResponse::Status& why) {
  while (pending_.size() < wanted) {
    TSockets::Received received = channel_->Receive();
    if (received.status != TSockets::Received::kData) {
      why = received.status == TSockets::Received::kClosed ? ImapResponse::kClosed
                                                             : ImapResponse::kFailed;
      return false;
    }
    pending_ += received.bytes;
  }
  return true;
}

ImapResponse ImapReader::Read() {
  ImapResponse response;
  std::size_t scanned = 0;  // of pending_, already known to hold no line feed
  std::size_t start_of_line = 0;
  for (;;) {
    const std::size_t lf = pending_.find('\n', scanned);
    if (lf == std::string::npos) {
      scanned = pending_.size();
      if (scanned > kMaxImapResponse) return {ImapResponse::kTooLong, {}};
      if (!Fill(pending_.size() + 1, response.status)) return response;
      continue;
    }
    if (lf + 1 > kMaxImapResponse) return {ImapResponse::kTooLong, {}};
    std::string line = pending_.substr(start_of_line, lf - start_of_line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto literal = LiteralSize(line);
    if (!literal) {
      response.text = pending_.substr(0, lf);
      if (!response.text.empty() && response.text.back() == '\r') response.text.pop_back();
      pending_.erase(0, lf + 1);
      response.status = ImapResponse::kComplete;
      return response;
    }
    // The literal's bytes may hold line feeds: they are skipped, not scanned.
    if (*literal > kMaxImapResponse || lf + 1 + *literal > kMaxImapResponse)
      return {ImapResponse::kTooLong, {}};
    if (!Fill(lf + 1 + *literal, response.status)) return response;
    start_of_line = lf + 1 + *literal;
    scanned = start_of_line;
  }
}

ImapStatus TaggedStatus(const std::string& text, const std::string& tag) {
  if (text.compare(0, tag.size(), tag) != 0 || text.size() <= tag.size() || text[tag.size()] != ' ')
    return ImapStatus::kNone;
  const std::size_t at = tag.size() + 1;
  auto word = [&](const char* w) {
    const std::size_t n = std::strlen(w);
    return StartsWithNoCase(text, at, w) && (text.size() == at + n || text[at + n] == ' ');
  };
  if (word("OK")) return ImapStatus::kOk;
  if (word("NO")) return ImapStatus::kNo;
  if (word("BAD")) return ImapStatus::kBad;
  return ImapStatus::kNone;
}

bool IsContinuation(const std::string& text) { return !text.empty() && text[0] == '+'; }

bool IsBye(const std::string& text) { return StartsWithNoCase(text, 0, "* BYE"); }

bool IsMailboxChange(const std::string& text) {
  if (text.compare(0, 2, "* ") != 0) return false;
  std::size_t at = 2;
  if (!ReadNumber(text, at) || at >= text.size() || text[at] != ' ') return false;
  ++at;
  for (const char* word : {"EXISTS", "EXPUNGE", "FETCH", "RECENT"}) {
    const std::size_t n = std::strlen(word);
    if (StartsWithNoCase(text, at, word) && (text.size() == at + n || text[at + n] == ' '))
      return true;
  }
  return false;
}

bool ParseCapabilities(const std::string& text, std::string& capabilities) {
  std::size_t at;
  if (StartsWithNoCase(text, 0, "* CAPABILITY ")) {
    at = 13;
  } else {
    const std::size_t bracket = FindNoCase(text, "[CAPABILITY ");
    if (bracket == std::string::npos) return false;
    at = bracket + 12;
  }
  capabilities = " ";
  for (; at < text.size() && text[at] != ']'; ++at) {
    if (text[at] != ' ' || capabilities.back() != ' ') capabilities += Upper(text[at]);
  }
  if (capabilities.back() != ' ') capabilities += ' ';
  return true;
}

bool HasCapability(const std::string& capabilities, const char* name) {
  const std::size_t n = std::strlen(name);
  for (std::size_t at = 0; (at = capabilities.find(name, at, n)) != std::string::npos; at += n)
    if (at > 0 && capabilities[at - 1] == ' ' && at + n < capabilities.size() && capabilities[at + n] == ' ')
      return true;
  return false;
}

std::optional<std::uint32_t> ResponseCodeNumber(const std::string& text, const char* code) {
  for (std::size_t at = 0; (at = text.find('[', at)) != std::string::npos;) {
    ++at;
    if (!StartsWithNoCase(text, at, code)) continue;
    at += std::strlen(code);
    if (at < text.size() && text[at] == ' ') return ReadNumber(text, ++at);
  }
  return std::nullopt;
}

std::optional<SearchResult> ParseSearch(const std::string& text) {
  if (!StartsWithNoCase(text, 0, "* SEARCH")) return std::nullopt;
  SearchResult uids;
  std::size_t at = 8;
  while (at < text.size()) {
    if (text[at] != ' ') return std::nullopt;
    ++at;
    if (at < text.size() && text[at] == '(') break;  // a trailing (MODSEQ n)
    const auto uid = ReadNumber(text, at);
    if (!uid || *uid == 0) return std::nullopt;
    ++uids.count;
    if (*uid > uids.highest) uids.highest = *uid;
  }
  return uids;
}

ImapString MakeImapString(const std::string& bytes, bool literal_plus) {
  bool quotable = bytes.size() < 1024;
  for (unsigned char c : bytes)
    if (c == 0 || c == '\r' || c == '\n' || c >= 0x80) quotable = false;
  if (quotable) {
    std::string quoted = "\"";
    for (char c : bytes) {
      if (c == '"' || c == '\\') quoted += '\\';
      quoted += c;
    }
    return {quoted + "\"", {}, false};
  }
  return {"{" + std::to_string(bytes.size()) + (literal_plus ? "+}" : "}"), bytes, true};
}

std::string FolderToModifiedUtf7(const std::string& cp1252) {
  const std::u16string text = Cp1252ToUtf16(cp1252);
  std::string out;
  std::string run;  // UTF-16BE bytes waiting to be shifted out
  auto flush = [&] {
    if (run.empty()) return;
    out += '&' + Base64Of(run, false, ',') + '-';
    run.clear();
  };
  for (char16_t c : text) {
    if (c >= 0x20 && c <= 0x7E) {
      flush();
      out += static_cast<char>(c);
      if (c == '&') out += '-';
    } else {
      run += static_cast<char>(c >> 8);
      run += static_cast<char>(c & 0xFF);
    }
  }
  flush();
  return out;
}

}  // namespace buzonix
