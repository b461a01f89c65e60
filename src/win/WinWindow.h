// WinWindow: the C++ object behind one window. A single window procedure finds
// the object of each window and hands it every message, so derived classes
// only override HandleMessage. The program raises no C++ exception, so none
// can unwind through a Windows frame.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace buzonix {

// A failure the program cannot go on from: the system refused a window, a
// menu, a picture or random bytes, or one of the program's own resources is
// missing. The handler (the program's: it takes its tray icon away first)
// shows `text` and ends the process with status 1; without one, a stop box
// captioned "Error" shows it.
[[noreturn]] void EndOnSystemFailure(const std::string& text);
// The same for a refused call: "call: <the system's text for GetLastError()>".
[[noreturn]] void EndOnFailedCall(const char* call);
void SetSystemFailureHandler(void (*handler)(const std::string& text));

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

  // Registers the class on its first use, then creates the window; the
  // program ends (EndOnFailedCall) when the system refuses.
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
