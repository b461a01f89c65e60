#include "state/Connection.h"

#include "text/Decimal.h"

namespace buzonix {

SecurityMode SecurityModeOf(const std::string& seguridad) {
  if (seguridad == kSeguridadStarttls) return SecurityMode::kStarttls;
  if (seguridad == kSeguridadSslTls) return SecurityMode::kSslTls;
  return SecurityMode::kNinguna;
}

const char* SecurityText(SecurityMode mode) {
  switch (mode) {
    case SecurityMode::kStarttls: return kSeguridadStarttls;
    case SecurityMode::kSslTls: return kSeguridadSslTls;
    case SecurityMode::kNinguna: break;
  }
  return kSeguridadNinguna;
}

std::uint16_t DefaultPort(SecurityMode mode) { return mode == SecurityMode::kSslTls ? 995 : 110; }

std::optional<std::uint16_t> ParsePort(const std::string& text) {
  // Digits only: no sign, as the setting is typed.
  if (text.empty() || text.size() > 5 || text[0] < '0' || text[0] > '9') return std::nullopt;
  const auto value = ParseInt32(text);
  if (!value || *value < 1 || *value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

std::uint16_t PortOf(const Settings& settings) {
  return ParsePort(settings.Puerto).value_or(DefaultPort(SecurityModeOf(settings.Seguridad)));
}

}  // namespace buzonix
