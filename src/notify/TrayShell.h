#pragma once
// The platform side of the tray icon: the desktop's notification area and
// whatever receives its events. The tray icon component talks to it only in
// its own terms (show this picture and text, take it away; the user clicked,
// double-clicked, asked for the menu), so its rules can be tested without a
// desktop and each platform keeps its own records and event numbers.

#include <cstddef>
#include <cstdint>
#include <string>

namespace buzonix {

// An icon (or window) handle of the platform, pointer-sized; 0 is no handle.
using ShellHandle = std::uintptr_t;

// What the notification area is asked to do with the program's one icon.
enum class ShellNotifyMessage { Add, Modify, Delete };

// What the icon shows. The text is at most the shell's MaxToolTipLength long.
struct TrayLook {
  ShellHandle icon = 0;
  std::string toolTip;
};

struct ScreenPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

// What the shell hands back to the tray icon.
class TrayShellClient {
 public:
  // The user's gestures on the icon, once each: a left click (the release),
  // a double click, and a request for the menu (the right button's release).
  virtual void HandleClick() = 0;
  virtual void HandleDoubleClick() = 0;
  // at: where the pointer was when the menu was asked for.
  virtual void HandleMenuRequest(ScreenPoint at) = 0;
  // The refresh posted with TrayShell::PostRefresh has come round.
  virtual void HandleRefresh() = 0;
  // The notification area was (re)created and is empty.
  virtual void HandleTaskbarCreated() = 0;
  // A tick of the timer started with TrayShell::StartRetryTimer.
  virtual void HandleRetryTimer() = 0;

 protected:
  ~TrayShellClient() = default;
};

class TrayShell {
 public:
  virtual ~TrayShell() = default;

  // Routes the shell's events to client (nullptr: to nobody).
  virtual void Attach(TrayShellClient* client) = 0;

  // true when the notification area accepted the request. A delete names the
  // icon alone; the look it is given is the last one shown.
  virtual bool Notify(ShellNotifyMessage message, const TrayLook& look) = 0;
  // The longest tooltip the notification area takes; a longer one is cut.
  virtual std::size_t MaxToolTipLength() const = 0;

  // What the Windows notification area needs of the program besides. A tray
  // that keeps its own copy of the picture, takes a tooltip at any time,
  // opens its menu itself and puts its icon back by itself (Qt's) keeps these
  // defaults.

  // Calls HandleRefresh once the event loop runs again.
  virtual void PostRefresh() {}
  // Before the program opens its own pop-up menu: makes the application's
  // top-level window the foreground window, then dispatches every event
  // already waiting in the thread's queue.
  virtual void BringApplicationToForeground() {}
  virtual void DispatchPendingMessages() {}
  // A new icon with the same image (0 for 0), owned by the caller. By
  // default a handle names a picture that outlives the icon, and serves as is.
  virtual ShellHandle CopyIcon(ShellHandle icon) { return icon; }
  virtual void DestroyIcon(ShellHandle) {}
  // Ticks HandleRetryTimer while a refused add is tried again.
  virtual void StartRetryTimer(unsigned /*intervalMs*/) {}
  virtual void StopRetryTimer() {}
};

}  // namespace buzonix
