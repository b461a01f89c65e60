#include "controller/pop3.h"

namespace buzonix {

TBuzel::TBuzel(Pop3Unit& unit, FormPlatform& form, RegistryApi& registry,
               SocketPlatform& sockets, std::unique_ptr<TrayShell> tray_shell,
               DigestLibrary& digest_library)
    : TrayIcon1(std::move(tray_shell)),
      Sockets1(sockets),
      unit_(unit),
      form_(form),
      registry_(registry),
      digest_library_(digest_library),
      check_(Sockets1, unit.check, unit.settings, *this) {
  // The form's stored properties, in the order the form loads them.
  Sockets1.Aplicacion = kApplicationTitle;
  Sockets1.MaximumReceiveLength = 8192;
  Sockets1.IPAddr = "127.0.0.1";
  Sockets1.Port = "110";
  Sockets1.SetNonBlocking(false);
  Sockets1.OnErrorOccurred = [this](TSockets& sender, SocketHandle socket, int error,
                                    const std::string& msg) {
    check_.Sockets1ErrorOccurred(sender, socket, error, msg);
  };
  TrayIcon1.SetActive(true);
  TrayIcon1.SetToolTip("No hay Mensajes");
  TrayIcon1.OnClick = [this](TTrayIcon&) { TrayIcon1Click(); };
  form_.SetTimerEnabled(false);
  form_.SetTimerInterval(0);
}

TBuzel::~TBuzel() = default;

namespace {

// After a wake: the first check 5 s on, then every 10 s, four in all.
constexpr unsigned kResumeDelayMs = 5000;
constexpr unsigned kResumeRetryMs = 10000;
constexpr int kResumeTries = 4;

}  // namespace

void TBuzel::NoEnlazada() { form_.PlainMessage("Funcion no enlazada. Esta la DLL cargada?"); }

void TBuzel::FormCreate() {
  TrayIcon1.SetIcon(form_.Picture(TrayPicture::bandera0));
  Sockets1.MaximumReceiveLength = 255;
  library_loaded_ = digest_library_.Load();
  if (library_loaded_) {
    check_.SetDigest(digest_library_.Bind());
  } else {
    form_.PlainMessage("No se encuentra libreria APOP.DLL");
    form_.Terminate();
  }
  if (!check_.HasDigest()) NoEnlazada();
}

void TBuzel::FormShow() { LoadSettings(registry_, unit_.settings, *this); }

void TBuzel::FormDestroy() {
  CheckState& state = unit_.check;
  if (state.Chequeando) {
    check_.SendQuit();
    const bool timed_out = check_.CompruebaTiempo();
    if (timed_out || state.ErrorSocket != 0) form_.PlainMessage("El Servidor no Responde");
    Sockets1.Disconnect();
    state.Chequeando = false;
  }
  if (library_loaded_) {
    digest_library_.Release();
    library_loaded_ = false;
  }
}

void TBuzel::Timer1Timer() { check_.CheckMail(); }

void TBuzel::Resumed() {
  // Nothing to refresh where checks are not running (no settings yet, or a
  // refused password waiting for the dialog).
  if (!form_.TimerEnabled()) return;
  resume_tries_ = 0;
  form_.StartResumeTimer(kResumeDelayMs);
}

void TBuzel::ResumeTimerTimer() {
  ++resume_tries_;
  quiet_ = resume_tries_ < kResumeTries;
  failed_quietly_ = false;
  check_.CheckMail();
  quiet_ = false;
  if (failed_quietly_) form_.StartResumeTimer(kResumeRetryMs);
}

// A quiet check holds back every sign of its failure: boxes, and the error
// look of the tray, which would also keep the next failure from being told.
bool TBuzel::HeldBack(bool failure) {
  if (!quiet_ || !failure) return false;
  failed_quietly_ = true;
  return true;
}

void TBuzel::ErrorBox(const std::string& text) {
  if (!HeldBack(true)) form_.ErrorBox(text);
}

void TBuzel::PlainMessage(const std::string& text) {
  if (!HeldBack(true)) form_.PlainMessage(text);
}

void TBuzel::TrayIcon1Click() {
  if (unit_.check.NumMensajes > 0 && unit_.VentanasAbiertas == 0) {
    form_.CreateNotice();
    form_.SetNoticeCaption(MessagesCaption(unit_.check.NumMensajes));
    form_.ShowNotice();
  }
}

void TBuzel::ChequearCorreoAhora1Click() {
  if (!unit_.settings.Host.empty()) {
    check_.CheckMail();
  } else if (!ConfigDialogOpen()) {
    form_.OpenHelpTopic(kHelpConfiguracion);
    form_.CreateAndShowConfigDialog();
  }
}

void TBuzel::ConfiguracionClick() {
  if (!ConfigDialogOpen()) form_.CreateAndShowConfigDialog();
}

void TBuzel::Ayuda1Click() { form_.OpenHelpTopic(kHelpPrograma); }

void TBuzel::CerrarClick() { form_.Terminate(); }

void TBuzel::ShowNoMailTray() {
  TrayIcon1.SetIcon(form_.Picture(TrayPicture::bandera0));
  TrayIcon1.SetToolTip(kNoHayMensajes);
}

void TBuzel::SetTrayIcon(TrayPicture picture) {
  if (!HeldBack(picture == TrayPicture::Bandera2)) TrayIcon1.SetIcon(form_.Picture(picture));
}

void TBuzel::SetToolTip(const std::string& text) {
  if (!HeldBack(text == kErrorEnConexion)) TrayIcon1.SetToolTip(text);
}

std::string TBuzel::ToolTip() const { return TrayIcon1.ToolTip(); }

void TBuzel::ShowNotice(std::int32_t count) {
  if ((unit_.VentanasAbiertas & kNoticeWindowOpen) == 0) form_.CreateNotice();
  form_.SetNoticeCaption(MessagesCaption(count));
  form_.ShowNotice();
}

}  // namespace buzonix
