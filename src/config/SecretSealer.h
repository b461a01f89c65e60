// Seals secrets for the current user before they reach the store (DPAPI on
// Windows, with the program's own entropy); the tests give their own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace buzonix {

class SecretSealer {
 public:
  // The sealed bytes; nullopt when sealing failed.
  virtual std::optional<std::string> Seal(std::string_view plain) = 0;
  // The plain bytes; nullopt for damaged data, another user's, or data sealed
  // with another entropy.
  virtual std::optional<std::string> Unseal(std::string_view sealed) = 0;

 protected:
  ~SecretSealer() = default;
};

}  // namespace buzonix
