// The one port between the application and a platform: what TBuzel asks of
// Windows or of the Qt desktop. Everything else the two programs do is the
// core's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/SettingsStore.h"
#include "config/configur.h"
#include "mailcheck/CheckMail.h"
#include "network/SocketPlatform.h"
#include "network/TlsEngine.h"
#include "notify/PopupMenu.h"
#include "notify/TrayShell.h"
#include "signin/Ports.h"
#include "state/unit.h"
#include "text/Failure.h"

namespace buzonix {

// The external digest library and its function.
class DigestLibrary {
 public:
  virtual ~DigestLibrary() = default;
  virtual bool Load() = 0;
  // The bound function, or an empty one when the library lacks it.
  virtual DigestFunction Bind() = 0;
  virtual void Release() = 0;
};

// One entry of the tray menu; an empty label is a separator.
struct MenuItem {
  std::string label;
  std::function<void()> command;
};

class Platform {
 public:
  // The check timer: fires every `milliseconds` from now on; 0 stops it.
  virtual void SetCheckTimer(unsigned milliseconds) = 0;
  // Calls TBuzel::ResumeTimerTimer once, `milliseconds` from now (a running
  // one starts over).
  virtual void StartResumeTimer(unsigned milliseconds) = 0;

  virtual void ErrorBox(const std::string& text) = 0;     // stop icon, program caption
  virtual void PlainMessage(const std::string& text) = 0;  // no icon
  virtual void Beep() = 0;
  // A failure that stopped the start-up load; the platform decides whether
  // the program goes on.
  virtual void StartupFailed(const Failure& failure) = 0;

  virtual void OpenHelpTopic(int context) = 0;
  // A new notice window, which marks itself open in the unit.
  virtual void CreateNotice(Pop3Unit& unit) = 0;
  // The notice window shown with `caption`, if there is one.
  virtual void ShowNotice(const std::string& caption) = 0;
  // The configuration dialog over its handlers' host.
  virtual void OpenConfigDialog(Pop3Unit& unit, ConfHost& host) = 0;
  // The open configuration dialog to the front, with the keyboard's focus.
  virtual void BringConfigDialogToFront() = 0;
  // Program end: every window goes at once.
  virtual void CloseWindows() = 0;

  virtual std::unique_ptr<TrayShell> MakeTrayShell() = 0;
  // The tray menu with these entries, owned by the platform; null where the
  // desktop opens the icon's menu itself.
  virtual PopupMenuBase* BuildMenu(std::vector<MenuItem> items) = 0;
  // The icon held by one of the four images (owned by the platform).
  virtual ShellHandle Picture(TrayPicture picture) = 0;

  virtual SocketPlatform& Sockets() = 0;
  virtual TlsEngineFactory TlsEngines() = 0;
  virtual DigestLibrary& Digest() = 0;
  virtual SettingsStore& Store() = 0;

  // Sign-in with a provider: loaded or opened on first use, never at start.
  virtual HttpsTransport& Https() = 0;
  virtual SystemBrowser& Browser() = 0;
  virtual LoopbackListener& Listener() = 0;
  // The sign-in's wait: its firing calls TBuzel::SignInTimerFired.
  virtual OneShotTimer& SignInTimer() = 0;
  // `count` bytes from the system's cryptographic random source.
  virtual std::string RandomBytes(std::size_t count) = 0;
  // Seconds on a clock that never goes back.
  virtual std::int64_t MonotonicSeconds() = 0;

  // The running module's full file name.
  virtual std::string ProgramPath() = 0;
  // Asks the application to end once its event loop sees the request.
  virtual void Terminate() = 0;

 protected:
  ~Platform() = default;
};

}  // namespace buzonix
