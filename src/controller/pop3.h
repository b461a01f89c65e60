// TBuzel: the application, the same in both programs. The hidden main form of
// the program: it owns the socket, the tray icon and its menu, the check and
// its timers, loads the settings at start-up, answers the menu's commands,
// hosts the configuration dialog and guards every handler. What it needs of
// the desktop comes through the one Platform port.
#pragma once

#include <memory>
#include <string>

#include "config/configur.h"
#include "config/settings.h"
#include "controller/Platform.h"
#include "mailcheck/CheckMail.h"
#include "mailcheck/ImapCheck.h"
#include "network/Sockets.h"
#include "signin/SignInFlow.h"
#include "signin/TokenKeeper.h"
#include "notify/TrayIcon.h"
#include "state/unit.h"
#include "text/HelpTopics.h"
#include "text/Texts.h"

namespace buzonix {

class TBuzel : private CheckHost, private LoadHost, private ConfHost {
 public:
  explicit TBuzel(Platform& platform);
  ~TBuzel();
  TBuzel(const TBuzel&) = delete;
  TBuzel& operator=(const TBuzel&) = delete;

  // The start-up: binds the digest library, then loads the settings (unless
  // the library is missing and the program is ending). A failure of the load
  // goes to Platform::StartupFailed.
  void Start();
  // The end, once: a check under way says QUIT, every window closes and the
  // tray icon goes.
  void End();
  // Terminate was asked for: the event loop ends.
  bool Terminating() const { return terminating_; }

  // The form's own handlers, which Start and End run.
  void FormCreate();
  MaybeFailure FormShow();
  void FormDestroy();

  // The platform's events.
  void Timer1Timer();
  // The machine woke from sleep: the count shown may be hours old, and the
  // network often needs a moment. A check runs shortly after, retried quietly
  // while it fails; the last try reports as any check does.
  void Resumed();
  void ResumeTimerTimer();

  // The menu's commands.
  void ChequearCorreoAhora1Click();
  void ConfiguracionClick();
  void Ayuda1Click();
  void CerrarClick();
  void TrayIcon1Click();

  // What a second start of the program, or the installer, asks of the running
  // one: "Configuración" as the menu opens it (an open dialog
  // comes to the front), and the end as "Salir" ends it.
  void ConfiguracionPedida();
  void SalirPedido();

  // The sign-in's wait ran out (Platform::SignInTimer).
  void SignInTimerFired();

  Pop3Unit& Unit() { return unit_; }
  ImapCheck& Imap() { return imap_; }
  unsigned TimerInterval() const override { return interval_; }

  TTrayIcon TrayIcon1;
  TSockets Sockets1;

 private:
  void BuildMenu();
  void UpdateCheckTimer();
  void ShowNoMailTray();
  bool HeldBack(bool failure);
  void NoEnlazada();
  bool ImapMode() const { return MailProtocolOf(unit_.settings.Protocolo) == MailProtocol::kImap; }
  std::string CountCaption(std::int32_t count) const;
  bool ConfigDialogOpen() const { return (unit_.VentanasAbiertas & kConfigDialogOpen) != 0; }

  // CheckHost
  void SetTrayIcon(TrayPicture picture) override;
  void SetToolTip(const std::string& text) override;
  std::string ToolTip() const override;
  void ErrorBox(const std::string& text) override;
  void PlainMessage(const std::string& text) override;
  void Beep() override { platform_.Beep(); }
  void ShowNotice(std::int32_t count) override;
  void FollowNotice(std::int32_t count) override;
  void DisableTimer() override { SetTimerEnabled(false); }
  // LoadHost
  std::string ProgramPath() override { return platform_.ProgramPath(); }
  void OpenHelpTopic(int context) override { platform_.OpenHelpTopic(context); }
  void ShowConfigDialog() override { platform_.OpenConfigDialog(unit_, *this); }
  void SetTimerInterval(unsigned milliseconds) override;
  void EnableTimer() override { SetTimerEnabled(true); }
  void CheckMail() override;
  // ConfHost
  void SetTimerEnabled(bool enabled) override;
  void ResetTray() override { ShowNoMailTray(); }
  MaybeFailure Save(const Settings& settings) override;
  void ShowError(const std::string& message) override { platform_.ErrorBox(message + "."); }
  const ProviderRegistrations& Registrations() const override { return BuiltInRegistrations(); }
  void StartSignIn(const ProviderEndpoints& endpoints, const std::string& login_hint,
                   std::function<void(const SignInResult&)> done) override;
  void CancelSignIn() override { sign_in_.Cancel(); }
  bool KeepsRefreshToken() const override { return platform_.Store().KeepsRefreshToken(); }
  void UseAccessToken(const std::string& token, std::int64_t expires_in) override {
    tokens_.Take(token, expires_in);
  }
  // The provider rotated the refresh token: stored at once.
  void SaveRotatedRefreshToken();

  Platform& platform_;
  Pop3Unit unit_;
  TokenKeeper tokens_;
  SignInFlow sign_in_;
  MailCheck check_;
  // The idle session's re-IDLE timer, on the socket component's own timer.
  class SocketWakeTimer final : public WakeTimer {
   public:
    explicit SocketWakeTimer(TSockets& sockets) : sockets_(sockets) {}
    void Start(unsigned milliseconds) override { sockets_.StartWakeTimer(milliseconds); }
    void Stop() override { sockets_.StopWakeTimer(); }

   private:
    TSockets& sockets_;
  } wake_timer_;
  ImapCheck imap_;
  bool reopen_ = false;  // the accepted dialog's settings open a new session
  bool library_loaded_ = false;
  unsigned interval_ = 0;
  bool timer_enabled_ = false;
  bool terminating_ = false;
  bool ended_ = false;
  int resume_tries_ = 0;         // checks made since the machine woke
  bool quiet_ = false;           // a check whose boxes are held back
  bool failed_quietly_ = false;  // it would have shown one
  bool password_problem_told_ = false;
};

}  // namespace buzonix
