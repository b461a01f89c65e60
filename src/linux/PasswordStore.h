// Where the Linux program keeps the password: the desktop's Secret Service
// (through qtkeychain), never the settings file. Only when there is no Secret
// Service on the session bus, and the user says so, does it go to the file,
// scrambled as the Windows program keeps it in the registry.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace buzonix {

class PasswordStore {
 public:
  virtual ~PasswordStore() = default;
  // Whether a Secret Service answers (or can be started) on the session bus.
  virtual bool Available() = 0;
  // The stored password, empty when none is stored; nullopt when the
  // service could not be read (locked, refused, a D-Bus error).
  virtual std::optional<std::string> Read() = 0;
  // false, with the service's message in `error`, when it could not be stored.
  virtual bool Write(const std::string& password, std::string& error) = 0;
  virtual void Remove() = 0;
};

// The Secret Service through qtkeychain; every call waits for its answer in a
// nested event loop, so the program goes on answering meanwhile. Each secret
// is an item of its own: the password, the provider's refresh token.
class KeyringPasswordStore final : public PasswordStore {
 public:
  static constexpr char kPasswordItem[] = "clave";
  static constexpr char kRefreshTokenItem[] = "refresco";
  // The password is kept as text, as earlier versions stored it; the refresh
  // token as the very bytes the provider gave.
  explicit KeyringPasswordStore(const char* item = kPasswordItem)
      : item_(item), as_bytes_(std::string_view(item) != kPasswordItem) {}
  bool Available() override;
  std::optional<std::string> Read() override;
  bool Write(const std::string& password, std::string& error) override;
  void Remove() override;

 private:
  const char* item_;
  bool as_bytes_;
};

}  // namespace buzonix
