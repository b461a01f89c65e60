// Buzonix.exe: start-up, the hidden main form and the message loop.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "config/configur.h"
#include "config/settings.h"
#include "controller/pop3.h"
#include "controller/Instance.h"
#include "win/HelpWindow_win.h"
#include "win/HttpsTransport_win.h"
#include "win/Instance_win.h"
#include "win/LoopbackListener_win.h"
#include "win/MessagePump_win.h"
#include "win/PopupMenu_win.h"
#include "win/Registry_win.h"
#include "win/SecretSealer_win.h"
#include "win/SignInTimer_win.h"
#include "win/SocketPlatform_win.h"
#include "win/SystemBrowser_win.h"
#include "win/SystemRandom_win.h"
#include "win/Text_win.h"
#include "win/TlsEngine_schannel.h"
#include "win/TrayShell_win.h"
#include "win/WinWindow.h"
#include "win/aviso_win.h"
#include "win/configur_win.h"

namespace buzonix {
namespace {

constexpr UINT_PTR kCheckTimerId = 1;
constexpr UINT_PTR kResumeTimerId = 2;

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// An address as printf's %p writes it here: upper-case hexadecimal digits,
// two for each byte of a pointer.
std::string PointerText(const void* address) {
  std::string text(2 * sizeof address, '0');
  auto value = reinterpret_cast<std::uintptr_t>(address);
  for (auto digit = text.rbegin(); digit != text.rend(); ++digit, value >>= 4)
    *digit = "0123456789ABCDEF"[value & 0xF];
  return text;
}

void ShowBox(HWND owner, const std::string& text, const char* caption, UINT style) {
  MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), style);
}

// The hidden top-level window that owns every form of the program, so that
// none of them shows a taskbar button.
class ApplicationWindow final : public WinWindow {
 public:
  ApplicationWindow() {
    WindowClass windowClass;
    windowClass.name = "TApplication";
    windowClass.icon = LoadIconA(Instance(), "MAINICON");
    WindowOptions options;
    options.style = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX;
    options.title = kApplicationTitle;
    options.x = options.y = 0;
    options.width = options.height = 0;
    Create(windowClass, options);
  }
  ~ApplicationWindow() override { Destroy(); }
};

// The main form's window: off-screen and hidden for the whole run; it carries
// the check timer, the one-shot timer after a wake, and hears of the wake.
class MainFormWindow final : public WinWindow {
 public:
  struct Events {
    std::function<void()> timer, resumed, resumeTimer;
  };
  MainFormWindow(HWND owner, Events events) : events_(std::move(events)) {
    WindowClass windowClass;
    windowClass.name = "TBuzel";
    WindowOptions options;
    options.style = WS_OVERLAPPED | WS_CAPTION;
    options.title = "Buzel";
    options.x = -5000;  // off-screen, and never shown
    options.y = 120;
    options.width = 245;
    options.height = 140;
    options.parent = owner;
    Create(windowClass, options);
  }
  ~MainFormWindow() override { Destroy(); }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == WM_TIMER && wparam == kCheckTimerId) {
      events_.timer();
      return 0;
    }
    if (message == WM_TIMER && wparam == kResumeTimerId) {
      KillTimer(Handle(), kResumeTimerId);
      events_.resumeTimer();
      return 0;
    }
    if (message == WM_POWERBROADCAST) {
      if (wparam == PBT_APMRESUMEAUTOMATIC || wparam == PBT_APMRESUMESUSPEND) events_.resumed();
      return TRUE;
    }
    return WinWindow::HandleMessage(message, wparam, lparam);
  }
  Events events_;
};

// The digest library bound by name at start-up.
class WinDigestLibrary final : public DigestLibrary {
 public:
  using MDStringFunction = const char*(__stdcall*)(const char*);
  ~WinDigestLibrary() override { Release(); }
  // Only the file beside the program: one planted in the current folder or
  // on PATH would run inside the program and see every password.
  bool Load() override {
    const std::wstring program = WideProgramPath();
    const std::wstring path = program.substr(0, program.rfind(L'\\') + 1) + L"APOP.DLL";
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, 0);
    if (module == nullptr) return false;
    module_ = module;
    return true;
  }
  DigestFunction Bind() override {
    auto function = reinterpret_cast<MDStringFunction>(
        reinterpret_cast<void*>(GetProcAddress(module_, "MDString")));
    if (function == nullptr) return {};
    return [function](const std::string& text) {
      const char* digest = function(text.c_str());
      return std::string(digest != nullptr ? digest : "");
    };
  }
  void Release() override {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }

 private:
  HMODULE module_ = nullptr;
};

// The Windows half of the program: its windows, and what the application
// asks of Windows.
class Application final : private Platform {
 public:
  // The tray icon goes in first, from the only window made by then: the
  // program's other windows cost a start with Windows time it need not wait.
  Application() : store_(registry_, sealer_), sign_in_timer_([this] { buzel_->SignInTimerFired(); }) {
    buzel_ = std::make_unique<TBuzel>(static_cast<Platform&>(*this));
    app_window_.emplace();
    tray_shell_->SetApplicationWindow(app_window_->Handle());
    main_window_.emplace(app_window_->Handle(),
                         MainFormWindow::Events{[this] { buzel_->Timer1Timer(); }, [this] { buzel_->Resumed(); },
                                                [this] { buzel_->ResumeTimerTimer(); }});
    // Only once the application exists: the shell's calls made while the
    // tray icon is added let sent messages in.
    instance_window_ = std::make_unique<InstanceWindow>(InstanceWindow::Requests{
        [this] { buzel_->ConfiguracionPedida(); }, [this] { buzel_->SalirPedido(); }});
  }

  int Run() {
    // The pictures and the common controls load here, once the tray icon is
    // up (it goes in with the tooltip alone): nothing before it needs them.
    LoadPictures();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    buzel_->Start();
    ShowWindowAsync(main_window_->Handle(), SW_HIDE);
    int exit_code = 0;
    while (!buzel_->Terminating() && PumpOneMessage(exit_code)) {
    }
    buzel_->End();
    return 0;
  }

  // Ends the program from inside a waiting call (the quit request reached a
  // nested message loop): the check never resumes.
  [[noreturn]] void EndNow(int exit_code) {
    buzel_->End();
    ExitProcess(static_cast<UINT>(exit_code));
  }

 private:
  // A failure of the start-up load ends the program.
  [[noreturn]] void StartupFailed(const Failure& failure) override {
    const std::string module = ProgramFullPath();
    const std::string name = module.substr(module.rfind('\\') + 1);
    const std::string text = std::string("Exception ") + failure.kind + " in module " + name + " at " +
                             PointerText(reinterpret_cast<void*>(&ReportFatalAddress)) + ".\r\n" +
                             failure.message + ".";
    ShowBox(nullptr, text, "Application Error", MB_OK | MB_ICONSTOP);
    ExitProcess(1);
  }
  static void ReportFatalAddress() {}

  void LoadPictures() {
    const int size = GetSystemMetrics(SM_CXSMICON);
    const char* names[] = {"BANDERA0", "BANDERA1", "BANDERA2", "BANDERA5"};
    for (int i = 0; i < 4; ++i)
      pictures_[i] = static_cast<HICON>(LoadImageA(Instance(), names[i], IMAGE_ICON, size, size, 0));
  }

  // Platform
  void SetCheckTimer(unsigned milliseconds) override {
    KillTimer(main_window_->Handle(), kCheckTimerId);
    if (milliseconds > 0) SetTimer(main_window_->Handle(), kCheckTimerId, milliseconds, nullptr);
  }
  void StartResumeTimer(unsigned milliseconds) override {
    SetTimer(main_window_->Handle(), kResumeTimerId, milliseconds, nullptr);
  }
  void ErrorBox(const std::string& text) override { ShowOwnBox(text, MB_OK | MB_ICONSTOP); }
  void PlainMessage(const std::string& text) override { ShowOwnBox(text, MB_OK); }
  void ShowOwnBox(const std::string& text, UINT style) {
    ++boxes_open_;
    ShowBox(OwnerWindow(), text, kApplicationTitle, style);
    --boxes_open_;
  }
  void Beep() override { MessageBeep(0xFFFFFFFF); }
  void OpenHelpTopic(int context) override { HelpWindow::ShowTopic(context, OwnerWindow()); }
  void CreateNotice(Pop3Unit& unit) override { TFAvisa::Create(unit, OwnerWindow(), Instance()); }
  void ShowNotice(const std::string& caption) override {
    if (TFAvisa* notice = TFAvisa::Current()) {
      notice->SetCaption(caption);
      notice->Show();
    }
  }
  void OpenConfigDialog(Pop3Unit& unit, ConfHost& host) override {
    TConf::Open(unit, host, OwnerWindow(), Instance());
  }
  void BringConfigDialogToFront() override {
    TConf* conf = TConf::Current();
    if (conf == nullptr) return;
    if (IsIconic(conf->Handle())) ShowWindow(conf->Handle(), SW_RESTORE);
    SetForegroundWindow(conf->Handle());
  }
  void CloseWindows() override {
    TConf::CloseAll();
    TFAvisa::CloseAll();
    HelpWindow::CloseAll();
  }
  std::unique_ptr<TrayShell> MakeTrayShell() override {
    auto shell = std::make_unique<WinTrayShell>();
    tray_shell_ = shell.get();
    return shell;
  }
  // The owner of the program's boxes and forms; none before the tray icon is in.
  HWND OwnerWindow() const { return app_window_ ? app_window_->Handle() : nullptr; }
  PopupMenuBase* BuildMenu(std::vector<MenuItem> items) override {
    for (MenuItem& item : items) {
      if (item.label.empty())
        menu_.AddSeparator();
      else
        menu_.AddItem(item.label, std::move(item.command));
    }
    return &menu_;
  }
  ShellHandle Picture(TrayPicture picture) override {
    return static_cast<ShellHandle>(reinterpret_cast<std::uintptr_t>(pictures_[static_cast<int>(picture)]));
  }
  SocketPlatform& Sockets() override { return sockets_; }
  TlsEngineFactory TlsEngines() override { return MakeSchannelEngine; }
  DigestLibrary& Digest() override { return digest_library_; }
  SettingsStore& Store() override { return store_; }
  HttpsTransport& Https() override { return https_; }
  SystemBrowser& Browser() override { return browser_; }
  LoopbackListener& Listener() override { return listener_; }
  OneShotTimer& SignInTimer() override { return sign_in_timer_; }
  std::string RandomBytes(std::size_t count) override { return SystemRandomBytes(count); }
  std::int64_t MonotonicSeconds() override { return SecondsSinceStart(); }
  std::string ProgramPath() override { return ProgramFullPath(); }
  // The main loop sees the request before it waits again. A socket call or a
  // token request that is waiting, and a box of the program's, run loops of their own, which
  // only a quit message reaches (a box closes on it and passes it on).
  void Terminate() override {
    if (sockets_.IsBlocking() || https_.Waiting() || boxes_open_ > 0) {
      PostQuitMessage(0);
      return;
    }
    // A request sent from another program (the installer's WM_CLOSE) is
    // handled inside the main loop's wait, which only a posted message ends.
    PostMessageW(main_window_->Handle(), WM_NULL, 0, 0);
  }

  // Made once the tray icon is in; declared first, so that they go last.
  std::optional<ApplicationWindow> app_window_;
  std::optional<MainFormWindow> main_window_;
  Win32Registry registry_;
  DpapiSealer sealer_;
  RegistryStore store_;
  WinHttpsTransport https_;
  WinSystemBrowser browser_;
  WinLoopbackListener listener_;
  WinOneShotTimer sign_in_timer_;
  WinSocketPlatform sockets_;
  WinDigestLibrary digest_library_;
  WinPopupMenu menu_;
  HICON pictures_[4] = {};
  int boxes_open_ = 0;
  WinTrayShell* tray_shell_ = nullptr;  // TBuzel's tray icon owns it
  std::unique_ptr<TBuzel> buzel_;
  std::unique_ptr<InstanceWindow> instance_window_;
};

}  // namespace
}  // namespace buzonix

// The program raises no exception; should the runtime still end it (memory
// ran out), it ends quietly. The runtime's own verbose handler would link its
// symbol demangler, some 50 KB, for that.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

// Takes the current folder out of the search for DLLs, and where the system
// offers it, limits the search to the program's folder and the system's.
void RestrictLibrarySearch() {
  SetDllDirectoryW(L"");
  using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
  const auto set = reinterpret_cast<SetDefaultDirectories>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (set != nullptr) set(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictLibrarySearch();
  // Held for the whole run: the session's one copy.
  buzonix::WinInstanceChannel instance;
  switch (buzonix::DecideStart(instance)) {
    case buzonix::StartDecision::kRun: break;
    case buzonix::StartDecision::kHandedOver: return 0;
    case buzonix::StartDecision::kNoAnswer: return 1;
  }
  static buzonix::Application* application = nullptr;
  // Told as the program tells its errors; the tray icon goes with the program.
  buzonix::SetSystemFailureHandler([](const std::string& text) {
    buzonix::ShowBox(nullptr, text + ".", buzonix::kApplicationTitle, MB_OK | MB_ICONSTOP);
    if (application != nullptr) application->EndNow(1);
  });
  buzonix::Application app;
  application = &app;
  buzonix::WinSocketPlatform::SetQuitHandler([](int code) { application->EndNow(code); });
  buzonix::WinSocketPlatform::SetExitHandler([](int code) { application->EndNow(code); });
  return app.Run();
}
