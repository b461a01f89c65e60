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

// The running program's full path as the system reports it, of any length, in
// Windows-1252 (the short form where the long one has characters it cannot
// hold): no quotes, no arguments. This is what the start-with-Windows entry
// holds.
std::string ProgramFullPath();
// The same in UTF-16, exactly as the system reports it.
std::wstring WideProgramPath();

}  // namespace buzonix
