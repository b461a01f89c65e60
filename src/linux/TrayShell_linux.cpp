#include "linux/TrayShell_linux.h"

#include <QCoreApplication>
#include <QCursor>
#include <QIcon>
#include <QMenu>

#include "linux/Text.h"

namespace buzonix {

ShellHandle ToShellHandle(const QIcon* icon) { return reinterpret_cast<ShellHandle>(icon); }

const QIcon* ToIcon(ShellHandle handle) { return reinterpret_cast<const QIcon*>(handle); }

QtTrayShell::QtTrayShell(QMenu* menu) {
  tray_.setContextMenu(menu);
  QObject::connect(&tray_, &QSystemTrayIcon::activated,
                   [this](QSystemTrayIcon::ActivationReason reason) { Activated(reason); });
  QObject::connect(&retry_, &QTimer::timeout, [this] {
    if (client_ != nullptr) client_->HandleRetryTimer();
  });
}

QtTrayShell::~QtTrayShell() { tray_.hide(); }

bool QtTrayShell::Notify(ShellNotifyMessage message, const TrayLook& look) {
  if (message == ShellNotifyMessage::Delete) {
    shown_ = false;
    tray_.hide();
    return true;
  }
  if (message == ShellNotifyMessage::Add) shown_ = true;
  const QIcon* icon = ToIcon(look.icon);
  tray_.setIcon(icon != nullptr ? *icon : QIcon());
  tray_.setToolTip(ToQt(look.toolTip));
  // Qt will not show an icon without a picture: the add takes effect with the
  // first picture. Once shown, Qt puts it back by itself whenever a tray
  // appears, so an add never needs trying again.
  if (shown_ && icon != nullptr && !tray_.isVisible()) tray_.show();
  return true;
}

void QtTrayShell::PostRefresh() {
  QTimer::singleShot(0, &tray_, [this] {
    if (client_ != nullptr) client_->HandleRefresh();
  });
}

ScreenPoint QtTrayShell::CursorPosition() {
  const QPoint at = QCursor::pos();
  return {at.x(), at.y()};
}

void QtTrayShell::DispatchPendingMessages() { QCoreApplication::processEvents(); }

ShellHandle QtTrayShell::CopyIcon(ShellHandle icon) {
  if (icon == 0) return 0;
  return ToShellHandle(new QIcon(*ToIcon(icon)));
}

void QtTrayShell::DestroyIcon(ShellHandle icon) { delete ToIcon(icon); }

void QtTrayShell::StartRetryTimer(unsigned intervalMs) { retry_.start(static_cast<int>(intervalMs)); }

void QtTrayShell::StopRetryTimer() { retry_.stop(); }

void QtTrayShell::Activated(QSystemTrayIcon::ActivationReason reason) {
  if (client_ == nullptr) return;
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      client_->HandleClick();
      break;
    case QSystemTrayIcon::DoubleClick:
      client_->HandleDoubleClick();
      break;
    case QSystemTrayIcon::Context:
      // The tray opens the menu itself; the request is still reported.
      client_->HandleMenuRequest();
      break;
    default:
      break;
  }
}

}  // namespace buzonix
