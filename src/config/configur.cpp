#include "config/configur.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>

#include "text/Cp1252.h"
#include "text/HelpTopics.h"
#include "text/Decimal.h"

namespace buzonix {

int SpinValue(const std::string& text) {
  std::string_view digits = text;
  while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
  return ParseInt32(digits, true).value_or(kMinFrecuencia);
}

std::optional<std::string> SpinTextOnExit(const std::string& text) {
  const int value = SpinValue(text);
  const int clamped = std::clamp(value, kMinFrecuencia, kMaxFrecuencia);
  if (clamped == value) return std::nullopt;
  return std::to_string(clamped);
}

bool SpinKeyAllowed(char key, char decimalSeparator) {
  if (key >= '0' && key <= '9') return true;
  if (key == '+' || key == '-' || key == decimalSeparator) return true;
  const auto code = static_cast<unsigned char>(key);
  return code < 32 && key != '\r';
}

unsigned IntervalForMinutes(int minutes) {
  const std::uint64_t product = static_cast<std::uint64_t>(minutes) * kMillisecondsPerMinute;
  return static_cast<unsigned>(std::min<std::uint64_t>(product, std::numeric_limits<std::uint32_t>::max()));
}

int OwnHelpContext(ConfControl control) {
  switch (control) {
    case ConfControl::PageControl1:
      return kHelpPaginas;
    case ConfControl::TabSheet1:
    case ConfControl::Panel1:
    case ConfControl::dHost:
    case ConfControl::dusuario:
    case ConfControl::dclave:
    case ConfControl::dfrecuencia:
    case ConfControl::BitBtn1:
    case ConfControl::BitBtn2:
    case ConfControl::dseguridad:
    case ConfControl::dpuerto:
    case ConfControl::dprotocolo:
    case ConfControl::dcarpeta:
    case ConfControl::dinicio:
    case ConfControl::bsesion:
    case ConfControl::dautorizacion:
    case ConfControl::dtoken:
    case ConfControl::dcliente:
    case ConfControl::dambito:
      return kHelpConfiguracion;
    case ConfControl::Button1:
      return kHelpPrograma;
    case ConfControl::Conf:
    case ConfControl::AnimaSobre:
    case ConfControl::CheckBox1:
    case ConfControl::CheckBox2:
    case ConfControl::TabSheet2:
      return 0;
  }
  return 0;
}

std::optional<ConfControl> ParentControl(ConfControl control) {
  switch (control) {
    case ConfControl::Conf:
      return std::nullopt;
    case ConfControl::PageControl1:
      return ConfControl::Conf;
    case ConfControl::TabSheet1:
    case ConfControl::TabSheet2:
      return ConfControl::PageControl1;
    case ConfControl::Panel1:
    case ConfControl::BitBtn1:
    case ConfControl::BitBtn2:
      return ConfControl::TabSheet1;
    case ConfControl::dHost:
    case ConfControl::dusuario:
    case ConfControl::dclave:
    case ConfControl::dfrecuencia:
    case ConfControl::AnimaSobre:
    case ConfControl::CheckBox1:
    case ConfControl::CheckBox2:
    case ConfControl::dseguridad:
    case ConfControl::dpuerto:
    case ConfControl::dprotocolo:
    case ConfControl::dcarpeta:
    case ConfControl::dinicio:
    case ConfControl::bsesion:
    case ConfControl::dautorizacion:
    case ConfControl::dtoken:
    case ConfControl::dcliente:
    case ConfControl::dambito:
      return ConfControl::Panel1;
    case ConfControl::Button1:
      return ConfControl::TabSheet2;
  }
  return std::nullopt;
}

int HelpContextFor(ConfControl focused) {
  for (std::optional<ConfControl> control = focused; control; control = ParentControl(*control)) {
    if (const int context = OwnHelpContext(*control); context != 0) return context;
  }
  return 0;
}

void TConfLogic::FormCreate() {
  unit_.VentanasAbiertas |= kConfigDialogOpen;
  const Settings& settings = unit_.settings;
  view_.SetHostText(settings.Host);
  view_.SetUserText(settings.Usuario);
  view_.SetPasswordText(settings.Clave);
  shown_mode_ = SecurityModeOf(settings.Seguridad);
  view_.SetSecurityText(SecurityText(shown_mode_));
  shown_protocol_ = MailProtocolOf(settings.Protocolo);
  view_.SetProtocolText(ProtocolText(shown_protocol_));
  view_.SetFolderText(settings.Carpeta);
  view_.SetFolderEnabled(shown_protocol_ == MailProtocol::kImap);
  view_.SetPortText(settings.Puerto);
  ShowStoredSignIn();
  const OrFailure<int> minutes = FrequencyMinutes(settings.Frecuencia);
  if (minutes.Failed()) {
    // The framework reports an error of the creation handler and goes on
    // creating the form: the steps after this one do not run.
    host_.ShowError(minutes.Why().message);
    return;
  }
  view_.SetSpinText(std::to_string(std::clamp(minutes.Value(), kMinFrecuencia, kMaxFrecuencia)));
  view_.SetTitle(kTituloPrefijo + settings.NumeroVersion);
  view_.SetChecked(ConfCheck::CheckBox1, settings.EjecutarSiempre);
  view_.SetChecked(ConfCheck::CheckBox2, settings.Sonido == "Beep");
  view_.SetChecked(ConfCheck::AnimaSobre, settings.Animacion == "Si");
}

namespace {

// The settings are kept in Windows-1252: a typed character it cannot hold
// would be stored garbled, so the accept stops at the first field holding one.
bool FieldsFitWestern(ConfView& view) {
  const std::pair<ConfControl, std::string_view> fields[] = {
      {ConfControl::dHost, kEtiquetaServidor},
      {ConfControl::dusuario, kEtiquetaUsuario},
      {ConfControl::dclave, kEtiquetaClave},
      {ConfControl::dcarpeta, kEtiquetaCarpeta},
      {ConfControl::dautorizacion, kEtiquetaAutorizacion},
      {ConfControl::dtoken, kEtiquetaToken},
      {ConfControl::dcliente, kEtiquetaCliente},
      {ConfControl::dambito, kEtiquetaAmbito}};
  for (const auto& [control, label] : fields) {
    if (view.FieldFitsWestern(control)) continue;
    // The field is named by its label, without the colon.
    view.ShowStop(kCampoNoGuardablePrefijo + std::string(label.substr(0, label.size() - 1)) +
                  kCampoNoGuardableResto);
    view.SelectField(control);
    return false;
  }
  return true;
}

// A field's name in a message: its label without the colon.
std::string FieldName(std::string_view label) { return std::string(label.substr(0, label.size() - 1)); }

// "Otro proveedor" needs both endpoints, where a code or token may go, and a
// client id; the scope may be empty for servers that have a default.
bool ProviderFieldsUsable(ConfView& view) {
  const std::pair<ConfControl, std::string_view> endpoints[] = {
      {ConfControl::dautorizacion, kEtiquetaAutorizacion}, {ConfControl::dtoken, kEtiquetaToken}};
  for (const auto& [control, label] : endpoints) {
    if (EndpointAllowed(view.ProviderFieldText(control))) continue;
    view.ShowStop(kCampoNoGuardablePrefijo + FieldName(label) + kDireccionNoValidaResto);
    view.SelectField(control);
    return false;
  }
  if (view.ProviderFieldText(ConfControl::dcliente).empty()) {
    view.ShowStop(kCampoNoGuardablePrefijo + FieldName(kEtiquetaCliente) + kCampoVacioResto);
    view.SelectField(ConfControl::dcliente);
    return false;
  }
  return true;
}

// The settings as the dialog shows them, for where a sign-in goes.
Settings WithShownProvider(const Settings& stored, ConfView& view) {
  Settings settings = stored;
  settings.Autenticacion = SignInText(SignInMethodOf(view.SignInText()));
  settings.OAuthUrlAutorizacion = view.ProviderFieldText(ConfControl::dautorizacion);
  settings.OAuthUrlToken = view.ProviderFieldText(ConfControl::dtoken);
  settings.OAuthCliente = view.ProviderFieldText(ConfControl::dcliente);
  settings.OAuthAmbito = view.ProviderFieldText(ConfControl::dambito);
  return settings;
}

}  // namespace

void TConfLogic::ShowStoredSignIn() {
  const Settings& settings = unit_.settings;
  const std::vector<SignInMethod> offered = OfferedSignIns(host_.Registrations());
  std::vector<std::string> choices;
  for (SignInMethod method : offered) choices.emplace_back(SignInText(method));
  view_.SetSignInChoices(choices);
  shown_sign_in_ = SignInMethodOf(settings.Autenticacion);
  // A provider this build has no registration for shows as a password.
  if (std::find(offered.begin(), offered.end(), shown_sign_in_) == offered.end())
    shown_sign_in_ = SignInMethod::kContrasena;
  view_.SetSignInText(SignInText(shown_sign_in_));
  view_.SetProviderFieldText(ConfControl::dautorizacion, settings.OAuthUrlAutorizacion);
  view_.SetProviderFieldText(ConfControl::dtoken, settings.OAuthUrlToken);
  view_.SetProviderFieldText(ConfControl::dcliente, settings.OAuthCliente);
  view_.SetProviderFieldText(ConfControl::dambito, settings.OAuthAmbito);
  ShowSignInState();
}

// A sign-in stored earlier still serves when the provider shown is the one
// it was made with.
bool TConfLogic::StoredSignInServes() const {
  const Settings& settings = unit_.settings;
  return !settings.OAuthRefresco.empty() && SignInMethodOf(settings.Autenticacion) == shown_sign_in_;
}

void TConfLogic::ShowSignInState() {
  const bool provider = shown_sign_in_ != SignInMethod::kContrasena;
  view_.SetPasswordShown(!provider);
  view_.SetProviderFieldsVisible(shown_sign_in_ == SignInMethod::kOtroProveedor);
  view_.SetSignInButtonText(signing_in_ ? kBotonCancelarInicio : kBotonIniciarSesion);
  std::string status = kSinSesion;
  if (signing_in_) {
    status = kEsperandoNavegador;
  } else if (signed_in_ || StoredSignInServes()) {
    const std::string& account = signed_in_ ? signed_in_->account : unit_.settings.OAuthCuenta;
    status = account.empty() ? std::string(kSesionIniciadaSinCuenta)
                             : kSesionIniciadaPrefijo + Cp1252FromUtf8(account);
    if (!host_.KeepsRefreshToken()) status += std::string(". ") + kSesionSoloEstaVez;
  }
  view_.SetSignInStatus(provider ? status : std::string());
}

void TConfLogic::SignInChange() {
  const SignInMethod method = SignInMethodOf(view_.SignInText());
  if (method == shown_sign_in_) return;
  StopSigningIn();
  // A sign-in belongs to the provider it was made with.
  signed_in_.reset();
  if (const auto preset = PresetFor(method, MailProtocolOf(view_.ProtocolText()))) {
    view_.SetHostText(preset->host);
    view_.SetSecurityText(SecurityText(preset->mode));
    view_.SetPortText(std::to_string(preset->port));
    shown_mode_ = preset->mode;
  }
  shown_sign_in_ = method;
  ShowSignInState();
}

void TConfLogic::SignInButtonClick() {
  if (signing_in_) {
    StopSigningIn();
    ShowSignInState();
    return;
  }
  if (shown_sign_in_ == SignInMethod::kOtroProveedor && !ProviderFieldsUsable(view_)) return;
  const auto endpoints = EndpointsFor(WithShownProvider(unit_.settings, view_), host_.Registrations());
  if (!endpoints) return;
  signing_in_ = true;
  ShowSignInState();
  host_.StartSignIn(*endpoints, Cp1252ToUtf8(view_.UserText()),
                    [this](const SignInResult& result) { SignInFinished(result); });
}

void TConfLogic::StopSigningIn() {
  if (!signing_in_) return;
  signing_in_ = false;
  host_.CancelSignIn();
}

void TConfLogic::SignInFinished(const SignInResult& result) {
  signing_in_ = false;
  if (result.kind == SignInResult::Kind::kSignedIn) {
    signed_in_ = result;
    if (!result.account.empty()) view_.SetUserText(Cp1252FromUtf8(result.account));
  } else if (const std::string message = SignInMessage(result); !message.empty()) {
    view_.ShowStop(message);
  }
  ShowSignInState();
}

// The accept's checks of a provider's sign-in: a secure connection, usable
// fields for "Otro proveedor", and a sign-in made or stored.
bool TConfLogic::ProviderAcceptable() {
  if (shown_sign_in_ == SignInMethod::kContrasena) return true;
  if (SecurityModeOf(view_.SecurityText()) == SecurityMode::kNinguna) {
    view_.ShowStop(kInicioExigeSeguridad);
    return false;
  }
  if (shown_sign_in_ == SignInMethod::kOtroProveedor && !ProviderFieldsUsable(view_)) return false;
  if (!signed_in_ && !StoredSignInServes()) {
    view_.ShowStop(kInicioPendiente);
    return false;
  }
  return true;
}

void TConfLogic::TakeSignIn(Settings& settings) {
  const Settings shown = WithShownProvider(settings, view_);
  settings.Autenticacion = shown.Autenticacion;
  settings.OAuthUrlAutorizacion = shown.OAuthUrlAutorizacion;
  settings.OAuthUrlToken = shown.OAuthUrlToken;
  settings.OAuthCliente = shown.OAuthCliente;
  settings.OAuthAmbito = shown.OAuthAmbito;
  if (shown_sign_in_ == SignInMethod::kContrasena) {
    // No token is kept that nothing uses.
    settings.OAuthRefresco.clear();
    settings.OAuthCuenta.clear();
  } else if (signed_in_) {
    settings.OAuthRefresco = signed_in_->refresh_token;
    settings.OAuthCuenta = signed_in_->account;
  }
}

void TConfLogic::BitBtn1Click() {
  if (!FieldsFitWestern(view_)) return;
  // A port that is no port changes nothing and keeps the dialog open.
  const std::optional<std::uint16_t> port = ParsePort(view_.PortText());
  if (!port) {
    host_.ShowError(kPuertoNoValido);
    return;
  }
  if (!ProviderAcceptable()) return;
  StopSigningIn();
  Settings& settings = unit_.settings;
  TakeSignIn(settings);
  settings.Seguridad = SecurityText(SecurityModeOf(view_.SecurityText()));
  settings.Puerto = std::to_string(*port);
  settings.Protocolo = ProtocolText(MailProtocolOf(view_.ProtocolText()));
  // The stores read an empty folder as the default one: the session does too.
  settings.Carpeta = view_.FolderText().empty() ? kCarpetaPorDefecto : view_.FolderText();
  settings.Host = view_.HostText();
  settings.Usuario = view_.UserText();
  settings.Clave = view_.PasswordText();
  settings.EjecutarSiempre = view_.Checked(ConfCheck::CheckBox1);
  settings.Sonido = view_.Checked(ConfCheck::CheckBox2) ? "Beep" : "";
  settings.Animacion = view_.Checked(ConfCheck::AnimaSobre) ? "Si" : "No";
  const int minutes = SpinValue(view_.SpinText());
  if (minutes > 0) {
    host_.SetTimerInterval(IntervalForMinutes(minutes));
    settings.Frecuencia = std::to_string(minutes);
  }
  if (settings.Host.empty() || settings.Usuario.empty() || host_.TimerInterval() == 0) {
    host_.SetTimerEnabled(false);
    return;
  }
  if (auto failure = host_.Save(settings)) {
    // Shown as the framework shows an error that ends a handler; the dialog
    // stays open with its bit set.
    host_.ShowError(failure->message);
    return;
  }
  if (signed_in_) host_.UseAccessToken(signed_in_->access_token, signed_in_->expires_in);
  host_.SetTimerEnabled(true);
  if (host_.ToolTip() == kErrorEnConexion) host_.ResetTray();
  unit_.VentanasAbiertas &= static_cast<std::uint8_t>(~kConfigDialogOpen);
  view_.Release();
}

void TConfLogic::BitBtn2Click() { CloseWithoutSaving(); }
void TConfLogic::Button1Click() { CloseWithoutSaving(); }
void TConfLogic::FormClose() { CloseWithoutSaving(); }

void TConfLogic::CloseWithoutSaving() {
  StopSigningIn();
  unit_.VentanasAbiertas &= static_cast<std::uint8_t>(~kConfigDialogOpen);
  view_.Release();
}

void TConfLogic::HelpKey(ConfControl focused) {
  if (const int context = HelpContextFor(focused); context != 0) host_.OpenHelpTopic(context);
}

void TConfLogic::SecurityChange() { ConnectionChoiceChange(); }
void TConfLogic::ProtocolChange() { ConnectionChoiceChange(); }

void TConfLogic::ConnectionChoiceChange() {
  const SecurityMode mode = SecurityModeOf(view_.SecurityText());
  const MailProtocol protocol = MailProtocolOf(view_.ProtocolText());
  if (ParsePort(view_.PortText()) == DefaultPort(shown_protocol_, shown_mode_))
    view_.SetPortText(std::to_string(DefaultPort(protocol, mode)));
  view_.SetFolderEnabled(protocol == MailProtocol::kImap);
  // A provider's published server follows the protocol (Google's differ).
  const auto old_preset = PresetFor(shown_sign_in_, shown_protocol_);
  const auto new_preset = PresetFor(shown_sign_in_, protocol);
  if (old_preset && new_preset && view_.HostText() == old_preset->host) view_.SetHostText(new_preset->host);
  shown_mode_ = mode;
  shown_protocol_ = protocol;
}

void TConfLogic::SpinExit() {
  if (const auto text = SpinTextOnExit(view_.SpinText())) view_.SetSpinText(*text);
}

}  // namespace buzonix
