// DPAPI for the refresh token: sealed for the current user and with the
// program's own entropy, so that another program of the same user cannot
// unseal it by asking DPAPI alone. crypt32 is loaded on the first seal.
#pragma once

#include "config/SecretSealer.h"

namespace buzonix {

class DpapiSealer final : public SecretSealer {
 public:
  std::optional<std::string> Seal(std::string_view plain) override;
  std::optional<std::string> Unseal(std::string_view sealed) override;
};

}  // namespace buzonix
