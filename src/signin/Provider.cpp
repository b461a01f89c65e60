#include "signin/Provider.h"

#include <algorithm>
#include <cctype>

namespace buzonix {
namespace {

constexpr char kMicrosoftAuthorize[] = "https://login.microsoftonline.com/common/oauth2/v2.0/authorize";
constexpr char kMicrosoftToken[] = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
constexpr char kMicrosoftScope[] =
    "offline_access openid email https://outlook.office.com/IMAP.AccessAsUser.All "
    "https://outlook.office.com/POP.AccessAsUser.All";
constexpr char kGoogleAuthorize[] = "https://accounts.google.com/o/oauth2/v2/auth";
constexpr char kGoogleToken[] = "https://oauth2.googleapis.com/token";
constexpr char kGoogleScope[] = "openid email https://mail.google.com/";
// Without these Google hands out no refresh token after a first consent.
constexpr char kGoogleExtra[] = "access_type=offline&prompt=consent";

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  std::size_t i = 0;
  for (; prefix[i] != '\0'; ++i)
    if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

bool HostNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-';
}

bool SplitHostPort(const std::string& authority, UrlParts& parts) {
  std::string port_text;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    parts.host = authority.substr(1, close - 1);
    for (char c : parts.host)
      if (std::isxdigit(static_cast<unsigned char>(c)) == 0 && c != ':' && c != '.') return false;
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') return false;
      port_text = authority.substr(close + 2);
      if (port_text.empty()) return false;
    }
  } else {
    const std::size_t colon = authority.find(':');
    parts.host = authority.substr(0, colon);
    for (char c : parts.host)
      if (!HostNameChar(c)) return false;
    if (colon != std::string::npos) {
      port_text = authority.substr(colon + 1);
      if (port_text.empty()) return false;
    }
  }
  if (parts.host.empty()) return false;
  if (port_text.empty()) return true;
  const auto port = ParsePort(port_text);
  if (!port) return false;
  parts.port = *port;
  return true;
}

bool IsLoopbackHost(const std::string& host) {
  if (host == "::1" || host == "localhost") return true;
  // 127.0.0.0/8, written as a dotted quad. Anything else shaped like one
  // ("127.0.0.999") is no address, so the resolver would look it up as a name.
  if (host.rfind("127.", 0) != 0) return false;
  int octets = 0;
  std::size_t at = 0;
  while (at <= host.size()) {
    const std::size_t dot = std::min(host.find('.', at), host.size());
    const std::string octet = host.substr(at, dot - at);
    if (octet.empty() || octet.size() > 3) return false;
    for (char c : octet)
      if (std::isdigit(static_cast<unsigned char>(c)) == 0) return false;
    if (std::stoi(octet) > 255) return false;
    ++octets;
    at = dot + 1;
  }
  return octets == 4;
}

ProviderEndpoints Registered(const ProviderRegistration& registration, const char* authorize,
                             const char* token, const char* scope, const char* extra) {
  return {authorize, token, registration.client_id, registration.client_secret, scope, extra};
}

}  // namespace

const ProviderRegistrations& BuiltInRegistrations() {
  static const ProviderRegistrations registrations{
      {BUZONIX_MICROSOFT_CLIENT_ID, ""},
      {BUZONIX_GOOGLE_CLIENT_ID, BUZONIX_GOOGLE_CLIENT_SECRET},
  };
  return registrations;
}

std::vector<SignInMethod> OfferedSignIns(const ProviderRegistrations& registrations) {
  std::vector<SignInMethod> offered{SignInMethod::kContrasena};
  if (registrations.microsoft.Registered()) offered.push_back(SignInMethod::kMicrosoft);
  if (registrations.google.Registered()) offered.push_back(SignInMethod::kGoogle);
  offered.push_back(SignInMethod::kOtroProveedor);
  return offered;
}

std::optional<ProviderEndpoints> EndpointsFor(const Settings& settings,
                                              const ProviderRegistrations& registrations) {
  switch (SignInMethodOf(settings.Autenticacion)) {
    case SignInMethod::kContrasena:
      return std::nullopt;
    case SignInMethod::kMicrosoft:
      if (!registrations.microsoft.Registered()) return std::nullopt;
      return Registered(registrations.microsoft, kMicrosoftAuthorize, kMicrosoftToken,
                        kMicrosoftScope, "");
    case SignInMethod::kGoogle:
      if (!registrations.google.Registered()) return std::nullopt;
      return Registered(registrations.google, kGoogleAuthorize, kGoogleToken, kGoogleScope,
                        kGoogleExtra);
    case SignInMethod::kOtroProveedor:
      return ProviderEndpoints{settings.OAuthUrlAutorizacion, settings.OAuthUrlToken,
                               settings.OAuthCliente, "", settings.OAuthAmbito, ""};
  }
  return std::nullopt;
}

std::optional<MailServerPreset> PresetFor(SignInMethod method, MailProtocol protocol) {
  const bool imap = protocol == MailProtocol::kImap;
  switch (method) {
    case SignInMethod::kMicrosoft:
      return MailServerPreset{"outlook.office365.com", imap ? std::uint16_t{993} : std::uint16_t{995},
                              SecurityMode::kSslTls};
    case SignInMethod::kGoogle:
      return MailServerPreset{imap ? "imap.gmail.com" : "pop.gmail.com",
                              imap ? std::uint16_t{993} : std::uint16_t{995}, SecurityMode::kSslTls};
    default:
      return std::nullopt;
  }
}

std::optional<UrlParts> SplitUrl(const std::string& url) {
  UrlParts parts;
  std::size_t rest = 0;
  if (StartsWithNoCase(url, "https://")) {
    parts.https = true;
    rest = 8;
  } else if (StartsWithNoCase(url, "http://")) {
    rest = 7;
  } else {
    return std::nullopt;
  }
  if (url.find('#') != std::string::npos) return std::nullopt;
  for (char c : url)
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) return std::nullopt;
  const std::size_t end = url.find_first_of("/?", rest);
  const std::string authority = url.substr(rest, end == std::string::npos ? std::string::npos : end - rest);
  if (authority.find('@') != std::string::npos) return std::nullopt;
  if (!SplitHostPort(authority, parts)) return std::nullopt;
  if (parts.port == 0) parts.port = parts.https ? 443 : 80;
  parts.path_and_query = end == std::string::npos ? "/" : url.substr(end);
  if (parts.path_and_query.front() == '?') parts.path_and_query = "/" + parts.path_and_query;
  return parts;
}

bool EndpointAllowed(const std::string& url) {
  const auto parts = SplitUrl(url);
  if (!parts) return false;
  return parts->https || IsLoopbackHost(parts->host);
}

}  // namespace buzonix
