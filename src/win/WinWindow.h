// WinWindow: the C++ object behind one window. A single window procedure finds
// the object of each window and hands it every message, so derived classes
// only override HandleMessage. No C++ exception ever unwinds through a Windows
// frame: what a handler lets escape goes to the unhandled-error hook, and the
// program goes on. The few procedures the system calls that are not a
// window's own (a control's subclass, the keys before dispatch) run under
// the same guard, Guarded.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <utility>

namespace buzonix {

// Receives every exception that escapes a window's handler. Without a hook
// the error is shown in a stop box captioned "Error".
void SetUnhandledErrorHook(std::function<void(std::exception_ptr)> hook);

// Hands `error` to the hook (or the stop box); never throws.
void ReportUnhandledError(std::exception_ptr error) noexcept;

// Runs `handler` for code the system called: what it lets escape is
// reported, and `onError` is returned in its place.
template <typename Handler>
auto Guarded(Handler&& handler, decltype(handler()) onError) noexcept -> decltype(handler()) {
  try {
    return handler();
  } catch (...) {
    ReportUnhandledError(std::current_exception());
  }
  return onError;
}

// what() of a std::exception; a generic text for anything else.
std::string DescribeException(std::exception_ptr error);

// A failed Windows call or a missing resource. Not std::runtime_error: that
// class keeps its text in a second, copy-on-write string implementation the
// program would otherwise not link.
class WinError : public std::exception {
 public:
  explicit WinError(std::string text) : text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  std::string text_;
};

// Throws WinError "call: <the system's text for GetLastError()>", the text
// std::system_error gives, without linking that class and its categories.
[[noreturn]] void ThrowLastError(const char* call);

struct WindowClass {
  const char* name = nullptr;
  UINT style = 0;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
};

struct WindowOptions {
  DWORD exStyle = 0;
  DWORD style = WS_OVERLAPPEDWINDOW;
  const char* title = "";
  int x = CW_USEDEFAULT;
  int y = CW_USEDEFAULT;
  int width = CW_USEDEFAULT;
  int height = CW_USEDEFAULT;
  HWND parent = nullptr;
};

class WinWindow {
 public:
  WinWindow(const WinWindow&) = delete;
  WinWindow& operator=(const WinWindow&) = delete;
  virtual ~WinWindow();

  // Null before Create and once the window has been destroyed.
  HWND Handle() const { return hwnd_; }

  // Destroys the window now; nothing happens when there is none. A derived
  // class whose handler must see WM_DESTROY calls it from its own destructor,
  // since by the time this base's destructor runs the override is gone.
  void Destroy();

 protected:
  WinWindow() = default;

  // Registers the class on its first use, then creates the window; throws
  // (ThrowLastError) when the system refuses.
  void Create(const WindowClass& windowClass, const WindowOptions& options);

  // A hidden top-level window without a taskbar button. Unlike a message-only
  // window it receives broadcasts, such as the shell's "TaskbarCreated".
  void CreateHidden(const char* className);
  // A window that only receives what is sent or posted to it.
  void CreateMessageOnly(const char* className);

  // One message of the window; the default processing unless overridden.
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK Route(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static void RegisterOnce(const WindowClass& windowClass);

  HWND hwnd_ = nullptr;
};

}  // namespace buzonix
