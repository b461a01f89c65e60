// The tray icon's platform layer on Windows: Shell_NotifyIconA with the
// first-version 88-byte record, and the hidden window that receives the
// shell's callbacks, the deferred refresh, the retry timer and the
// "TaskbarCreated" broadcast.
#pragma once

#include <windows.h>

#include "notify/TrayShell.h"
#include "win/WinWindow.h"

namespace buzonix {

// Conversions between the system's handles and the 32-bit handles of the
// portable record (window and icon handles carry 32 significant bits).
ShellHandle ToShellHandle(HANDLE handle);
HWND ToWindowHandle(ShellHandle handle);
HICON ToIconHandle(ShellHandle handle);

class WinTrayShell final : public TrayShell, private WinWindow {
 public:
  // applicationWindow: the program's top-level window, brought to the
  // foreground before the pop-up menu opens; null means the tray's own window.
  explicit WinTrayShell(HWND applicationWindow = nullptr);
  ~WinTrayShell() override;

  // For a program whose top-level window is made after the tray icon.
  void SetApplicationWindow(HWND window) { applicationWindow_ = window; }

  HWND Window() const { return Handle(); }
  UINT TaskbarCreatedMessage() const { return taskbarCreated_; }

  void Attach(TrayShellClient* client) override { client_ = client; }
  ShellHandle CallbackWindow() const override { return ToShellHandle(Handle()); }
  bool Notify(ShellNotifyMessage message, const NotifyRecord& record) override;
  void PostRefresh() override;
  ScreenPoint CursorPosition() override;
  void BringApplicationToForeground() override;
  void DispatchPendingMessages() override;
  ShellHandle CopyIcon(ShellHandle icon) override;
  void DestroyIcon(ShellHandle icon) override;
  void StartRetryTimer(unsigned intervalMs) override;
  void StopRetryTimer() override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  HWND applicationWindow_;
  UINT taskbarCreated_;
  TrayShellClient* client_ = nullptr;
};

}  // namespace buzonix
