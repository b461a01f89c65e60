// The standard library reports its own faults (a position past the end of a
// string, an index out of range, a size too large) through the
// std::__throw_* functions. libstdc++ defines them all in one object whose
// exception classes keep their text in the old copy-on-write string; that
// string and those classes are about 50 KB of the program. These definitions
// take their place when the program is linked: they throw LibraryError with
// the same what() text. Nothing in the program catches the standard classes
// by name; every handler takes std::exception or anything.
#include <bits/functexcept.h>

#include <cstdarg>
#include <exception>
#include <new>
#include <typeinfo>

#include "win/LibraryErrors_win.h"

namespace buzonix {

LibraryError::LibraryError(const char* text) {
  std::size_t n = 0;
  while (text != nullptr && text[n] != '\0' && n + 1 < sizeof text_) {
    text_[n] = text[n];
    ++n;
  }
  text_[n] = '\0';
}

LibraryError LibraryError::Formatted(const char* format, std::va_list arguments) {
  LibraryError error("");
  std::size_t n = 0;
  const auto put = [&error, &n](char c) {
    if (n + 1 < sizeof error.text_) error.text_[n++] = c;
  };
  for (const char* p = format; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      for (const char* s = va_arg(arguments, const char*); *s != '\0'; ++s) put(*s);
      ++p;
    } else if (p[0] == '%' && p[1] == 'z' && p[2] == 'u') {
      char digits[24];
      int count = 0;
      std::size_t value = va_arg(arguments, std::size_t);
      do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
      } while (value != 0);
      while (count > 0) put(digits[--count]);
      p += 2;
    } else if (p[0] == '%' && p[1] == '%') {
      put('%');
      ++p;
    } else {
      put(*p);
    }
  }
  error.text_[n] = '\0';
  return error;
}

}  // namespace buzonix

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }

void __throw_logic_error(const char* text) { throw buzonix::LibraryError(text); }
void __throw_domain_error(const char* text) { throw buzonix::LibraryError(text); }
void __throw_invalid_argument(const char* text) { throw buzonix::LibraryError(text); }
void __throw_length_error(const char* text) { throw buzonix::LibraryError(text); }
void __throw_out_of_range(const char* text) { throw buzonix::LibraryError(text); }
void __throw_runtime_error(const char* text) { throw buzonix::LibraryError(text); }
void __throw_range_error(const char* text) { throw buzonix::LibraryError(text); }
void __throw_overflow_error(const char* text) { throw buzonix::LibraryError(text); }
void __throw_underflow_error(const char* text) { throw buzonix::LibraryError(text); }

void __throw_out_of_range_fmt(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const buzonix::LibraryError error = buzonix::LibraryError::Formatted(format, arguments);
  va_end(arguments);
  throw error;
}

}  // namespace std
