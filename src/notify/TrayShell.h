#pragma once
// The platform side of the tray icon: the shell's notification area and the
// hidden window that receives its callbacks. The tray icon component talks to
// it only through this interface, so its rules can be tested without Windows.

#include <cstdint>

namespace buzonix {

// Window and icon handles of the 32-bit program; 0 is the null handle.
using ShellHandle = std::uint32_t;

// The shell's notification record, field for field as the 32-bit
// NOTIFYICONDATAA of the first shell version (88 bytes).
struct NotifyRecord {
  std::uint32_t cbSize = 0;
  ShellHandle hWnd = 0;
  std::uint32_t uID = 0;
  std::uint32_t uFlags = 0;
  std::uint32_t uCallbackMessage = 0;
  ShellHandle hIcon = 0;
  char szTip[64] = {};
};
static_assert(sizeof(NotifyRecord) == 88, "the record mirrors the 88-byte NOTIFYICONDATAA");

// The shell's operation codes (NIM_ADD, NIM_MODIFY, NIM_DELETE).
enum class ShellNotifyMessage : int { Add = 0, Modify = 1, Delete = 2 };

struct ScreenPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

// What the hidden window hands back to its owner.
class TrayShellClient {
 public:
  // Any message of the hidden window; false when it is not the client's
  // (the window then gives it the default processing).
  virtual bool HandleMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
  // The shell's "TaskbarCreated" broadcast: the taskbar was (re)created.
  virtual void HandleTaskbarCreated() = 0;
  // A tick of the timer started with TrayShell::StartRetryTimer.
  virtual void HandleRetryTimer() = 0;

 protected:
  ~TrayShellClient() = default;
};

class TrayShell {
 public:
  virtual ~TrayShell() = default;

  // Routes the hidden window's messages to client (nullptr: to nobody).
  virtual void Attach(TrayShellClient* client) = 0;
  // The hidden window that receives the shell's callbacks.
  virtual ShellHandle CallbackWindow() const = 0;

  // Shell_NotifyIconA; true when the shell accepted the call.
  virtual bool Notify(ShellNotifyMessage message, const NotifyRecord& record) = 0;
  // Posts the deferred refresh (WM_USER + 2) to the hidden window.
  virtual void PostRefresh() = 0;

  virtual ScreenPoint CursorPosition() = 0;
  // Makes the application's own top-level window the foreground window.
  virtual void BringApplicationToForeground() = 0;
  // Dispatches every message already waiting in the thread's queue.
  virtual void DispatchPendingMessages() = 0;

  // A new icon with the same image (0 for 0), owned by the caller.
  virtual ShellHandle CopyIcon(ShellHandle icon) = 0;
  virtual void DestroyIcon(ShellHandle icon) = 0;

  virtual void StartRetryTimer(unsigned intervalMs) = 0;
  virtual void StopRetryTimer() = 0;
};

}  // namespace buzonix
