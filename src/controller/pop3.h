// TBuzel: the hidden main form. It owns the socket, the tray icon and the check
// timer, runs the mailbox check, loads the settings at start-up and answers the
// tray menu's commands. The windowing it needs comes through FormPlatform.
#pragma once

#include <memory>
#include <string>

#include "config/RegistryApi.h"
#include "config/settings.h"
#include "state/unit.h"
#include "mailcheck/CheckMail.h"
#include "network/Sockets.h"
#include "notify/TrayIcon.h"

namespace buzonix {

inline constexpr char kApplicationTitle[] = "Buzonix Electr\xF3nico";
inline constexpr char kHelpFile[] = "Buzel.hlp";
inline constexpr int kHelpPrograma = 1;
inline constexpr int kHelpMenu = 2;
inline constexpr int kHelpPaginas = 13;
inline constexpr int kHelpConfiguracion = 14;

// The external digest library and its function.
class DigestLibrary {
 public:
  virtual ~DigestLibrary() = default;
  virtual bool Load() = 0;
  // The bound function, or an empty one when the library lacks it.
  virtual DigestFunction Bind() = 0;
  virtual void Release() = 0;
};

// What the main form asks of the windowing layer.
class FormPlatform {
 public:
  virtual void SetTimerInterval(unsigned milliseconds) = 0;
  virtual unsigned TimerInterval() const = 0;
  virtual void SetTimerEnabled(bool enabled) = 0;
  virtual bool TimerEnabled() const = 0;
  virtual void ErrorBox(const std::string& text) = 0;
  virtual void PlainMessage(const std::string& text) = 0;
  virtual void Beep() = 0;
  virtual void OpenHelpTopic(int context) = 0;
  // A new notice window (which marks itself open), its caption, and showing it.
  virtual void CreateNotice() = 0;
  virtual void SetNoticeCaption(const std::string& caption) = 0;
  virtual void ShowNotice() = 0;
  virtual void CreateAndShowConfigDialog() = 0;
  // Asks the application to end once its message loop sees the request.
  virtual void Terminate() = 0;
  // Calls TBuzel::ResumeTimerTimer once, `milliseconds` from now (a running
  // one starts over).
  virtual void StartResumeTimer(unsigned milliseconds) = 0;
  virtual std::string ProgramPath() = 0;
  // The icon held by one of the four images (owned by the platform).
  virtual ShellHandle Picture(TrayPicture picture) = 0;

 protected:
  ~FormPlatform() = default;
};

class TBuzel : private CheckHost, private LoadHost {
 public:
  TBuzel(Pop3Unit& unit, FormPlatform& form, RegistryApi& registry, SocketPlatform& sockets,
         std::unique_ptr<TrayShell> tray_shell, DigestLibrary& digest_library);
  ~TBuzel();

  void FormCreate();
  void FormShow();
  void FormDestroy();
  void CheckMail() override { check_.CheckMail(); }
  void SetTlsEngineFactory(TlsEngineFactory factory) {
    check_.SetTlsEngineFactory(std::move(factory));
  }
  void Timer1Timer();
  void TrayIcon1Click();
  void ChequearCorreoAhora1Click();
  void ConfiguracionClick();
  void Ayuda1Click();
  void CerrarClick();
  // The machine woke from sleep: the count shown may be hours old, and the
  // network often needs a moment. A check runs shortly after, retried quietly
  // while it fails; the last try reports as any check does.
  void Resumed();
  void ResumeTimerTimer();

  // The tray look for no mail, as the configuration dialog restores it.
  void ShowNoMailTray();

  TTrayIcon TrayIcon1;
  TSockets Sockets1;

 private:
  // CheckHost
  void SetTrayIcon(TrayPicture picture) override;
  void SetToolTip(const std::string& text) override;
  std::string ToolTip() const override;
  void ErrorBox(const std::string& text) override;
  void PlainMessage(const std::string& text) override;
  void Beep() override { form_.Beep(); }
  void ShowNotice(std::int32_t count) override;
  void DisableTimer() override { form_.SetTimerEnabled(false); }
  // LoadHost
  std::string ProgramPath() override { return form_.ProgramPath(); }
  void OpenHelpTopic(int context) override { form_.OpenHelpTopic(context); }
  void ShowConfigDialog() override { form_.CreateAndShowConfigDialog(); }
  void SetTimerInterval(unsigned milliseconds) override { form_.SetTimerInterval(milliseconds); }
  void EnableTimer() override { form_.SetTimerEnabled(true); }

  bool HeldBack(bool failure);
  void NoEnlazada();
  bool ConfigDialogOpen() const { return (unit_.VentanasAbiertas & kConfigDialogOpen) != 0; }

  Pop3Unit& unit_;
  FormPlatform& form_;
  RegistryApi& registry_;
  DigestLibrary& digest_library_;
  bool library_loaded_ = false;
  MailCheck check_;
  int resume_tries_ = 0;        // checks made since the machine woke
  bool quiet_ = false;          // a check whose boxes are held back
  bool failed_quietly_ = false;  // it would have shown one
};

}  // namespace buzonix
