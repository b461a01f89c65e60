// The standard library reports its own faults (a position past the end of a
// string, an index out of range, a size too large) through the
// std::__throw_* functions. libstdc++ defines them all in one object whose
// exception classes keep their text in the old copy-on-write string; that
// string and those classes are about 50 KB of the program. These definitions
// take their place when the program is linked. The program raises no
// exception: a fault of the library is one of the program, which tells its
// text and ends.
#include <bits/functexcept.h>

#include <cstdarg>

#include "win/LibraryErrors_win.h"
#include "win/WinWindow.h"

namespace buzonix {

LibraryFaultText::LibraryFaultText(const char* text) {
  for (const char* p = text; p != nullptr && *p != '\0'; ++p) Put(*p);
  text_[length_] = '\0';
}

LibraryFaultText::LibraryFaultText(const char* format, std::va_list arguments) {
  for (const char* p = format; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      for (const char* s = va_arg(arguments, const char*); *s != '\0'; ++s) Put(*s);
      ++p;
    } else if (p[0] == '%' && p[1] == 'z' && p[2] == 'u') {
      char digits[24];
      int count = 0;
      std::size_t value = va_arg(arguments, std::size_t);
      do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
      } while (value != 0);
      while (count > 0) Put(digits[--count]);
      p += 2;
    } else if (p[0] == '%' && p[1] == '%') {
      Put('%');
      ++p;
    } else {
      Put(*p);
    }
  }
  text_[length_] = '\0';
}

void LibraryFaultText::Put(char c) {
  if (length_ + 1 < sizeof text_) text_[length_++] = c;
}

namespace {

[[noreturn]] void EndOnLibraryFault(const char* text) { EndOnSystemFailure(LibraryFaultText(text).Text()); }

}  // namespace
}  // namespace buzonix

namespace std {

void __throw_bad_exception() { buzonix::EndOnLibraryFault("std::bad_exception"); }
void __throw_bad_alloc() { buzonix::EndOnLibraryFault("std::bad_alloc"); }
void __throw_bad_array_new_length() { buzonix::EndOnLibraryFault("std::bad_array_new_length"); }
void __throw_bad_cast() { buzonix::EndOnLibraryFault("std::bad_cast"); }
void __throw_bad_typeid() { buzonix::EndOnLibraryFault("std::bad_typeid"); }
void __throw_bad_function_call() { buzonix::EndOnLibraryFault("bad_function_call"); }

void __throw_logic_error(const char* text) { buzonix::EndOnLibraryFault(text); }
void __throw_domain_error(const char* text) { buzonix::EndOnLibraryFault(text); }
void __throw_invalid_argument(const char* text) { buzonix::EndOnLibraryFault(text); }
void __throw_length_error(const char* text) { buzonix::EndOnLibraryFault(text); }
void __throw_out_of_range(const char* text) { buzonix::EndOnLibraryFault(text); }
void __throw_runtime_error(const char* text) { buzonix::EndOnLibraryFault(text); }
void __throw_range_error(const char* text) { buzonix::EndOnLibraryFault(text); }
void __throw_overflow_error(const char* text) { buzonix::EndOnLibraryFault(text); }
void __throw_underflow_error(const char* text) { buzonix::EndOnLibraryFault(text); }

void __throw_out_of_range_fmt(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const buzonix::LibraryFaultText text(format, arguments);
  va_end(arguments);
  buzonix::EndOnSystemFailure(text.Text());
}

}  // namespace std
