// buzonix: the Linux program. The same main form, check, notice and dialog as
// the Windows program, over Qt: the tray icon, the windows, the settings file,
// the Secret Service and the autostart entry take the place of the shell, the
// registry and the Run key.
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <string>

#include "config/MemoryRegistry.h"
#include "config/configur.h"
#include "controller/errors.h"
#include "controller/pop3.h"
#include "linux/Autostart.h"
#include "linux/ConfDialog_linux.h"
#include "linux/HelpWindow_linux.h"
#include "linux/NoticeWindow_linux.h"
#include "linux/PasswordStore.h"
#include "linux/QtEventLoop.h"
#include "linux/SettingsFile.h"
#include "linux/Text.h"
#include "linux/TrayShell_linux.h"
#include "mailcheck/md5.h"
#include "posix/SocketPlatform_posix.h"
#include "posix/TlsEngine_openssl.h"

namespace buzonix {
namespace {

// The digest is linked in: there is no separate library to load.
class BuiltInDigest final : public DigestLibrary {
 public:
  bool Load() override { return true; }
  DigestFunction Bind() override { return [](const std::string& text) { return Md5Hex(text); }; }
  void Release() override {}
};

// The socket layer's boxes and its fatal end, as Qt windows.
class QtSocketPlatform final : public PosixSocketPlatform {
 public:
  using PosixSocketPlatform::PosixSocketPlatform;
  std::function<void(int)> onExit;

  void ShowMessageBox(const std::string& text, const std::string& caption) override {
    QMessageBox::warning(nullptr, ToQt(caption), ToQt(text), QMessageBox::Ok | QMessageBox::Cancel);
  }
  [[noreturn]] void ExitProgram(int code) override {
    if (onExit) onExit(code);
    std::exit(code);
  }
};

class Application final : private FormPlatform, private ConfHost {
 public:
  Application()
      : autostart_(Autostart::DefaultEntryPath()),
        settings_file_(SettingsFile::DefaultPath(), autostart_, passwords_),
        sockets_(loop_) {
    LoadPictures();
    auto shell = std::make_unique<QtTrayShell>();
    BuildMenu(shell->Menu());
    buzel_ = std::make_unique<TBuzel>(unit_, static_cast<FormPlatform&>(*this), registry_unused_,
                                      sockets_, std::move(shell), digest_);
    // OpenSSL with the system's trust store.
    buzel_->SetTlsEngineFactory(MakeOpenSslEngine);
    QObject::connect(&check_timer_, &QTimer::timeout, [this] {
      Guarded([this] {
        if (MayCheck()) buzel_->Timer1Timer();
      });
    });
    resume_timer_.setSingleShot(true);
    QObject::connect(&resume_timer_, &QTimer::timeout, [this] {
      Guarded([this] {
        if (MayCheck()) buzel_->ResumeTimerTimer();
      });
    });
    sockets_.onExit = [this](int) { End(); };
  }

  ~Application() { End(); }

  int Run() {
    buzel_->FormCreate();
    if (!terminating_) {
      try {
        settings_file_.Load(unit_.settings, load_host_);
      } catch (...) {
        ErrorBox(ErrorMessage(std::current_exception()));
      }
    }
    if (terminating_) return 0;
    return QApplication::exec();
  }

 private:
  // The start-up load's host: the main form's, with the file's own load.
  struct LoadHostAdapter final : LoadHost {
    explicit LoadHostAdapter(Application& app) : app(app) {}
    std::string ProgramPath() override { return app.ProgramPath(); }
    void OpenHelpTopic(int context) override { app.OpenHelpTopic(context); }
    void ShowConfigDialog() override { app.CreateAndShowConfigDialog(); }
    void SetTimerInterval(unsigned milliseconds) override { app.SetTimerInterval(milliseconds); }
    void EnableTimer() override { app.SetTimerEnabled(true); }
    void CheckMail() override {
      if (app.MayCheck()) app.buzel_->CheckMail();
    }
    Application& app;
  };

  void End() {
    if (ended_) return;
    ended_ = true;
    buzel_->FormDestroy();
    ConfDialog::CloseAll();
    NoticeWindow::CloseAll();
    CloseHelp();
    buzel_.reset();  // removes the tray icon
  }

  template <typename F>
  void Guarded(F&& handler) {
    try {
      handler();
    } catch (...) {
      ShowError(ErrorMessage(std::current_exception()));
    }
  }

  // No check runs while the password is still to be read from the Secret
  // Service; the timer goes on, and the next check reads it again.
  bool MayCheck() {
    bool tell = false;
    if (settings_file_.PasswordAtHand(unit_.settings, tell)) return true;
    if (tell) ErrorBox(std::string(kClaveIlegible) + ".");
    return false;
  }

  void BuildMenu(QMenu& menu) {
    auto add = [this, &menu](const char* text, void (TBuzel::*command)()) {
      QAction* action = menu.addAction(ToQt(text));
      QObject::connect(action, &QAction::triggered, [this, command] {
        Guarded([this, command] {
          if (command != &TBuzel::ChequearCorreoAhora1Click || MayCheck()) ((*buzel_).*command)();
        });
      });
    };
    add("Chequear Correo &Ahora", &TBuzel::ChequearCorreoAhora1Click);
    add("&Configuraci\xF3n", &TBuzel::ConfiguracionClick);
    add("A&yuda", &TBuzel::Ayuda1Click);
    menu.addSeparator();
    add("&Salir", &TBuzel::CerrarClick);
  }

  void LoadPictures() {
    const char* names[] = {":/art/bandera0.ico", ":/art/bandera1.ico", ":/art/bandera2.ico",
                           ":/art/bandera5.ico"};
    for (int i = 0; i < 4; ++i) pictures_[i] = QIcon(names[i]);
  }

  // FormPlatform
  void SetTimerInterval(unsigned milliseconds) override {
    if (milliseconds == interval_) return;  // an equal interval leaves the count running
    interval_ = milliseconds;
    UpdateTimer();
  }
  unsigned TimerInterval() const override { return interval_; }
  void SetTimerEnabled(bool enabled) override {
    if (enabled == timer_enabled_) return;
    timer_enabled_ = enabled;
    UpdateTimer();
  }
  bool TimerEnabled() const override { return timer_enabled_; }
  // A later start replaces an earlier one that has not fired.
  void StartResumeTimer(unsigned milliseconds) override { resume_timer_.start(static_cast<int>(milliseconds)); }
  void UpdateTimer() {
    check_timer_.stop();
    if (timer_enabled_ && interval_ > 0) check_timer_.start(static_cast<int>(interval_));
  }
  void ErrorBox(const std::string& text) override {
    QMessageBox::critical(nullptr, ToQt(kApplicationTitle), ToQt(text));
  }
  void PlainMessage(const std::string& text) override {
    QMessageBox box(QMessageBox::NoIcon, ToQt(kApplicationTitle), ToQt(text), QMessageBox::Ok);
    box.exec();
  }
  void Beep() override { QApplication::beep(); }
  void OpenHelpTopic(int context) override { ShowHelpTopic(context); }
  void CreateNotice() override { NoticeWindow::Create(unit_); }
  void SetNoticeCaption(const std::string& caption) override {
    if (NoticeWindow* notice = NoticeWindow::Current()) notice->setWindowTitle(ToQt(caption));
  }
  void ShowNotice() override {
    if (NoticeWindow* notice = NoticeWindow::Current()) notice->show();
  }
  void CreateAndShowConfigDialog() override { ConfDialog::Open(unit_, *this); }
  void Terminate() override {
    terminating_ = true;
    // A waiting socket call runs a loop of its own: end from inside it.
    if (sockets_.IsBlocking()) {
      QTimer::singleShot(0, [this] {
        End();
        std::exit(0);
      });
    }
    // exit, not quit: quit first asks every window to close, and the notice
    // refuses to close but by a click.
    QCoreApplication::exit(0);
  }
  std::string ProgramPath() override {
    return QApplication::applicationFilePath().toStdString();
  }
  ShellHandle Picture(TrayPicture picture) override {
    return ToShellHandle(&pictures_[static_cast<int>(picture)]);
  }

  // ConfHost
  std::string ToolTip() const override { return buzel_->TrayIcon1.ToolTip(); }
  void ResetTray() override { buzel_->ShowNoMailTray(); }
  void Save(const Settings& settings) override {
    settings_file_.Save(settings, ProgramPath(), PasswordPlaceFor(settings));
  }
  void ShowError(const std::string& message) override { ErrorBox(message + "."); }

  // The Secret Service when there is one; otherwise the user chooses.
  PasswordPlace PasswordPlaceFor(const Settings& settings) {
    if (passwords_.Available()) return PasswordPlace::Keyring;
    if (settings.Clave.empty()) return PasswordPlace::Nowhere;
    if (settings_file_.PasswordInFile()) return PasswordPlace::File;
    const auto answer = QMessageBox::question(
        nullptr, ToQt(kApplicationTitle),
        QString::fromUtf8(
            "No hay un servicio de claves (Secret Service) en este escritorio.\n\n"
            "\u00bfGuardar la clave en el archivo de configuraci\u00f3n, cifrada como la "
            "guarda el programa en Windows?\n\n"
            "Si responde No, la clave se usar\u00e1 s\u00f3lo hasta que cierre el programa."));
    return answer == QMessageBox::Yes ? PasswordPlace::File : PasswordPlace::Nowhere;
  }

  Pop3Unit unit_;
  KeyringPasswordStore passwords_;
  Autostart autostart_;
  SettingsFile settings_file_;
  LoadHostAdapter load_host_{*this};
  QtEventLoop loop_;
  QtSocketPlatform sockets_;
  BuiltInDigest digest_;
  // TBuzel's own load reads a registry; this program loads its file instead,
  // so the registry it is given stays empty and unused.
  MemoryRegistry registry_unused_;
  QIcon pictures_[4];
  QTimer check_timer_;
  QTimer resume_timer_;
  std::unique_ptr<TBuzel> buzel_;
  unsigned interval_ = 0;
  bool timer_enabled_ = false;
  bool terminating_ = false;
  bool ended_ = false;
};

}  // namespace
}  // namespace buzonix

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("buzonix");
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(QIcon(":/art/mainicon.ico"));
  buzonix::Application program;
  return program.Run();
}
