#include "win/SystemLibrary_win.h"

#include <string>

namespace buzonix {
namespace {

HMODULE LoadFromSystemFolderPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\" + name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

HMODULE LoadFromSystemFolder(const wchar_t* name, WithoutSearchFlags fallback) {
  if (HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
  if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
  return fallback == WithoutSearchFlags::kSystemFolderPath ? LoadFromSystemFolderPath(name) : LoadLibraryW(name);
}

SystemLibrary::SystemLibrary(const wchar_t* name)
    : module_(LoadFromSystemFolder(name, WithoutSearchFlags::kSystemFolderPath)) {}

SystemLibrary::~SystemLibrary() {
  if (module_ != nullptr) FreeLibrary(module_);
}

}  // namespace buzonix
