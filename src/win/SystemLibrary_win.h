// A DLL of the system loaded on first need, only from the system folder (a
// copy planted beside the program or in the current folder never loads), and
// freed when its owner goes.
#pragma once

#include <windows.h>

namespace buzonix {

// Where a system has no search flags (they are refused as an invalid
// parameter), a DLL is found by its full path in the system folder, or by the
// loader's own search (the current folder taken out at start), which, unlike
// a full path, still honours the manifest's choice of version.
enum class WithoutSearchFlags { kSystemFolderPath, kLoaderSearch };

// `name` from the system folder only; null if it cannot be loaded.
HMODULE LoadFromSystemFolder(const wchar_t* name, WithoutSearchFlags fallback);

class SystemLibrary {
 public:
  explicit SystemLibrary(const wchar_t* name);
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;
  ~SystemLibrary();

  bool Loaded() const { return module_ != nullptr; }
  // The function `name` as type F, or null.
  template <typename F>
  F Bind(const char* name) const {
    if (module_ == nullptr) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_ = nullptr;
};

}  // namespace buzonix
