// The one reader of decimal numbers: settings, the configuration dialog's
// field, the port and the mailbox's message count all go through it.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace buzonix {

// A whole 32-bit number: an optional '-', then decimal digits and nothing
// else. With `plusSign` a leading '+' is taken too (the dialog's field and
// the port accept it; a stored frequency does not).
inline std::optional<std::int32_t> ParseInt32(std::string_view text, bool plusSign = false) {
  if (plusSign && text.size() > 1 && text[0] == '+' && text[1] >= '0' && text[1] <= '9') text.remove_prefix(1);
  std::int32_t value = 0;
  const char* const last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  if (text.empty() || error != std::errc() || end != last) return std::nullopt;
  return value;
}

}  // namespace buzonix
