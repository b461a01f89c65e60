#include "win/TrayShell_win.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

namespace buzonix {

namespace {

constexpr UINT_PTR kRetryTimerId = 1;

}  // namespace

ShellHandle ToShellHandle(HANDLE handle) { return reinterpret_cast<ShellHandle>(handle); }

HICON ToIconHandle(ShellHandle handle) { return reinterpret_cast<HICON>(handle); }

NOTIFYICONDATAA NotifyIconRecord(HWND window, const TrayLook& look) {
  // The whole current structure, zeroed, of which the shell reads only the
  // first-version part that cbSize names.
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window;
  data.uID = 0;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayCallbackMessage;
  data.hIcon = ToIconHandle(look.icon);
  const std::size_t length = std::min(look.toolTip.size(), sizeof data.szTip - 1);
  std::memcpy(data.szTip, look.toolTip.data(), length);
  return data;
}

WinTrayShell::WinTrayShell(HWND applicationWindow)
    : applicationWindow_(applicationWindow),
      taskbarCreated_(RegisterWindowMessageA("TaskbarCreated")) {
  CreateHidden("BuzonixTrayIconWindow");
}

WinTrayShell::~WinTrayShell() {
  StopRetryTimer();
  Destroy();
}

bool WinTrayShell::Notify(ShellNotifyMessage message, const TrayLook& look) {
  NOTIFYICONDATAA data = NotifyIconRecord(Handle(), look);
  DWORD operation = NIM_ADD;
  if (message == ShellNotifyMessage::Modify) operation = NIM_MODIFY;
  if (message == ShellNotifyMessage::Delete) operation = NIM_DELETE;
  return Shell_NotifyIconA(operation, &data) != FALSE;
}

void WinTrayShell::PostRefresh() { PostMessageA(Handle(), kTrayRefreshMessage, 0, 0); }

ScreenPoint WinTrayShell::CursorPosition() {
  POINT point{};
  GetCursorPos(&point);
  return {static_cast<int>(point.x), static_cast<int>(point.y)};
}

void WinTrayShell::BringApplicationToForeground() {
  SetForegroundWindow(applicationWindow_ != nullptr ? applicationWindow_ : Handle());
}

void WinTrayShell::DispatchPendingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The quit request belongs to the main message loop: put it back.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

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
      client_->HandleMenuRequest();
      break;
    default:
      break;
  }
}

}  // namespace buzonix
