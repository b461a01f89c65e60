// What the standard library says in the Windows program when it finds a
// fault of its own (see LibraryErrors_win.cpp).
#pragma once

#include <cstdarg>
#include <cstddef>

namespace buzonix {

// The library's text, printf-like with the only conversions its texts use
// (%s, %zu and %%), into a fixed buffer: telling a fault never allocates.
class LibraryFaultText {
 public:
  explicit LibraryFaultText(const char* text);
  LibraryFaultText(const char* format, std::va_list arguments);

  const char* Text() const { return text_; }

 private:
  void Put(char c);

  char text_[256];
  std::size_t length_ = 0;
};

}  // namespace buzonix
