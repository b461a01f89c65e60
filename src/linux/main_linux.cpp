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

#include "config/configur.h"
#include "controller/Instance.h"
#include "controller/Platform.h"
#include "controller/pop3.h"
#include "linux/Autostart.h"
#include "linux/ConfDialog_linux.h"
#include "linux/HelpWindow_linux.h"
#include "linux/HttpsTransport_linux.h"
#include "linux/Instance_linux.h"
#include "linux/LoopbackListener_linux.h"
#include "linux/NoticeWindow_linux.h"
#include "linux/OneShotTimer_linux.h"
#include "linux/PasswordStore.h"
#include "linux/QtEventLoop.h"
#include "linux/SettingsFile.h"
#include "linux/SystemBrowser_linux.h"
#include "linux/SystemSources_linux.h"
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

// The Qt half of the program: its windows, and what the application asks of
// the desktop.
class Application final : private Platform {
 public:
  explicit Application(const QString& instance_name)
      : autostart_(Autostart::DefaultEntryPath()),
        settings_file_(SettingsFile::DefaultPath(), autostart_, passwords_, refresh_tokens_,
                       [](const Settings&) { return AskPasswordPlace(); }),
        sockets_(loop_),
        sign_in_timer_([this] { buzel_->SignInTimerFired(); }) {
    LoadPictures();
    buzel_ = std::make_unique<TBuzel>(static_cast<Platform&>(*this));
    QObject::connect(&check_timer_, &QTimer::timeout, [this] { buzel_->Timer1Timer(); });
    resume_timer_.setSingleShot(true);
    QObject::connect(&resume_timer_, &QTimer::timeout, [this] { buzel_->ResumeTimerTimer(); });
    sockets_.onExit = [this](int) { buzel_->End(); };
    instance_server_ = std::make_unique<InstanceServer>(
        instance_name, InstanceServer::Requests{[this] { buzel_->ConfiguracionPedida(); },
                                                [this] { buzel_->SalirPedido(); }});
    instance_server_->Listen();
  }

  int Run() {
    buzel_->Start();
    if (buzel_->Terminating()) return 0;
    return QApplication::exec();
  }

 private:
  // No Secret Service on this desktop: the user chooses.
  static PasswordPlace AskPasswordPlace() {
    const auto answer =
        QMessageBox::question(nullptr, ToQt(kApplicationTitle), ToQt(kPreguntaClaveEnArchivo));
    return answer == QMessageBox::Yes ? PasswordPlace::File : PasswordPlace::Nowhere;
  }

  void LoadPictures() {
    const char* names[] = {":/art/bandera0.ico", ":/art/bandera1.ico", ":/art/bandera2.ico",
                           ":/art/bandera5.ico"};
    for (int i = 0; i < 4; ++i) pictures_[i] = QIcon(names[i]);
  }

  // Platform
  void SetCheckTimer(unsigned milliseconds) override {
    check_timer_.stop();
    if (milliseconds > 0) check_timer_.start(static_cast<int>(milliseconds));
  }
  // A later start replaces an earlier one that has not fired.
  void StartResumeTimer(unsigned milliseconds) override { resume_timer_.start(static_cast<int>(milliseconds)); }
  void ErrorBox(const std::string& text) override {
    QMessageBox::critical(nullptr, ToQt(kApplicationTitle), ToQt(text));
  }
  void PlainMessage(const std::string& text) override {
    QMessageBox box(QMessageBox::NoIcon, ToQt(kApplicationTitle), ToQt(text), QMessageBox::Ok);
    box.exec();
  }
  void Beep() override { QApplication::beep(); }
  // A load that fails is told, and the program goes on.
  void StartupFailed(const Failure& failure) override { ErrorBox(failure.message); }
  void OpenHelpTopic(int context) override { ShowHelpTopic(context); }
  void CreateNotice(Pop3Unit& unit) override { NoticeWindow::Create(unit); }
  void ShowNotice(const std::string& caption) override {
    if (NoticeWindow* notice = NoticeWindow::Current()) {
      notice->setWindowTitle(ToQt(caption));
      notice->show();
    }
  }
  void OpenConfigDialog(Pop3Unit& unit, ConfHost& host) override { ConfDialog::Open(unit, host); }
  void BringConfigDialogToFront() override {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->objectName() != "configuracion" || !window->isVisible()) continue;
      window->showNormal();
      window->raise();
      window->activateWindow();
    }
  }
  void CloseWindows() override {
    ConfDialog::CloseAll();
    NoticeWindow::CloseAll();
    CloseHelp();
  }
  std::unique_ptr<TrayShell> MakeTrayShell() override {
    auto shell = std::make_unique<QtTrayShell>();
    tray_shell_ = shell.get();
    return shell;
  }
  // The tray icon's own menu.
  PopupMenuBase* BuildMenu(std::vector<MenuItem> items) override {
    QMenu& menu = tray_shell_->Menu();
    for (MenuItem& item : items) {
      if (item.label.empty()) {
        menu.addSeparator();
        continue;
      }
      QAction* action = menu.addAction(ToQt(item.label));
      QObject::connect(action, &QAction::triggered, std::move(item.command));
    }
    return nullptr;  // QSystemTrayIcon opens it
  }
  ShellHandle Picture(TrayPicture picture) override {
    return ToShellHandle(&pictures_[static_cast<int>(picture)]);
  }
  SocketPlatform& Sockets() override { return sockets_; }
  TlsEngineFactory TlsEngines() override { return MakeOpenSslEngine; }  // the system's trust store
  DigestLibrary& Digest() override { return digest_; }
  SettingsStore& Store() override { return settings_file_; }
  HttpsTransport& Https() override { return https_; }
  SystemBrowser& Browser() override { return browser_; }
  LoopbackListener& Listener() override { return listener_; }
  OneShotTimer& SignInTimer() override { return sign_in_timer_; }
  std::string RandomBytes(std::size_t count) override { return KernelRandomBytes(count); }
  std::int64_t MonotonicSeconds() override { return MonotonicClockSeconds(); }
  std::string ProgramPath() override { return QApplication::applicationFilePath().toStdString(); }
  void Terminate() override {
    // A waiting socket call runs a loop of its own: end from inside it.
    if (sockets_.IsBlocking()) {
      QTimer::singleShot(0, [this] {
        buzel_->End();
        std::exit(0);
      });
    }
    // exit, not quit: quit first asks every window to close, and the notice
    // refuses to close but by a click.
    QCoreApplication::exit(0);
  }

  KeyringPasswordStore passwords_;
  KeyringPasswordStore refresh_tokens_{KeyringPasswordStore::kRefreshTokenItem};
  Autostart autostart_;
  SettingsFile settings_file_;
  QtEventLoop loop_;
  QtSocketPlatform sockets_;
  BuiltInDigest digest_;
  QtHttpsTransport https_;
  DesktopBrowser browser_;
  QtLoopbackListener listener_;  // listens only while a sign-in waits
  QtOneShotTimer sign_in_timer_;
  QtTrayShell* tray_shell_ = nullptr;  // owned by the tray icon
  QIcon pictures_[4];
  QTimer check_timer_;
  QTimer resume_timer_;
  std::unique_ptr<TBuzel> buzel_;
  std::unique_ptr<InstanceServer> instance_server_;
};

}  // namespace
}  // namespace buzonix

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("buzonix");
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(QIcon(":/art/mainicon.ico"));
  // Held for the whole run: the session's one copy.
  buzonix::LinuxInstanceChannel instance;
  switch (buzonix::DecideStart(instance)) {
    case buzonix::StartDecision::kRun: break;
    case buzonix::StartDecision::kHandedOver: return 0;
    case buzonix::StartDecision::kNoAnswer: return 1;
  }
  buzonix::Application program(instance.ServerName());
  return program.Run();
}
