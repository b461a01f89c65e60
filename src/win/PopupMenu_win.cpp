#include "win/PopupMenu_win.h"

#include <utility>

#include "win/Text_win.h"

namespace buzonix {

WinPopupMenu::Owner::Owner(WinPopupMenu& menu) : menu_(menu) {
  CreateHidden("BuzonixPopupMenuOwner");
}

LRESULT WinPopupMenu::Owner::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // A menu's command: notification code 0 in the high word, the id below.
  if (message == WM_COMMAND && HIWORD(wParam) == 0 && lParam == 0) {
    menu_.RunCommand(LOWORD(wParam));
    return 0;
  }
  return WinWindow::HandleMessage(message, wParam, lParam);
}

WinPopupMenu::WinPopupMenu() : menu_(CreatePopupMenu()) {
  if (!menu_)
    EndOnFailedCall("CreatePopupMenu");
}

WinPopupMenu::~WinPopupMenu() = default;

void WinPopupMenu::Append(UINT flags, UINT_PTR id, const char* caption) {
  const std::wstring text = caption != nullptr ? Wide(caption) : std::wstring();
  if (!AppendMenuW(menu_.get(), flags, id, caption != nullptr ? text.c_str() : nullptr))
    EndOnFailedCall("AppendMenuW");
}

void WinPopupMenu::AddItem(const std::string& caption, std::function<void()> onClick) {
  Append(MF_STRING, commands_.size() + 1, caption.c_str());
  commands_.push_back(std::move(onClick));
}

void WinPopupMenu::AddSeparator() { Append(MF_SEPARATOR, 0, nullptr); }

HWND WinPopupMenu::OwnerWindow() {
  if (!owner_) owner_ = std::make_unique<Owner>(*this);
  return owner_->Handle();
}

void WinPopupMenu::Popup(int x, int y) {
  const HWND owner = OwnerWindow();
  TrackPopupMenu(menu_.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, owner, nullptr);
  // Makes the system switch to the owner's task, without which the next
  // opening of the menu can close again at once.
  PostMessageA(owner, WM_NULL, 0, 0);
}

void WinPopupMenu::RunCommand(UINT id) {
  if (id == 0 || id > commands_.size()) return;
  // A copy: the callback may add items to this menu.
  if (const auto command = commands_[id - 1]) command();
}

}  // namespace buzonix
