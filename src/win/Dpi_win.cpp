#include "win/Dpi_win.h"

#include <vector>

namespace buzonix {

namespace {

template <typename Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

int ScreenDpi() {
  const HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kBaseDpi;
}

BOOL CALLBACK CollectWindow(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

}  // namespace

int WindowDpi(HWND hwnd) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  if (getDpiForWindow != nullptr && hwnd != nullptr) {
    const UINT dpi = getDpiForWindow(hwnd);
    if (dpi != 0) return static_cast<int>(dpi);
  }
  return ScreenDpi();
}

void ScaleChildWindows(HWND parent, int oldDpi, int newDpi, HFONT (*newFont)(HFONT, void*), void* context) {
  // Collected first: moving a window while enumerating could reorder the list.
  std::vector<HWND> children;
  EnumChildWindows(parent, &CollectWindow, reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    const auto scale = [&](int v) { return MulDiv(v, newDpi, oldDpi); };
    SetWindowPos(child, nullptr, scale(rect.left), scale(rect.top), scale(rect.right - rect.left),
                 scale(rect.bottom - rect.top), SWP_NOZORDER | SWP_NOACTIVATE);
    const auto font = reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0));
    if (const HFONT replacement = font != nullptr ? newFont(font, context) : nullptr)
      SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(replacement), TRUE);
  }
}

SIZE OuterSizeFor(HWND hwnd, int width, int height) {
  RECT window, client;
  GetWindowRect(hwnd, &window);
  GetClientRect(hwnd, &client);
  return {width + (window.right - window.left) - client.right, height + (window.bottom - window.top) - client.bottom};
}

}  // namespace buzonix
