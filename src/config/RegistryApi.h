// The small part of a hierarchical registry that the settings need: two roots,
// keys opened or created by path, and named values of a type and raw bytes.
// The Windows program runs it over advapi32; native builds over MemoryRegistry.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace buzonix {

enum class RegistryRoot { kCurrentUser, kLocalMachine };

// The rights a key is opened with. Windows grants only what is asked for and
// refuses the whole open when one right is missing: a standard user may read
// HKEY_LOCAL_MACHINE but not write it.
enum class KeyAccess { kRead, kWrite };

// Value types, numbered as the Windows registry numbers them.
enum RegistryType : std::uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
};

// Opaque to callers: a root or a key opened by the implementation.
using KeyHandle = std::uintptr_t;

struct RegistryValue {
  std::uint32_t type = kRegNone;
  std::string data;  // raw bytes, exactly as stored
};

enum class QueryResult {
  kFound,
  kMissing,     // no such value (or its size and type cannot be asked)
  kUnreadable,  // the value exists but its data could not be fetched
};

class RegistryApi;

// Owns one key opened by a RegistryApi and closes it when it goes, whatever
// path the code takes out of the scope. Roots are never owned.
class RegKey {
 public:
  RegKey() = default;
  RegKey(RegistryApi& api, KeyHandle handle) : api_(&api), handle_(handle) {}
  RegKey(RegKey&& other) noexcept
      : api_(std::exchange(other.api_, nullptr)), handle_(other.handle_) {}
  RegKey& operator=(RegKey&& other) noexcept {
    if (this != &other) {
      Close();
      api_ = std::exchange(other.api_, nullptr);
      handle_ = other.handle_;
    }
    return *this;
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { Close(); }

  bool IsOpen() const { return api_ != nullptr; }
  KeyHandle Handle() const { return handle_; }
  inline void Close();

 private:
  RegistryApi* api_ = nullptr;
  KeyHandle handle_ = 0;
};

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;

  // The predefined key of a root; valid as a parent, never closed.
  virtual KeyHandle Root(RegistryRoot root) = 0;
  // Opens `path` (backslash-separated) below `parent` for `access`, creating
  // every missing key on the way. Not open on failure.
  virtual RegKey CreateKey(KeyHandle parent, const std::string& path, KeyAccess access) = 0;
  // Opens an existing key for `access`. Not open on failure.
  virtual RegKey OpenKey(KeyHandle parent, const std::string& path, KeyAccess access) = 0;
  virtual QueryResult QueryValue(KeyHandle key, const std::string& name,
                                 RegistryValue& value) = 0;
  // On a key opened for writing: stores `bytes` as a REG_SZ value of size bytes.size(): the program adds
  // no terminating zero (the Windows registry itself may count one).
  virtual bool SetTextValue(KeyHandle key, const std::string& name, const std::string& bytes) = 0;
  // On a key opened for writing.
  virtual bool DeleteValue(KeyHandle key, const std::string& name) = 0;

 protected:
  friend class RegKey;
  virtual void CloseKey(KeyHandle key) = 0;
};

inline void RegKey::Close() {
  if (api_ != nullptr) std::exchange(api_, nullptr)->CloseKey(handle_);
}

}  // namespace buzonix
