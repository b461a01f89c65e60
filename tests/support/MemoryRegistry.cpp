#include "support/MemoryRegistry.h"

#include <sstream>
#include <vector>

namespace buzonix {

struct MemoryRegistry::Key {
  struct Value {
    std::string name;  // as first written; lookups ignore letter case
    RegistryValue value;
  };
  std::string name;
  std::map<std::string, std::unique_ptr<Key>> subkeys;  // by folded name
  std::map<std::string, Value> values;                  // by folded name
};

namespace {

constexpr KeyHandle kCurrentUserHandle = 1;
constexpr KeyHandle kLocalMachineHandle = 2;

// Registry names compare without regard to ASCII letter case.
std::string Folded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::vector<std::string> PathParts(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(path);
  while (std::getline(in, part, '\\')) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

}  // namespace

MemoryRegistry::MemoryRegistry()
    : current_user_(std::make_unique<Key>()), local_machine_(std::make_unique<Key>()) {}

MemoryRegistry::~MemoryRegistry() = default;

KeyHandle MemoryRegistry::Root(RegistryRoot root) {
  return root == RegistryRoot::kCurrentUser ? kCurrentUserHandle : kLocalMachineHandle;
}

// The key behind a root or an open handle; nothing for unknown handles and for
// every key of a root without access.
std::optional<MemoryRegistry::OpenedKey> MemoryRegistry::Find(KeyHandle handle) const {
  std::optional<OpenedKey> found;
  if (handle == kCurrentUserHandle) {
    found = OpenedKey{current_user_.get(), RegistryRoot::kCurrentUser, KeyAccess::kWrite};
  } else if (handle == kLocalMachineHandle) {
    found = OpenedKey{local_machine_.get(), RegistryRoot::kLocalMachine, KeyAccess::kWrite};
  } else if (const auto it = open_.find(handle); it != open_.end()) {
    found = it->second;
  }
  if (found && denied_roots_.count(found->root) != 0) return std::nullopt;
  return found;
}

// The key behind a handle opened for writing, on a root that lets it write.
std::optional<MemoryRegistry::OpenedKey> MemoryRegistry::FindWritable(KeyHandle handle) const {
  const std::optional<OpenedKey> found = Find(handle);
  if (!found || found->access != KeyAccess::kWrite || read_only_roots_.count(found->root) != 0)
    return std::nullopt;
  return found;
}

RegKey MemoryRegistry::Open(KeyHandle parent, const std::string& path, bool create,
                            KeyAccess access) {
  const std::optional<OpenedKey> start = Find(parent);
  if (!start) return {};
  const bool mayWrite = read_only_roots_.count(start->root) == 0;
  if (access == KeyAccess::kWrite && !mayWrite) return {};
  Key* key = start->key;
  for (const std::string& part : PathParts(path)) {
    const auto it = key->subkeys.find(Folded(part));
    if (it != key->subkeys.end()) {
      key = it->second.get();
    } else if (create && mayWrite) {
      key = AddSubkey(*key, part);
    } else {
      return {};
    }
  }
  const KeyHandle handle = next_handle_++;
  open_.emplace(handle, OpenedKey{key, start->root, access});
  return RegKey(*this, handle);
}

RegKey MemoryRegistry::CreateKey(KeyHandle parent, const std::string& path, KeyAccess access) {
  return Open(parent, path, true, access);
}

RegKey MemoryRegistry::OpenKey(KeyHandle parent, const std::string& path, KeyAccess access) {
  return Open(parent, path, false, access);
}

void MemoryRegistry::CloseKey(KeyHandle key) { open_.erase(key); }

QueryResult MemoryRegistry::QueryValue(KeyHandle key, const std::string& name,
                                       RegistryValue& value) {
  const std::optional<OpenedKey> opened = Find(key);
  if (!opened) return QueryResult::kMissing;
  const auto it = opened->key->values.find(Folded(name));
  if (it == opened->key->values.end()) return QueryResult::kMissing;
  if (unreadable_values_.count(Folded(name)) != 0) return QueryResult::kUnreadable;
  value = it->second.value;
  return QueryResult::kFound;
}

bool MemoryRegistry::SetTextValue(KeyHandle key, const std::string& name,
                                  const std::string& bytes) {
  const std::optional<OpenedKey> opened = FindWritable(key);
  if (!opened || unwritable_values_.count(Folded(name)) != 0) return false;
  Key::Value& stored = opened->key->values[Folded(name)];
  if (stored.name.empty()) stored.name = name;
  stored.value = RegistryValue{kRegSz, bytes};
  return true;
}

bool MemoryRegistry::DeleteValue(KeyHandle key, const std::string& name) {
  const std::optional<OpenedKey> opened = FindWritable(key);
  return opened && opened->key->values.erase(Folded(name)) != 0;
}

const MemoryRegistry::Key* MemoryRegistry::FindKeyPath(RegistryRoot root,
                                                       const std::string& path) const {
  const Key* key = root == RegistryRoot::kCurrentUser ? current_user_.get() : local_machine_.get();
  for (const std::string& part : PathParts(path)) {
    const auto it = key->subkeys.find(Folded(part));
    if (it == key->subkeys.end()) return nullptr;
    key = it->second.get();
  }
  return key;
}

bool MemoryRegistry::KeyExists(RegistryRoot root, const std::string& path) const {
  return FindKeyPath(root, path) != nullptr;
}

std::optional<RegistryValue> MemoryRegistry::GetValue(RegistryRoot root, const std::string& path,
                                                      const std::string& name) const {
  const Key* key = FindKeyPath(root, path);
  if (key == nullptr) return std::nullopt;
  const auto it = key->values.find(Folded(name));
  if (it == key->values.end()) return std::nullopt;
  return it->second.value;
}

void MemoryRegistry::PutValue(RegistryRoot root, const std::string& path, const std::string& name,
                              const RegistryValue& value) {
  Key::Value& stored = CreateKeyPath(root, path).values[Folded(name)];
  if (stored.name.empty()) stored.name = name;
  stored.value = value;
}

MemoryRegistry::Key* MemoryRegistry::AddSubkey(Key& parent, const std::string& name) {
  std::unique_ptr<Key>& child = parent.subkeys[Folded(name)];
  if (!child) {
    child = std::make_unique<Key>();
    child->name = name;
  }
  return child.get();
}

MemoryRegistry::Key& MemoryRegistry::CreateKeyPath(RegistryRoot root, const std::string& path) {
  Key* key = root == RegistryRoot::kCurrentUser ? current_user_.get() : local_machine_.get();
  for (const std::string& part : PathParts(path)) key = AddSubkey(*key, part);
  return *key;
}

void MemoryRegistry::DenyAccess(RegistryRoot root) { denied_roots_.insert(root); }

void MemoryRegistry::DenyWrites(RegistryRoot root) { read_only_roots_.insert(root); }

void MemoryRegistry::FailWritesOf(const std::string& valueName) {
  unwritable_values_.insert(Folded(valueName));
}

void MemoryRegistry::FailReadsOf(const std::string& valueName) {
  unreadable_values_.insert(Folded(valueName));
}

}  // namespace buzonix
