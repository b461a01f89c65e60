// How the connection to the server is secured, and the port it goes to: read
// by the check, offered by the dialog, stored by the settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "state/unit.h"

namespace buzonix {

enum class SecurityMode { kNinguna, kStarttls, kSslTls };
inline constexpr char kSeguridadNinguna[] = "Ninguna";
inline constexpr char kSeguridadStarttls[] = "STARTTLS";
inline constexpr char kSeguridadSslTls[] = "SSL/TLS";
// The order both dialogs list them in.
inline constexpr SecurityMode kSecurityChoices[] = {SecurityMode::kSslTls, SecurityMode::kStarttls,
                                                    SecurityMode::kNinguna};

// Which protocol the mailbox is read with.
enum class MailProtocol { kPop3, kImap };
inline constexpr char kProtocoloPop3[] = "POP3";
inline constexpr char kProtocoloImap[] = "IMAP";
// The order the dialogs list them in.
inline constexpr MailProtocol kProtocolChoices[] = {MailProtocol::kPop3, MailProtocol::kImap};
// The folder an IMAP check watches when none is stored.
inline constexpr char kCarpetaPorDefecto[] = "INBOX";

// How the user logs in: a password, or a provider's sign-in (OAuth 2.0).
enum class SignInMethod { kContrasena, kMicrosoft, kGoogle, kOtroProveedor };
inline constexpr char kAutenticacionContrasena[] = "Contrase\xF1" "a";
inline constexpr char kAutenticacionMicrosoft[] = "Microsoft";
inline constexpr char kAutenticacionGoogle[] = "Google";
inline constexpr char kAutenticacionOtro[] = "Otro proveedor";
// The method a stored text names; anything else (a store of an earlier
// version has none) is a password.
SignInMethod SignInMethodOf(const std::string& autenticacion);
const char* SignInText(SignInMethod method);

// The protocol a stored text names; anything else (a store of an earlier
// version has none) is POP3.
MailProtocol MailProtocolOf(const std::string& protocolo);
const char* ProtocolText(MailProtocol protocol);

// The mode a stored text names; anything else is plain POP3, as before the
// setting existed.
SecurityMode SecurityModeOf(const std::string& seguridad);
const char* SecurityText(SecurityMode mode);
// POP3: 995 for TLS from the first byte, 110 otherwise; IMAP: 993 and 143.
std::uint16_t DefaultPort(MailProtocol protocol, SecurityMode mode);
// A port written as decimal digits alone, 1 to 65535.
std::optional<std::uint16_t> ParsePort(const std::string& text);
// The port to connect to: Puerto, or the default of the protocol and mode
// when it is no port.
std::uint16_t PortOf(const Settings& settings);

}  // namespace buzonix
