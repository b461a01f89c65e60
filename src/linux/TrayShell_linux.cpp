#include "linux/TrayShell_linux.h"

#include <QCursor>
#include <QIcon>

#include "linux/Text.h"

namespace buzonix {

ShellHandle ToShellHandle(const QIcon* icon) { return reinterpret_cast<ShellHandle>(icon); }

const QIcon* ToIcon(ShellHandle handle) { return reinterpret_cast<const QIcon*>(handle); }

QtTrayShell::QtTrayShell() : menu_(std::make_unique<QMenu>()), tray_(new QSystemTrayIcon(&owner_)) {
  menu_->setObjectName("menu");
  tray_->setContextMenu(menu_.get());
  QObject::connect(tray_, &QSystemTrayIcon::activated, &owner_,
                   [this](QSystemTrayIcon::ActivationReason reason) { Activated(reason); });
}

QtTrayShell::~QtTrayShell() { tray_->hide(); }

bool QtTrayShell::Notify(ShellNotifyMessage message, const TrayLook& look) {
  if (message == ShellNotifyMessage::Delete) {
    shown_ = false;
    tray_->hide();
    return true;
  }
  if (message == ShellNotifyMessage::Add) shown_ = true;
  const QIcon* icon = ToIcon(look.icon);
  tray_->setIcon(icon != nullptr ? *icon : QIcon());
  tray_->setToolTip(ToQt(look.toolTip));
  // Qt will not show an icon without a picture: the add takes effect with the
  // first picture, and is never refused.
  if (shown_ && icon != nullptr && !tray_->isVisible()) tray_->show();
  return true;
}

void QtTrayShell::Activated(QSystemTrayIcon::ActivationReason reason) {
  if (client_ == nullptr) return;
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      client_->HandleClick();
      break;
    case QSystemTrayIcon::DoubleClick:
      client_->HandleDoubleClick();
      break;
    case QSystemTrayIcon::Context: {
      // The tray opens the menu itself; the request is still reported.
      const QPoint at = QCursor::pos();
      client_->HandleMenuRequest({at.x(), at.y()});
      break;
    }
    default:
      break;
  }
}

}  // namespace buzonix
