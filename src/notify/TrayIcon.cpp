#include "notify/TrayIcon.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace buzonix {

namespace {
constexpr std::intptr_t kLeftButtonUp = 0x0202;      // WM_LBUTTONUP
constexpr std::intptr_t kLeftButtonDblClk = 0x0203;  // WM_LBUTTONDBLCLK
constexpr std::intptr_t kRightButtonUp = 0x0205;     // WM_RBUTTONUP
}  // namespace

TTrayIcon::OwnedIcon::~OwnedIcon() {
  if (handle_ != 0) shell_->DestroyIcon(handle_);
}

void TTrayIcon::OwnedIcon::Swap(OwnedIcon& other) noexcept {
  std::swap(shell_, other.shell_);
  std::swap(handle_, other.handle_);
}

TTrayIcon::TTrayIcon(std::unique_ptr<TrayShell> shell)
    : shell_(std::move(shell)), icon_(*shell_, 0) {
  shell_->Attach(this);
}

TTrayIcon::~TTrayIcon() {
  shell_->Attach(nullptr);
  StopRetrying();
  if (active_) DeleteIcon();
}

void TTrayIcon::SetActive(bool active) {
  if (active == active_) return;
  active_ = active;
  if (active)
    AddIcon();
  else
    DeleteIcon();
}

void TTrayIcon::SetIcon(ShellHandle source) {
  if (source != 0 && source == icon_.Get()) return;
  OwnedIcon copy(*shell_, source != 0 ? shell_->CopyIcon(source) : 0);
  icon_.Swap(copy);
  ModifyIcon();
  // copy now holds the previous picture: freed only after the shell has
  // been given the new one.
}

void TTrayIcon::SetToolTip(std::string text) {
  if (text.size() > MaxToolTipLength) text.resize(MaxToolTipLength);
  toolTip_ = std::move(text);
  ModifyIcon();
}

void TTrayIcon::FillRecord() {
  record_ = NotifyRecord{};
  record_.cbSize = RecordSize;
  record_.hWnd = shell_->CallbackWindow();
  record_.uID = 0;
  record_.uFlags = RecordFlags;
  record_.hIcon = icon_.Get();
  const std::size_t length = std::min(toolTip_.size(), sizeof record_.szTip - 1);
  std::memcpy(record_.szTip, toolTip_.data(), length);
  record_.uCallbackMessage = CallbackMessage;
}

bool TTrayIcon::SendAdd() {
  FillRecord();
  return shell_->Notify(ShellNotifyMessage::Add, record_);
}

void TTrayIcon::AddIcon() {
  const bool added = SendAdd();
  // The icon went in with no text: show the tooltip again once the
  // message loop runs, by which time the owner has usually set it.
  if (toolTip_.empty()) shell_->PostRefresh();
  if (added)
    StopRetrying();
  else
    StartRetrying();
}

void TTrayIcon::ModifyIcon() {
  FillRecord();
  if (active_) shell_->Notify(ShellNotifyMessage::Modify, record_);
}

void TTrayIcon::DeleteIcon() {
  StopRetrying();
  // The shell names the icon by window and id alone: the last record serves.
  shell_->Notify(ShellNotifyMessage::Delete, record_);
}

void TTrayIcon::StartRetrying() {
  addRetriesLeft_ = MaxAddRetries;
  if (!retrying_) {
    shell_->StartRetryTimer(AddRetryIntervalMs);
    retrying_ = true;
  }
}

void TTrayIcon::StopRetrying() {
  addRetriesLeft_ = 0;
  if (retrying_) {
    shell_->StopRetryTimer();
    retrying_ = false;
  }
}

void TTrayIcon::HandleRetryTimer() {
  if (!retrying_) return;
  if (!active_ || addRetriesLeft_ <= 0) {
    StopRetrying();
    return;
  }
  --addRetriesLeft_;
  if (SendAdd() || addRetriesLeft_ == 0) StopRetrying();
}

void TTrayIcon::HandleTaskbarCreated() {
  // A new taskbar starts with an empty notification area.
  if (active_) AddIcon();
}

bool TTrayIcon::HandleMessage(unsigned message, std::uintptr_t, std::intptr_t lParam) {
  if (message == RefreshMessage) {
    SetToolTip(toolTip_);
    return true;
  }
  if (message == CallbackMessage) {
    HandleMouse(lParam);
    return true;
  }
  return false;
}

void TTrayIcon::HandleMouse(std::intptr_t mouseMessage) {
  // Handlers are called through copies: one may reassign its own event.
  switch (mouseMessage) {
    case kLeftButtonUp:
      if (auto handler = OnClick) handler(*this);
      break;
    case kLeftButtonDblClk:
      if (auto handler = OnDblClick) handler(*this);
      break;
    case kRightButtonUp:
      RightClick();
      break;
    default:
      break;
  }
}

void TTrayIcon::RightClick() {
  const ScreenPoint at = shell_->CursorPosition();
  if (PopupMenu != nullptr) {
    // The menu closes properly on a click elsewhere only when the
    // program owns the foreground.
    shell_->BringApplicationToForeground();
    shell_->DispatchPendingMessages();
    if (PopupMenu != nullptr) PopupMenu->Popup(at.x, at.y);
  }
  if (auto handler = OnRightClick) handler(*this, TMouseButton::Right, TShiftState{}, at.x, at.y);
}

}  // namespace buzonix
