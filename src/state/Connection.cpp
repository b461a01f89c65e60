#include "state/Connection.h"

#include "text/Decimal.h"

namespace buzonix {

MailProtocol MailProtocolOf(const std::string& protocolo) {
  return protocolo == kProtocoloImap ? MailProtocol::kImap : MailProtocol::kPop3;
}

const char* ProtocolText(MailProtocol protocol) {
  return protocol == MailProtocol::kImap ? kProtocoloImap : kProtocoloPop3;
}

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

std::uint16_t DefaultPort(MailProtocol protocol, SecurityMode mode) {
  const bool implicit_tls = mode == SecurityMode::kSslTls;
  if (protocol == MailProtocol::kImap) return implicit_tls ? 993 : 143;
  return implicit_tls ? 995 : 110;
}

std::optional<std::uint16_t> ParsePort(const std::string& text) {
  // Digits only: no sign, as the setting is typed.
  if (text.empty() || text.size() > 5 || text[0] < '0' || text[0] > '9') return std::nullopt;
  const auto value = ParseInt32(text);
  if (!value || *value < 1 || *value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

std::uint16_t PortOf(const Settings& settings) {
  return ParsePort(settings.Puerto)
      .value_or(DefaultPort(MailProtocolOf(settings.Protocolo), SecurityModeOf(settings.Seguridad)));
}

SignInMethod SignInMethodOf(const std::string& autenticacion) {
  if (autenticacion == kAutenticacionMicrosoft) return SignInMethod::kMicrosoft;
  if (autenticacion == kAutenticacionGoogle) return SignInMethod::kGoogle;
  if (autenticacion == kAutenticacionOtro) return SignInMethod::kOtroProveedor;
  return SignInMethod::kContrasena;
}

const char* SignInText(SignInMethod method) {
  switch (method) {
    case SignInMethod::kMicrosoft: return kAutenticacionMicrosoft;
    case SignInMethod::kGoogle: return kAutenticacionGoogle;
    case SignInMethod::kOtroProveedor: return kAutenticacionOtro;
    default: return kAutenticacionContrasena;
  }
}

}  // namespace buzonix
