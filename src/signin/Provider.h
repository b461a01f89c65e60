// The providers a user can sign in with, what each one publishes (endpoints,
// scopes, mail servers), and the program's own registration with each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/Connection.h"
#include "state/unit.h"

namespace buzonix {

// The project's registration with one provider: build-time values (CMake
// cache variables). An installed program cannot keep a secret, so Google's
// "client secret" for desktop clients is no secret either.
struct ProviderRegistration {
  std::string client_id;
  std::string client_secret;
  bool Registered() const { return !client_id.empty(); }
};
struct ProviderRegistrations {
  ProviderRegistration microsoft;
  ProviderRegistration google;
};
// The ones this build was made with.
const ProviderRegistrations& BuiltInRegistrations();

// The "Inicio de sesión" choices this build offers, in the dialog's order: a
// provider the build has no registration for is not offered at all.
std::vector<SignInMethod> OfferedSignIns(const ProviderRegistrations& registrations);

// Where a sign-in goes: the endpoints and the client, the scope asked for.
struct ProviderEndpoints {
  std::string authorization_url;
  std::string token_url;
  std::string client_id;
  std::string client_secret;  // empty for a public client
  std::string scope;          // space-separated; carries "openid email"
  std::string extra_query;    // what this provider needs besides, already form-escaped
};
// The endpoints of the configured method ("Otro proveedor" reads them from
// the settings); nullopt for passwords, or a provider this build has no
// registration for.
std::optional<ProviderEndpoints> EndpointsFor(const Settings& settings,
                                              const ProviderRegistrations& registrations);

// The mail server a provider publishes for a protocol; nullopt for
// "Contraseña" and "Otro proveedor".
struct MailServerPreset {
  std::string host;
  std::uint16_t port = 0;
  SecurityMode mode = SecurityMode::kSslTls;
};
std::optional<MailServerPreset> PresetFor(SignInMethod method, MailProtocol protocol);

// An endpoint the program may send a code or a token to: https, or http to a
// loopback address (local identity servers, tests). Host and port must be
// there; no user information, no fragment.
bool EndpointAllowed(const std::string& url);

// The parts of an http or https URL the transports need.
struct UrlParts {
  bool https = false;
  std::string host;  // without brackets for IPv6 literals
  std::uint16_t port = 0;
  std::string path_and_query;  // "/" at least
};
std::optional<UrlParts> SplitUrl(const std::string& url);

}  // namespace buzonix
