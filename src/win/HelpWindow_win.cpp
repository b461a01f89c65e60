#include "win/HelpWindow_win.h"

#include <string>

#include "text/HelpTopics.h"
#include "win/Text_win.h"

namespace buzonix {

std::unique_ptr<HelpWindow> HelpWindow::current_;

namespace {
// The window's size at 96 DPI.
constexpr int kWidth = 460;
constexpr int kHeight = 360;
constexpr int kFontPoints = 8;
}  // namespace

HelpWindow::HelpWindow(HWND owner) {
  WindowClass windowClass;
  windowClass.name = "BuzonixHelp";
  windowClass.cursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.icon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
  WindowOptions options;
  options.style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
  // Sized for the DPI of the monitor of its owner.
  const int dpi = WindowDpi(owner);
  options.width = ScaleForDpi(kWidth, dpi);
  options.height = ScaleForDpi(kHeight, dpi);
  options.x = (GetSystemMetrics(SM_CXSCREEN) - options.width) / 2;
  options.y = (GetSystemMetrics(SM_CYSCREEN) - options.height) / 2;
  options.parent = owner;  // owned, so no taskbar button of its own
  Create(windowClass, options);
  text_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                          WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                              ES_AUTOVSCROLL,
                          0, 0, 0, 0, Handle(), nullptr, GetModuleHandleA(nullptr), nullptr);
  UseFontFor(WindowDpi(Handle()));
  RECT client;
  GetClientRect(Handle(), &client);
  MoveWindow(text_, 0, 0, client.right, client.bottom, FALSE);
}

HelpWindow::~HelpWindow() {
  Destroy();
  if (font_ != nullptr) DeleteObject(font_);
}

void HelpWindow::UseFontFor(int dpi) {
  const HFONT old = font_;
  font_ = CreateFontA(-MulDiv(kFontPoints, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                      "MS Shell Dlg");
  SendMessageA(text_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  if (old != nullptr) DeleteObject(old);
}

void HelpWindow::Display(int context) {
  const HelpTopic& topic = FindHelpTopic(context);
  SetText(Handle(), HelpWindowTitle(topic));
  SetText(text_, topic.text);
  ShowWindow(Handle(), SW_SHOWNORMAL);
  SetForegroundWindow(Handle());
  SetFocus(text_);
}

void HelpWindow::ShowTopic(int context, HWND owner) {
  if (!current_) current_.reset(new HelpWindow(owner));
  current_->Display(context);
}

bool HelpWindow::PreTranslate(MSG& msg) {
  const HWND window = Handle();
  if (window == nullptr || msg.message != WM_KEYDOWN || msg.wParam != VK_ESCAPE) return false;
  if (msg.hwnd != window && GetParent(msg.hwnd) != window) return false;
  PostMessageA(window, WM_CLOSE, 0, 0);
  return true;
}

void HelpWindow::CloseAll() { current_.reset(); }

LRESULT HelpWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      MoveWindow(text_, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
      return 0;
    case WM_DPICHANGED: {
      UseFontFor(DpiOf(wparam));
      const RECT& r = SuggestedRectOf(lparam);
      SetWindowPos(Handle(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CLOSE:
      // Kept for the next topic; closing only hides it.
      ShowWindow(Handle(), SW_HIDE);
      return 0;
    default:
      return WinWindow::HandleMessage(message, wparam, lparam);
  }
}

}  // namespace buzonix
