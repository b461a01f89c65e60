#include "win/WinWindow.h"

#include <utility>

#include "win/Text_win.h"

namespace buzonix {

namespace {

void (*g_failure_handler)(const std::string& text) = nullptr;

std::string SystemText(DWORD code) {
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '.' || text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' '))
    --length;
  return length > 0 ? std::string(text, length) : "Unknown error code";
}

HINSTANCE ProgramInstance() { return GetModuleHandleA(nullptr); }

void Attach(HWND hwnd, WinWindow* window) {
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
}

}  // namespace

void SetSystemFailureHandler(void (*handler)(const std::string& text)) { g_failure_handler = handler; }

void EndOnSystemFailure(const std::string& text) {
  // A failure while the program ends is not told twice.
  static bool ending = false;
  if (!std::exchange(ending, true)) {
    if (g_failure_handler != nullptr)
      g_failure_handler(text);
    else
      MessageBoxW(nullptr, Wide(text + ".").c_str(), L"Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
  }
  ExitProcess(1);
}

void EndOnFailedCall(const char* call) {
  const DWORD code = GetLastError();
  EndOnSystemFailure(std::string(call) + ": " + SystemText(code));
}

WinWindow::~WinWindow() { Destroy(); }

void WinWindow::Destroy() {
  if (hwnd_ == nullptr) return;
  const HWND hwnd = hwnd_;
  DestroyWindow(hwnd);
  // WM_NCDESTROY has cleared hwnd_; if the system refused (another thread's
  // window), at least stop routing to an object that is going away.
  if (hwnd_ != nullptr) {
    Attach(hwnd, nullptr);
    hwnd_ = nullptr;
  }
}

void WinWindow::RegisterOnce(const WindowClass& windowClass) {
  const std::wstring name = Wide(windowClass.name);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(ProgramInstance(), name.c_str(), &existing)) return;

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = windowClass.style;
  wc.lpfnWndProc = &WinWindow::Route;
  wc.hInstance = ProgramInstance();
  wc.hIcon = windowClass.icon;
  wc.hCursor = windowClass.cursor;
  wc.hbrBackground = windowClass.background;
  wc.lpszClassName = name.c_str();
  if (RegisterClassExW(&wc) == 0)
    EndOnFailedCall("RegisterClassExW");
}

void WinWindow::Create(const WindowClass& windowClass, const WindowOptions& options) {
  RegisterOnce(windowClass);
  const HWND hwnd = CreateWindowExW(options.exStyle, Wide(windowClass.name).c_str(),
                                    Wide(options.title).c_str(), options.style,
                                    options.x, options.y, options.width, options.height,
                                    options.parent, nullptr, ProgramInstance(), this);
  if (hwnd == nullptr) {
    hwnd_ = nullptr;  // a handler may have failed the creation after WM_NCCREATE
    EndOnFailedCall("CreateWindowExW");
  }
}

void WinWindow::CreateHidden(const char* className) {
  WindowOptions options;
  options.exStyle = WS_EX_TOOLWINDOW;
  options.style = WS_POPUP;
  options.x = options.y = options.width = options.height = 0;
  Create(WindowClass{.name = className}, options);
}

void WinWindow::CreateMessageOnly(const char* className) {
  WindowOptions options;
  options.style = 0;
  options.x = options.y = options.width = options.height = 0;
  options.parent = HWND_MESSAGE;
  Create(WindowClass{.name = className}, options);
}

LRESULT WinWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK WinWindow::Route(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<WinWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    window = static_cast<WinWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    window->hwnd_ = hwnd;
    Attach(hwnd, window);
  }
  // Messages before WM_NCCREATE (WM_GETMINMAXINFO) and after WM_NCDESTROY.
  if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);

  const LRESULT result = window->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    Attach(hwnd, nullptr);
    window->hwnd_ = nullptr;
  }
  return result;
}

}  // namespace buzonix
