#include "win/Registry_win.h"

#include <windows.h>

#include <vector>

#include "win/Text_win.h"

namespace buzonix {
namespace {

HKEY ToHkey(KeyHandle handle) { return reinterpret_cast<HKEY>(handle); }
KeyHandle ToHandle(HKEY key) { return reinterpret_cast<KeyHandle>(key); }

REGSAM Rights(KeyAccess access) {
  return access == KeyAccess::kRead ? KEY_READ : KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

bool NamesAFileOrFolder(const std::wstring& path) {
  return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Text values are held as UTF-16 whatever wrote them (the ANSI calls convert
// with the system code page): as Windows-1252 they read back byte for byte
// what a Western system stored. A path that Windows-1252 cannot spell (one the
// installer wrote for a folder of such a name) reads as the program spells its
// own path, so that the two compare alike.
std::string WesternData(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if (!IsText(type)) return std::string(reinterpret_cast<const char*>(data.data()), size);
  const std::wstring_view text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
  if (FitsWestern(text)) return Western(text);
  const std::wstring first(text.substr(0, text.find(L'\0')));
  if (!NamesAFileOrFolder(first)) return Western(text);
  return WesternPath(first) + Western(text.substr(first.size()));
}

}  // namespace

KeyHandle Win32Registry::Root(RegistryRoot root) {
  return ToHandle(root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE);
}

RegKey Win32Registry::CreateKey(KeyHandle parent, const std::string& path, KeyAccess access) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG status = RegCreateKeyExW(ToHkey(parent), Wide(path).c_str(), 0, nullptr,
                                      REG_OPTION_NON_VOLATILE, Rights(access), nullptr, &key,
                                      &disposition);
  if (status != ERROR_SUCCESS) return {};
  return RegKey(*this, ToHandle(key));
}

RegKey Win32Registry::OpenKey(KeyHandle parent, const std::string& path, KeyAccess access) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(ToHkey(parent), Wide(path).c_str(), 0, Rights(access), &key) != ERROR_SUCCESS) {
    return {};
  }
  return RegKey(*this, ToHandle(key));
}

QueryResult Win32Registry::QueryValue(KeyHandle key, const std::string& name,
                                      RegistryValue& value) {
  // First the type and size, then exactly that many bytes.
  const std::wstring wideName = Wide(name);
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExW(ToHkey(key), wideName.c_str(), nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS) {
    return QueryResult::kMissing;
  }
  // Never empty, so data() is a real buffer; whole UTF-16 units for a text.
  std::vector<BYTE> data(size + sizeof(wchar_t));
  if (RegQueryValueExW(ToHkey(key), wideName.c_str(), nullptr, &type, data.data(), &size) !=
      ERROR_SUCCESS) {
    return QueryResult::kUnreadable;
  }
  value.type = type;
  value.data = WesternData(type, data, size);
  return QueryResult::kFound;
}

bool Win32Registry::SetTextValue(KeyHandle key, const std::string& name,
                                 const std::string& bytes) {
  // A non-empty text is stored with its terminating zero, as the ANSI call
  // of earlier versions stored it; an empty text stays of size 0. Readers cut
  // at the first zero, so both forms read alike.
  const std::wstring text = Wide(bytes);
  const std::size_t units = text.empty() ? 0 : text.size() + 1;
  return RegSetValueExW(ToHkey(key), Wide(name).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(units * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool Win32Registry::DeleteValue(KeyHandle key, const std::string& name) {
  return RegDeleteValueW(ToHkey(key), Wide(name).c_str()) == ERROR_SUCCESS;
}

void Win32Registry::CloseKey(KeyHandle key) { RegCloseKey(ToHkey(key)); }

std::wstring WideProgramPath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);  // cut short: ask again with more room
  }
}

namespace {

std::wstring ShortPath(const std::wstring& path) {
  const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (size == 0) return {};
  std::wstring shortPath(size, L'\0');
  const DWORD length = GetShortPathNameW(path.c_str(), shortPath.data(), size);
  if (length == 0 || length >= size) return {};
  shortPath.resize(length);
  return shortPath;
}

}  // namespace

std::string WesternPath(const std::wstring& path) {
  if (FitsWestern(path)) return Western(path);
  // A folder name that Windows-1252 cannot spell: its short form, which the
  // system spells in plain letters where short names are kept.
  const std::wstring shortPath = ShortPath(path);
  return Western(FitsWestern(shortPath) && !shortPath.empty() ? shortPath : path);
}

std::string ProgramFullPath() { return WesternPath(WideProgramPath()); }

}  // namespace buzonix
