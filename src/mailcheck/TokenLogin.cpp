#include "mailcheck/TokenLogin.h"

#include "network/TlsChannel.h"
#include "state/Connection.h"
#include "text/Texts.h"

namespace buzonix {
namespace {

// The once-only rule: a message shows when the tooltip does not say it yet.
void ShowOnce(CheckHost& host, const char* tooltip, const std::string& message, bool plain) {
  if (host.ToolTip() != tooltip) {
    host.SetToolTip(tooltip);
    if (plain)
      host.PlainMessage(message);
    else
      host.ErrorBox(message);
  }
  host.SetTrayIcon(TrayPicture::Bandera2);
}

}  // namespace

bool SignsInWithProvider(const Settings& settings) {
  return SignInMethodOf(settings.Autenticacion) != SignInMethod::kContrasena;
}

std::optional<std::string> TokenForLogin(AccessTokens* tokens, const Settings& settings,
                                         CheckHost& host, bool renew) {
  if (SecurityModeOf(settings.Seguridad) == SecurityMode::kNinguna) {
    ShowOnce(host, kErrorEnConexion, kInicioExigeSeguridad, true);
    return std::nullopt;
  }
  AccessToken token;
  if (tokens != nullptr) token = tokens->Fresh(renew);
  switch (token.result) {
    case AccessToken::Result::kReady:
      return token.token;
    case AccessToken::Result::kUnreachable:
      ShowOnce(host, kErrorEnConexion, kInicioSinConexion, false);
      break;
    case AccessToken::Result::kBadCertificate:
      ShowOnce(host, kErrorEnConexion, TlsFailureText(token.failure, token.server), false);
      break;
    case AccessToken::Result::kSignInEnded:
    case AccessToken::Result::kNotConfigured:
      ShowOnce(host, kTooltipSesionCaducada, kSesionCaducada, true);
      break;
  }
  return std::nullopt;
}

void ReportProviderRefusal(CheckHost& host) {
  ShowOnce(host, kTooltipProveedorRechazado, kProveedorRechazado, true);
}

}  // namespace buzonix
