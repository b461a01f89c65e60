#include "signin/Json.h"

#include <cstdint>

namespace buzonix {
namespace {

class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : text_(text) {}

  std::optional<std::map<std::string, JsonMember>> TopObject() {
    std::map<std::string, JsonMember> members;
    SkipSpace();
    if (!Take('{')) return std::nullopt;
    SkipSpace();
    if (!Take('}')) {
      do {
        SkipSpace();
        std::string name;
        if (!String(name)) return std::nullopt;
        SkipSpace();
        if (!Take(':')) return std::nullopt;
        JsonMember member;
        if (!Value(member, 1)) return std::nullopt;
        members[name] = std::move(member);
        SkipSpace();
      } while (Take(','));
      if (!Take('}')) return std::nullopt;
    }
    SkipSpace();
    if (at_ != text_.size()) return std::nullopt;
    return members;
  }

 private:
  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool TakeWord(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  void SkipSpace() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }

  bool Value(JsonMember& member, int depth) {
    if (depth > kMaxJsonDepth) return false;
    SkipSpace();
    if (at_ >= text_.size()) return false;
    const char c = text_[at_];
    using Kind = JsonMember::Kind;
    if (c == '"') {
      member.kind = Kind::kString;
      return String(member.text);
    }
    if (c == '{') return Nested(member, Kind::kObject, '}', depth, true);
    if (c == '[') return Nested(member, Kind::kArray, ']', depth, false);
    if (TakeWord("true")) return member.kind = Kind::kTrue, true;
    if (TakeWord("false")) return member.kind = Kind::kFalse, true;
    if (TakeWord("null")) return member.kind = Kind::kNull, true;
    member.kind = Kind::kNumber;
    return Number(member.text);
  }

  // An object or array below the top: checked, its contents not kept.
  bool Nested(JsonMember& member, JsonMember::Kind kind, char close, int depth, bool named) {
    member.kind = kind;
    ++at_;
    SkipSpace();
    if (Take(close)) return true;
    do {
      SkipSpace();
      if (named) {
        std::string name;
        if (!String(name)) return false;
        SkipSpace();
        if (!Take(':')) return false;
      }
      JsonMember inner;
      if (!Value(inner, depth + 1)) return false;
      SkipSpace();
    } while (Take(','));
    return Take(close);
  }

  bool Number(std::string& out) {
    const std::size_t start = at_;
    Take('-');
    if (Take('0')) {
    } else if (!Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    out.assign(text_.substr(start, at_ - start));
    return true;
  }
  bool Digits() {
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > start;
  }

  bool Hex4(std::uint32_t& unit) {
    if (text_.size() - at_ < 4) return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      unit <<= 4;
      if (c >= '0' && c <= '9') unit |= static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') unit |= static_cast<std::uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') unit |= static_cast<std::uint32_t>(c - 'A' + 10);
      else return false;
    }
    return true;
  }

  static void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  // \uXXXX, with a surrogate pair joined; a lone surrogate is malformed.
  bool Escape(std::string& out) {
    std::uint32_t unit = 0;
    if (!Hex4(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      std::uint32_t low = 0;
      if (!TakeWord("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(out, unit);
    return true;
  }

  bool String(std::string& out) {
    if (!Take('"')) return false;
    out.clear();
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      switch (text_[at_++]) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u':
          if (!Escape(out)) return false;
          break;
        default: return false;
      }
    }
    return false;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<std::map<std::string, JsonMember>> ReadJsonObject(std::string_view text) {
  if (text.size() > kMaxJsonOctets) return std::nullopt;
  return JsonParser(text).TopObject();
}

}  // namespace buzonix
