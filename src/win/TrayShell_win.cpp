#include "win/TrayShell_win.h"

#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "win/MessagePump_win.h"
#include "win/Text_win.h"

namespace buzonix {

namespace {

constexpr UINT kRefreshMessage = WM_USER + 2;
constexpr UINT_PTR kRetryTimerId = 1;

}  // namespace

ShellHandle ToShellHandle(HANDLE handle) {
  return static_cast<ShellHandle>(reinterpret_cast<std::uintptr_t>(handle));
}

// Sign-extended, as the system widens 32-bit handles.
HWND ToWindowHandle(ShellHandle handle) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(static_cast<std::int32_t>(handle)));
}

HICON ToIconHandle(ShellHandle handle) {
  return reinterpret_cast<HICON>(static_cast<std::intptr_t>(static_cast<std::int32_t>(handle)));
}

WinTrayShell::WinTrayShell(HWND applicationWindow)
    : applicationWindow_(applicationWindow),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
  CreateHidden("BuzonixTrayIconWindow");
}

WinTrayShell::~WinTrayShell() {
  StopRetryTimer();
  Destroy();
}

bool WinTrayShell::Notify(ShellNotifyMessage message, const NotifyRecord& record) {
  // The first-version record, which every shell reads; the tooltip goes to it
  // as UTF-16, so it reads right under any code page.
  NOTIFYICONDATAW data{};
  data.cbSize = NOTIFYICONDATAW_V1_SIZE;
  data.hWnd = ToWindowHandle(record.hWnd);
  data.uID = record.uID;
  data.uFlags = record.uFlags;
  data.uCallbackMessage = record.uCallbackMessage;
  data.hIcon = ToIconHandle(record.hIcon);
  const std::string tip(record.szTip, strnlen(record.szTip, sizeof record.szTip));
  const std::wstring wide = Wide(tip);
  wide.copy(data.szTip, std::min(wide.size(), std::size(record.szTip) - 1));
  return Shell_NotifyIconW(static_cast<DWORD>(message), &data) != FALSE;
}

void WinTrayShell::PostRefresh() { PostMessageA(Handle(), kRefreshMessage, 0, 0); }

ScreenPoint WinTrayShell::CursorPosition() {
  POINT point{};
  GetCursorPos(&point);
  return {static_cast<int>(point.x), static_cast<int>(point.y)};
}

void WinTrayShell::BringApplicationToForeground() {
  SetForegroundWindow(applicationWindow_ != nullptr ? applicationWindow_ : Handle());
}

void WinTrayShell::DispatchPendingMessages() { PumpQueuedMessages(); }

ShellHandle WinTrayShell::CopyIcon(ShellHandle icon) {
  if (icon == 0) return 0;
  return ToShellHandle(::CopyIcon(ToIconHandle(icon)));
}

void WinTrayShell::DestroyIcon(ShellHandle icon) {
  if (icon != 0) ::DestroyIcon(ToIconHandle(icon));
}

void WinTrayShell::StartRetryTimer(unsigned intervalMs) {
  SetTimer(Handle(), kRetryTimerId, intervalMs, nullptr);
}

void WinTrayShell::StopRetryTimer() {
  if (Handle() != nullptr) KillTimer(Handle(), kRetryTimerId);
}

LRESULT WinTrayShell::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (client_ != nullptr) {
    if (taskbarCreated_ != 0 && message == taskbarCreated_) {
      client_->HandleTaskbarCreated();
      return 0;
    }
    if (message == WM_TIMER && wParam == kRetryTimerId) {
      client_->HandleRetryTimer();
      return 0;
    }
    if (client_->HandleMessage(message, wParam, lParam)) return 0;
  }
  return WinWindow::HandleMessage(message, wParam, lParam);
}

}  // namespace buzonix
