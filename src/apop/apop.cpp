// APOP.DLL: the digest that an APOP login sends, exported as MDString.
#include <windows.h>

#include "mailcheck/md5.h"

// Takes stamp + password as one zero-terminated text; returns its MD5 digest
// as 32 lower-case hexadecimal digits. The text lives in the library until
// the next call: callers copy it at once.
extern "C" __declspec(dllexport) const char* __stdcall MDString(const char* text) {
  static char digest[33];
  if (text == nullptr) text = "";
  buzonix::Md5HexInto(text, static_cast<std::size_t>(lstrlenA(text)), digest);
  return digest;
}

// The entry point itself: the library has no C runtime to start.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
