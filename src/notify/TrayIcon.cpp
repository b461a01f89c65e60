#include "notify/TrayIcon.h"

#include <utility>

namespace buzonix {

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
  if (text.size() > shell_->MaxToolTipLength()) text.resize(shell_->MaxToolTipLength());
  toolTip_ = std::move(text);
  ModifyIcon();
}

TrayLook TTrayIcon::Look() const { return {icon_.Get(), toolTip_}; }

bool TTrayIcon::SendAdd() {
  return shell_->Notify(ShellNotifyMessage::Add, Look());
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
  if (active_) shell_->Notify(ShellNotifyMessage::Modify, Look());
}

void TTrayIcon::DeleteIcon() {
  StopRetrying();
  shell_->Notify(ShellNotifyMessage::Delete, Look());
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

void TTrayIcon::HandleRefresh() { SetToolTip(toolTip_); }

// Handlers are called through copies: one may reassign its own event.
void TTrayIcon::HandleClick() {
  if (auto handler = OnClick) handler(*this);
}

void TTrayIcon::HandleDoubleClick() {
  if (auto handler = OnDblClick) handler(*this);
}

void TTrayIcon::HandleMenuRequest(ScreenPoint at) {
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
