#include "win/Registry_win.h"

#include <windows.h>

#include <vector>

namespace buzonix {
namespace {

HKEY ToHkey(KeyHandle handle) { return reinterpret_cast<HKEY>(handle); }
KeyHandle ToHandle(HKEY key) { return reinterpret_cast<KeyHandle>(key); }

}  // namespace

KeyHandle Win32Registry::Root(RegistryRoot root) {
  return ToHandle(root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE);
}

RegKey Win32Registry::CreateKey(KeyHandle parent, const std::string& path) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG status = RegCreateKeyExA(ToHkey(parent), path.c_str(), 0, nullptr,
                                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                      &disposition);
  if (status != ERROR_SUCCESS) return {};
  return RegKey(*this, ToHandle(key));
}

RegKey Win32Registry::OpenKey(KeyHandle parent, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(ToHkey(parent), path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    return {};
  }
  return RegKey(*this, ToHandle(key));
}

QueryResult Win32Registry::QueryValue(KeyHandle key, const std::string& name,
                                      RegistryValue& value) {
  // First the type and size, then exactly that many bytes.
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS) {
    return QueryResult::kMissing;
  }
  std::vector<BYTE> data(size + 1);  // never empty, so data() is a real buffer
  if (RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &type, data.data(), &size) !=
      ERROR_SUCCESS) {
    return QueryResult::kUnreadable;
  }
  value.type = type;
  value.data.assign(reinterpret_cast<const char*>(data.data()), size);
  return QueryResult::kFound;
}

bool Win32Registry::SetTextValue(KeyHandle key, const std::string& name,
                                 const std::string& bytes) {
  // The size asked for is the text's length, without its terminating zero.
  // Windows (and Wine) count a zero that follows the data in memory anyway,
  // so a non-empty text lands with one; an empty text stays of size 0. Readers
  // cut at the first zero, so both forms read alike.
  return RegSetValueExA(ToHkey(key), name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(bytes.c_str()),
                        static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

bool Win32Registry::DeleteValue(KeyHandle key, const std::string& name) {
  return RegDeleteValueA(ToHkey(key), name.c_str()) == ERROR_SUCCESS;
}

void Win32Registry::CloseKey(KeyHandle key) { RegCloseKey(ToHkey(key)); }

std::string ProgramFullPath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);  // cut short: ask again with more room
  }
}

}  // namespace buzonix
