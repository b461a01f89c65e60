// The tray icon's platform layer on Windows: Shell_NotifyIconA with the
// first-version 88-byte record, and the hidden window that receives the
// shell's callbacks, the deferred refresh, the retry timer and the
// "TaskbarCreated" broadcast.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "notify/TrayShell.h"
#include "win/WinWindow.h"

namespace buzonix {

// Conversions between the system's handles and the portable ones.
ShellHandle ToShellHandle(HANDLE handle);
HICON ToIconHandle(ShellHandle handle);

// The messages of the hidden window that carry the shell's events.
inline constexpr UINT kTrayCallbackMessage = WM_USER + 1;  // sent by the shell
inline constexpr UINT kTrayRefreshMessage = WM_USER + 2;   // posted to itself

// The first-version record (88 bytes in the 32-bit program) that the shell
// is given for the icon of `window` showing `look`: the callback message, the
// icon and the tooltip, the rest of the tip zero.
NOTIFYICONDATAW NotifyIconRecord(HWND window, const TrayLook& look);

class WinTrayShell final : public TrayShell, private WinWindow {
 public:
  // applicationWindow: the program's top-level window, brought to the
  // foreground before the pop-up menu opens; null means the tray's own window.
  explicit WinTrayShell(HWND applicationWindow = nullptr);
  // For a program that makes that window after its icon is in.
  void SetApplicationWindow(HWND window) { applicationWindow_ = window; }
  ~WinTrayShell() override;

  HWND Window() const { return Handle(); }
  UINT TaskbarCreatedMessage() const { return taskbarCreated_; }

  void Attach(TrayShellClient* client) override { client_ = client; }
  bool Notify(ShellNotifyMessage message, const TrayLook& look) override;
  // The record holds 63 characters; the component has always kept one fewer.
  std::size_t MaxToolTipLength() const override { return 62; }
  void PostRefresh() override;
  void BringApplicationToForeground() override;
  void DispatchPendingMessages() override;
  ShellHandle CopyIcon(ShellHandle icon) override;
  void DestroyIcon(ShellHandle icon) override;
  void StartRetryTimer(unsigned intervalMs) override;
  void StopRetryTimer() override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // The shell's callback: the mouse message it reports, as the user's gesture.
  void HandleMouse(LPARAM mouseMessage);

  HWND applicationWindow_;
  UINT taskbarCreated_;
  TrayShellClient* client_ = nullptr;
};

}  // namespace buzonix
