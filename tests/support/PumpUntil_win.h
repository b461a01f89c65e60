// Runs this thread's message loop until `done` holds or the time is up, for
// tests of windows under Wine.
#pragma once

#include <windows.h>

#include <functional>

namespace buzonix::testing {

inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(5);
  }
  return true;
}

}  // namespace buzonix::testing
