#include "config/configur.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>

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
  try {
    const int minutes = FrequencyMinutes(settings.Frecuencia);
    view_.SetSpinText(std::to_string(std::clamp(minutes, kMinFrecuencia, kMaxFrecuencia)));
  } catch (const EConvertError& error) {
    // The framework reports an error of the creation handler and goes on
    // creating the form: the steps after this one do not run.
    host_.ShowError(error.message);
    return;
  }
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
      {ConfControl::dcarpeta, kEtiquetaCarpeta}};
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

}  // namespace

void TConfLogic::BitBtn1Click() {
  if (!FieldsFitWestern(view_)) return;
  // A port that is no port changes nothing and keeps the dialog open.
  const std::optional<std::uint16_t> port = ParsePort(view_.PortText());
  if (!port) {
    host_.ShowError(kPuertoNoValido);
    return;
  }
  Settings& settings = unit_.settings;
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
  try {
    host_.Save(settings);
  } catch (const ERegistryException& error) {
    // Shown as the framework shows an error that ends a handler; the dialog
    // stays open with its bit set.
    host_.ShowError(error.message);
    return;
  }
  host_.SetTimerEnabled(true);
  if (host_.ToolTip() == kErrorEnConexion) host_.ResetTray();
  unit_.VentanasAbiertas &= static_cast<std::uint8_t>(~kConfigDialogOpen);
  view_.Release();
}

void TConfLogic::BitBtn2Click() { CloseWithoutSaving(); }
void TConfLogic::Button1Click() { CloseWithoutSaving(); }
void TConfLogic::FormClose() { CloseWithoutSaving(); }

void TConfLogic::CloseWithoutSaving() {
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
  shown_mode_ = mode;
  shown_protocol_ = protocol;
}

void TConfLogic::SpinExit() {
  if (const auto text = SpinTextOnExit(view_.SpinText())) view_.SetSpinText(*text);
}

}  // namespace buzonix
