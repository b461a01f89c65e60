// Stands in for the program in the installer's tests: a hidden top-level
// window of class "BuzonixInstancia" that ends the process on WM_CLOSE, as the
// program's "Salir" does. The process outlives its window for a moment, as a
// program that is ending does, so an installer that waits only for the window
// would find the file still held. With the argument "sordo" it never ends.
#include <windows.h>

#include <cstring>

namespace {

bool deaf = false;

LRESULT CALLBACK InstanceProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) {
    if (!deaf) DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
  deaf = std::strstr(arguments, "sordo") != nullptr;
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = InstanceProcedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"BuzonixInstancia";
  if (RegisterClassW(&windowClass) == 0) return 1;
  if (CreateWindowExW(0, L"BuzonixInstancia", L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, instance,
                      nullptr) == nullptr)
    return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  Sleep(1500);
  return 0;
}
