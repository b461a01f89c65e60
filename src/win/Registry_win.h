// The settings' registry over advapi32, and the program's own file name.
#pragma once

#include <string>

#include "config/RegistryApi.h"

namespace buzonix {

class Win32Registry final : public RegistryApi {
 public:
  KeyHandle Root(RegistryRoot root) override;
  RegKey CreateKey(KeyHandle parent, const std::string& path, KeyAccess access) override;
  RegKey OpenKey(KeyHandle parent, const std::string& path, KeyAccess access) override;
  QueryResult QueryValue(KeyHandle key, const std::string& name, RegistryValue& value) override;
  bool SetTextValue(KeyHandle key, const std::string& name, const std::string& bytes) override;
  bool DeleteValue(KeyHandle key, const std::string& name) override;

 private:
  void CloseKey(KeyHandle key) override;
};

// A path in Windows-1252: its short form where the long one has characters
// that Windows-1252 cannot hold, and '?' for those where neither can.
std::string WesternPath(const std::wstring& path);
// The running program's full path as the system reports it, of any length, as
// WesternPath spells it: no quotes, no arguments. This is what the
// start-with-Windows entry holds.
std::string ProgramFullPath();
// The same in UTF-16, exactly as the system reports it.
std::wstring WideProgramPath();

}  // namespace buzonix
