#include "controller/pop3.h"

#include <vector>


namespace buzonix {
namespace {

// After a wake: the first check 5 s on, then every 10 s, four in all.
constexpr unsigned kResumeDelayMs = 5000;
constexpr unsigned kResumeRetryMs = 10000;
constexpr int kResumeTries = 4;

}  // namespace

TBuzel::TBuzel(Platform& platform)
    : TrayIcon1(platform.MakeTrayShell()),
      Sockets1(platform.Sockets()),
      platform_(platform),
      tokens_(unit_.settings, BuiltInRegistrations(), platform.Https(),
              [&platform] { return platform.MonotonicSeconds(); },
              [this](const std::string&) { SaveRotatedRefreshToken(); }),
      sign_in_({platform.Https(), platform.Browser(), platform.Listener(), platform.SignInTimer(),
                [&platform](std::size_t count) { return platform.RandomBytes(count); }}),
      check_(Sockets1, unit_.check, unit_.settings, *this),
      wake_timer_(Sockets1),
      imap_(Sockets1, unit_.check, unit_.settings, *this) {
  // The form's stored properties, in the order the form loads them.
  Sockets1.Aplicacion = kApplicationTitle;
  Sockets1.MaximumReceiveLength = 8192;
  Sockets1.IPAddr = "127.0.0.1";
  Sockets1.Port = "110";
  Sockets1.SetNonBlocking(false);
  Sockets1.OnErrorOccurred = [this](TSockets& sender, SocketHandle socket, int error,
                                    const std::string& msg) {
    if (ImapMode() || imap_.Open())
      imap_.Sockets1ErrorOccurred(sender, socket, error, msg);
    else
      check_.Sockets1ErrorOccurred(sender, socket, error, msg);
  };
  // An idle IMAP session hears from its server through the main loop.
  auto imap_event = [this](void (ImapCheck::*handler)()) {
    return [this, handler](TSockets&, SocketHandle) { (imap_.*handler)(); };
  };
  Sockets1.OnDataAvailable = imap_event(&ImapCheck::DataAvailable);
  Sockets1.OnSessionClosed = imap_event(&ImapCheck::SessionClosed);
  Sockets1.OnWakeTimer = imap_event(&ImapCheck::WakeTimerFired);
  check_.SetTlsEngineFactory(platform.TlsEngines());
  imap_.SetTlsEngineFactory(platform.TlsEngines());
  imap_.SetWakeTimer(&wake_timer_);
  check_.SetAccessTokens(&tokens_);
  imap_.SetAccessTokens(&tokens_);
  // The tooltip goes in with the icon: one call to the shell, not two.
  TrayIcon1.SetToolTip(kToolTipInicial);
  TrayIcon1.SetActive(true);
  TrayIcon1.OnClick = [this](TTrayIcon&) { TrayIcon1Click(); };
  BuildMenu();
}

TBuzel::~TBuzel() { End(); }

void TBuzel::BuildMenu() {
  auto command = [this](void (TBuzel::*handler)()) {
    return [this, handler] { (this->*handler)(); };
  };
  std::vector<MenuItem> items;
  items.push_back({kMenuChequear, command(&TBuzel::ChequearCorreoAhora1Click)});
  items.push_back({kMenuConfiguracion, command(&TBuzel::ConfiguracionClick)});
  items.push_back({kMenuAyuda, command(&TBuzel::Ayuda1Click)});
  items.push_back({"", nullptr});
  items.push_back({kMenuSalir, command(&TBuzel::CerrarClick)});
  TrayIcon1.PopupMenu = platform_.BuildMenu(std::move(items));
}

void TBuzel::Start() {
  FormCreate();
  if (terminating_) return;
  if (auto failure = FormShow()) platform_.StartupFailed(*failure);
}

void TBuzel::NoEnlazada() { platform_.PlainMessage(kFuncionNoEnlazada); }

void TBuzel::FormCreate() {
  TrayIcon1.SetIcon(platform_.Picture(TrayPicture::bandera0));
  Sockets1.MaximumReceiveLength = 255;
  DigestLibrary& library = platform_.Digest();
  library_loaded_ = library.Load();
  if (library_loaded_) {
    check_.SetDigest(library.Bind());
  } else {
    platform_.PlainMessage(kNoSeEncuentraApop);
    CerrarClick();
  }
  if (!check_.HasDigest()) NoEnlazada();
}

MaybeFailure TBuzel::FormShow() { return LoadSettings(platform_.Store(), unit_.settings, *this); }

void TBuzel::FormDestroy() {
  CheckState& state = unit_.check;
  if (imap_.Open()) {
    imap_.EndSession();
    state.Chequeando = false;
  } else if (state.Chequeando) {
    check_.SendQuit();
    const bool timed_out = check_.CompruebaTiempo();
    if (timed_out || state.ErrorSocket != 0) platform_.PlainMessage(kServidorNoRespondeAlSalir);
    Sockets1.Disconnect();
    state.Chequeando = false;
  }
  if (library_loaded_) {
    platform_.Digest().Release();
    library_loaded_ = false;
  }
}

void TBuzel::End() {
  if (ended_) return;
  ended_ = true;
  sign_in_.Cancel();
  FormDestroy();
  SetTimerEnabled(false);
  platform_.CloseWindows();
  TrayIcon1.SetActive(false);  // the icon leaves the notification area
}

void TBuzel::SetTimerInterval(unsigned milliseconds) {
  if (milliseconds == interval_) return;  // an equal interval leaves the count running
  interval_ = milliseconds;
  UpdateCheckTimer();
}

void TBuzel::SetTimerEnabled(bool enabled) {
  if (enabled == timer_enabled_) return;
  timer_enabled_ = enabled;
  UpdateCheckTimer();
}

void TBuzel::UpdateCheckTimer() { platform_.SetCheckTimer(timer_enabled_ ? interval_ : 0); }

void TBuzel::Timer1Timer() { CheckMail(); }

// A check needs the password: where the store could not fetch it (a locked
// keyring), no login is tried with an empty one, which would read as a wrong
// password and stop the checks. Told once per run of such failures; the
// timer goes on and the next check asks again.
void TBuzel::CheckMail() {
  std::string problem;
  if (!platform_.Store().PasswordAtHand(unit_.settings, problem)) {
    if (HeldBack(true)) return;  // a quiet retry after a wake
    if (!password_problem_told_) platform_.ErrorBox(problem + ".");
    password_problem_told_ = true;
    return;
  }
  password_problem_told_ = false;
  if (ImapMode())
    imap_.CheckMail();
  else
    check_.CheckMail();
}

void TBuzel::Resumed() {
  // Nothing to refresh where checks are not running (no settings yet, or a
  // refused password waiting for the dialog).
  if (!timer_enabled_) return;
  resume_tries_ = 0;
  platform_.StartResumeTimer(kResumeDelayMs);
}

void TBuzel::ResumeTimerTimer() {
  if (std::exchange(reopen_, false)) {
    CheckMail();
    return;
  }
  // The session of before the sleep is most likely dead: a new one.
  if (resume_tries_ == 0) imap_.EndSession();
  ++resume_tries_;
  quiet_ = resume_tries_ < kResumeTries;
  failed_quietly_ = false;
  CheckMail();
  quiet_ = false;
  if (failed_quietly_) platform_.StartResumeTimer(kResumeRetryMs);
}

// A quiet check holds back every sign of its failure: boxes, and the error
// look of the tray, which would also keep the next failure from being told.
bool TBuzel::HeldBack(bool failure) {
  if (!quiet_ || !failure) return false;
  failed_quietly_ = true;
  return true;
}

void TBuzel::ErrorBox(const std::string& text) {
  if (!HeldBack(true)) platform_.ErrorBox(text);
}

void TBuzel::PlainMessage(const std::string& text) {
  if (!HeldBack(true)) platform_.PlainMessage(text);
}

void TBuzel::TrayIcon1Click() {
  if (unit_.check.NumMensajes > 0 && unit_.VentanasAbiertas == 0) {
    platform_.CreateNotice(unit_);
    platform_.ShowNotice(CountCaption(unit_.check.NumMensajes));
  }
}

void TBuzel::ChequearCorreoAhora1Click() {
  if (!unit_.settings.Host.empty()) {
    CheckMail();
  } else if (!ConfigDialogOpen()) {
    platform_.OpenHelpTopic(kHelpConfiguracion);
    ShowConfigDialog();
  }
}

void TBuzel::ConfiguracionClick() {
  if (!ConfigDialogOpen()) ShowConfigDialog();
}

void TBuzel::ConfiguracionPedida() {
  if (ConfigDialogOpen())
    platform_.BringConfigDialogToFront();
  else
    ShowConfigDialog();
}

void TBuzel::SalirPedido() { CerrarClick(); }

void TBuzel::Ayuda1Click() { platform_.OpenHelpTopic(kHelpPrograma); }

void TBuzel::CerrarClick() {
  terminating_ = true;
  platform_.Terminate();
}

void TBuzel::ShowNoMailTray() {
  TrayIcon1.SetIcon(platform_.Picture(TrayPicture::bandera0));
  TrayIcon1.SetToolTip(kNoHayMensajes);
}

void TBuzel::SetTrayIcon(TrayPicture picture) {
  if (!HeldBack(picture == TrayPicture::Bandera2)) TrayIcon1.SetIcon(platform_.Picture(picture));
}

void TBuzel::SetToolTip(const std::string& text) {
  if (!HeldBack(text == kErrorEnConexion)) TrayIcon1.SetToolTip(text);
}

std::string TBuzel::ToolTip() const { return TrayIcon1.ToolTip(); }

void TBuzel::ShowNotice(std::int32_t count) {
  if ((unit_.VentanasAbiertas & kNoticeWindowOpen) == 0) platform_.CreateNotice(unit_);
  platform_.ShowNotice(CountCaption(count));
}

void TBuzel::FollowNotice(std::int32_t count) {
  if ((unit_.VentanasAbiertas & kNoticeWindowOpen) == 0) return;
  platform_.ShowNotice(count > 0 ? CountCaption(count) : std::string(kNoHayMensajes));
}

std::string TBuzel::CountCaption(std::int32_t count) const {
  return ImapMode() ? UnreadCaption(count) : MessagesCaption(count);
}

// In IMAP mode the session of the old settings ends, and one of the new
// opens once the dialog's accept is through (it resets the tray after this).
void TBuzel::StartSignIn(const ProviderEndpoints& endpoints, const std::string& login_hint,
                         std::function<void(const SignInResult&)> done) {
  sign_in_.Start(endpoints, login_hint, std::move(done));
}

void TBuzel::SignInTimerFired() { sign_in_.TimerFired(); }

// The new token still serves this run when it cannot be stored; the next
// rotation tries again.
void TBuzel::SaveRotatedRefreshToken() {
  if (auto failure = platform_.Store().SaveRefreshToken(unit_.settings)) ShowError(failure->message);
}

MaybeFailure TBuzel::Save(const Settings& settings) {
  if (auto failure = platform_.Store().Save(settings, platform_.ProgramPath())) return failure;
  // The accept's own sign-in, if any, hands its token over after the save.
  tokens_.Forget();
  imap_.EndSession();
  if (MailProtocolOf(settings.Protocolo) == MailProtocol::kImap && !settings.Host.empty()) {
    reopen_ = true;
    platform_.StartResumeTimer(1);
  }
  return {};
}

}  // namespace buzonix
