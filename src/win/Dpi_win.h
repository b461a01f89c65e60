// The DPI a window is laid out for. The program declares itself per-monitor
// aware: each window is sized for the monitor it opens on and re-laid out when
// WM_DPICHANGED says it moved to another. Functions newer than the oldest
// supported Windows are looked up at run time, with the screen's DPI as the
// fallback.
#pragma once

#include <windows.h>

namespace buzonix {

inline constexpr int kBaseDpi = 96;
#ifndef WM_DPICHANGED
inline constexpr UINT WM_DPICHANGED = 0x02E0;
#endif

// The DPI of the monitor `hwnd` is on; the screen's where the system cannot
// say (before Windows 10, or with no window yet).
int WindowDpi(HWND hwnd);

// `pixels` at 96 DPI, at `dpi`.
inline int ScaleForDpi(int pixels, int dpi) { return MulDiv(pixels, dpi, kBaseDpi); }

// The outer size `hwnd` needs for a client area of `width` by `height`, with
// its frame and caption as they are now (the system scales them with the
// window's DPI).
SIZE OuterSizeFor(HWND hwnd, int width, int height);

// Moves and sizes every descendant of `parent` from `oldDpi` to `newDpi`,
// and gives each the font `newFont` returns for its present one (nullptr:
// keep it).
void ScaleChildWindows(HWND parent, int oldDpi, int newDpi, HFONT (*newFont)(HFONT, void*), void* context);

// The new DPI and the rectangle the system suggests, from WM_DPICHANGED.
inline int DpiOf(WPARAM wparam) { return HIWORD(wparam); }
inline const RECT& SuggestedRectOf(LPARAM lparam) { return *reinterpret_cast<const RECT*>(lparam); }

}  // namespace buzonix
