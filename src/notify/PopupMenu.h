#pragma once

namespace buzonix {

// A pop-up menu that the tray icon can open; the platform builds the items.
class PopupMenuBase {
 public:
  virtual ~PopupMenuBase() = default;
  // Opens the menu with its left edge at x and top at y (screen
  // coordinates) and returns when it has been closed.
  virtual void Popup(int x, int y) = 0;
};

}  // namespace buzonix
