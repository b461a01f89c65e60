// A registry held in memory, with the same two roots, case-insensitive key and
// value names and byte-exact values as the Windows one. It carries the settings
// where there is no Windows registry; tests also use its inspection and fault
// switches.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "config/RegistryApi.h"

namespace buzonix {

class MemoryRegistry final : public RegistryApi {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;
  MemoryRegistry(const MemoryRegistry&) = delete;
  MemoryRegistry& operator=(const MemoryRegistry&) = delete;

  KeyHandle Root(RegistryRoot root) override;
  RegKey CreateKey(KeyHandle parent, const std::string& path, KeyAccess access) override;
  RegKey OpenKey(KeyHandle parent, const std::string& path, KeyAccess access) override;
  QueryResult QueryValue(KeyHandle key, const std::string& name, RegistryValue& value) override;
  bool SetTextValue(KeyHandle key, const std::string& name, const std::string& bytes) override;
  bool DeleteValue(KeyHandle key, const std::string& name) override;

  // Direct access by path, outside the handle discipline.
  bool KeyExists(RegistryRoot root, const std::string& path) const;
  std::optional<RegistryValue> GetValue(RegistryRoot root, const std::string& path,
                                        const std::string& name) const;
  // Stores a value of any type, creating the keys on the way.
  void PutValue(RegistryRoot root, const std::string& path, const std::string& name,
                const RegistryValue& value);
  // Keys opened through the handle interface and not closed yet.
  std::size_t OpenKeyCount() const { return open_.size(); }

  // Faults, as a registry without rights or with damaged data shows them.
  void DenyAccess(RegistryRoot root);                // no key below it opens
  void DenyWrites(RegistryRoot root);                // keys below it open for reading only
  void FailWritesOf(const std::string& valueName);  // setting it fails
  void FailReadsOf(const std::string& valueName);   // its data cannot be fetched

 private:
  struct Key;
  struct OpenedKey {
    Key* key;
    RegistryRoot root;
    KeyAccess access;
  };

  void CloseKey(KeyHandle key) override;
  std::optional<OpenedKey> Find(KeyHandle handle) const;
  RegKey Open(KeyHandle parent, const std::string& path, bool create, KeyAccess access);
  std::optional<OpenedKey> FindWritable(KeyHandle handle) const;
  static Key* AddSubkey(Key& parent, const std::string& name);
  const Key* FindKeyPath(RegistryRoot root, const std::string& path) const;
  Key& CreateKeyPath(RegistryRoot root, const std::string& path);

  std::unique_ptr<Key> current_user_;
  std::unique_ptr<Key> local_machine_;
  std::map<KeyHandle, OpenedKey> open_;
  KeyHandle next_handle_ = 16;
  std::set<RegistryRoot> denied_roots_;
  std::set<RegistryRoot> read_only_roots_;
  std::set<std::string> unwritable_values_;
  std::set<std::string> unreadable_values_;
};

}  // namespace buzonix
