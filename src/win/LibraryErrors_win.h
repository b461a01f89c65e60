// LibraryError: what the standard library throws in the Windows program when
// it finds a fault of its own (see LibraryErrors_win.cpp).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <exception>

namespace buzonix {

class LibraryError : public std::exception {
 public:
  explicit LibraryError(const char* text);
  // printf-like, with the only conversions the library's texts use: %s, %zu
  // and %%.
  static LibraryError Formatted(const char* format, std::va_list arguments);

  const char* what() const noexcept override { return text_; }

 private:
  char text_[256];  // a fixed buffer: making the error never allocates
};

}  // namespace buzonix
