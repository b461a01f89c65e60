// APOP.DLL: the digest that an APOP login sends, exported as MDString.
#include <windows.h>

#include <cstring>

#include "mailcheck/md5.h"

// Takes stamp + password as one zero-terminated text; returns its MD5 digest
// as 32 lower-case hexadecimal digits. The text lives in the library, per
// thread, until the next call: callers copy it at once.
extern "C" __declspec(dllexport) const char* __stdcall MDString(const char* text) {
  static thread_local char digest[33];
  const std::string hex = buzonix::Md5Hex(text != nullptr ? text : "");
  std::memcpy(digest, hex.c_str(), sizeof digest);
  return digest;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
