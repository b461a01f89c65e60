#include "win/TrayShell_win.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "win/MessagePump_win.h"
#include "win/Text_win.h"

namespace buzonix {

namespace {

constexpr UINT_PTR kRetryTimerId = 1;

ScreenPoint CursorPosition() {
  POINT point{};
  GetCursorPos(&point);
  return {static_cast<int>(point.x), static_cast<int>(point.y)};
}

}  // namespace

ShellHandle ToShellHandle(HANDLE handle) { return reinterpret_cast<ShellHandle>(handle); }

HICON ToIconHandle(ShellHandle handle) { return reinterpret_cast<HICON>(handle); }

NOTIFYICONDATAW NotifyIconRecord(HWND window, const TrayLook& look) {
  // The whole current structure, zeroed, of which the shell reads only the
  // first-version part that cbSize names. The tooltip goes as UTF-16, so it
  // reads right under any code page.
  NOTIFYICONDATAW data{};
  data.cbSize = NOTIFYICONDATAW_V1_SIZE;
  data.hWnd = window;
  data.uID = 0;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayCallbackMessage;
  data.hIcon = ToIconHandle(look.icon);
  const std::wstring tip = Wide(look.toolTip);
  tip.copy(data.szTip, std::min(tip.size(), std::size(data.szTip) - 1));
  return data;
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

bool WinTrayShell::Notify(ShellNotifyMessage message, const TrayLook& look) {
  NOTIFYICONDATAW data = NotifyIconRecord(Handle(), look);
  DWORD operation = NIM_ADD;
  if (message == ShellNotifyMessage::Modify) operation = NIM_MODIFY;
  if (message == ShellNotifyMessage::Delete) operation = NIM_DELETE;
  return Shell_NotifyIconW(operation, &data) != FALSE;
}

void WinTrayShell::PostRefresh() { PostMessageA(Handle(), kTrayRefreshMessage, 0, 0); }

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
    if (message == kTrayRefreshMessage) {
      client_->HandleRefresh();
      return 0;
    }
    if (message == kTrayCallbackMessage) {
      HandleMouse(lParam);
      return 0;
    }
  }
  return WinWindow::HandleMessage(message, wParam, lParam);
}

void WinTrayShell::HandleMouse(LPARAM mouseMessage) {
  // Presses, moves and the other buttons mean nothing to the program.
  switch (mouseMessage) {
    case WM_LBUTTONUP:
      client_->HandleClick();
      break;
    case WM_LBUTTONDBLCLK:
      client_->HandleDoubleClick();
      break;
    case WM_RBUTTONUP:
      client_->HandleMenuRequest(CursorPosition());
      break;
    default:
      break;
  }
}

}  // namespace buzonix
