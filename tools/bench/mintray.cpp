// The floor for the tray benchmarks: a Win32 program that only adds one tray
// icon with a tooltip and waits in its message loop. Started with the word
// "sockets" it also loads what Buzonix cannot start without (the common
// controls of its dialog and Winsock), the floor for resident memory. With
// the word "shell" it only holds a hidden window of another class and shows
// no icon: Wine's desktop process (its taskbar and notification area) ends
// with the last window, and on Windows the shell is up before any start.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <winsock.h>

#include <cstring>

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  // Loaded by name, so that the plain floor does not import them.
  if (std::strstr(command_line, "sockets") != nullptr) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    using InitControls = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    using Startup = int(WINAPI*)(WORD, WSADATA*);
    auto init = reinterpret_cast<InitControls>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("comctl32.dll"), "InitCommonControlsEx")));
    auto startup =
        reinterpret_cast<Startup>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("wsock32.dll"), "WSAStartup")));
    WSADATA data;
    if (init != nullptr) init(&controls);
    if (startup != nullptr) startup(0x0101, &data);
  }
  const bool shell = std::strstr(command_line, "shell") != nullptr;
  const char* const name = shell ? "MinTrayShell" : "MinTray";
  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = name;
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, name, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  MSG msg;
  if (shell) {
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
  }
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
  data.uCallbackMessage = WM_USER + 1;
  data.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  std::strcpy(data.szTip, "No Hay Mensajes");
  Shell_NotifyIconA(NIM_ADD, &data);
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  Shell_NotifyIconA(NIM_DELETE, &data);
  return 0;
}
