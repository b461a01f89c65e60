// A pop-up menu of text items and separators, each item with its own click
// callback, opened at a screen position. Its hidden owner window turns the
// menu's WM_COMMAND into the item's callback.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "notify/PopupMenu.h"
#include "win/WinWindow.h"

namespace buzonix {

class WinPopupMenu final : public PopupMenuBase {
 public:
  WinPopupMenu();
  ~WinPopupMenu() override;
  WinPopupMenu(const WinPopupMenu&) = delete;
  WinPopupMenu& operator=(const WinPopupMenu&) = delete;

  // caption: Windows-1252 bytes, '&' before the access key. Throws
  // (EndOnFailedCall) when the system refuses the item.
  void AddItem(const std::string& caption, std::function<void()> onClick);
  void AddSeparator();

  // Returns when the menu has closed; the picked item's callback runs
  // afterwards, when the message loop delivers the menu's command.
  void Popup(int x, int y) override;

  HMENU Handle() const { return menu_.get(); }
  // The owner window, made when the menu first opens.
  HWND OwnerWindow();

 private:
  class Owner final : public WinWindow {
   public:
    explicit Owner(WinPopupMenu& menu);
    ~Owner() override { Destroy(); }

   private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    WinPopupMenu& menu_;
  };

  struct MenuDeleter {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
  };

  void RunCommand(UINT id);
  void Append(UINT flags, UINT_PTR id, const char* caption);

  std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter> menu_;
  std::vector<std::function<void()>> commands_;  // item id i + 1 runs commands_[i]
  std::unique_ptr<Owner> owner_;
};

}  // namespace buzonix
