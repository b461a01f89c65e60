// A sealer for the tests: reversible, keyed by its entropy, and refusing what
// another entropy sealed or what was damaged, as DPAPI does.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/SecretSealer.h"

namespace buzonix::testing {

class TestSealer final : public SecretSealer {
 public:
  explicit TestSealer(std::string entropy = "buzonix-prueba") : entropy_(std::move(entropy)) {}
  std::optional<std::string> Seal(std::string_view plain) override {
    return entropy_ + ":" + Scrambled(plain);
  }
  std::optional<std::string> Unseal(std::string_view sealed) override {
    const std::string prefix = entropy_ + ":";
    if (sealed.substr(0, prefix.size()) != prefix) return std::nullopt;
    return Scrambled(sealed.substr(prefix.size()));
  }

 private:
  std::string Scrambled(std::string_view bytes) const {
    std::string out(bytes);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char>(out[i] ^ entropy_[i % entropy_.size()]);
    return out;
  }
  std::string entropy_;
};

}  // namespace buzonix::testing
