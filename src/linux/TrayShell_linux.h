// The tray icon's platform layer on Linux: QSystemTrayIcon, which speaks both
// the D-Bus StatusNotifierItem protocol and the older XEmbed tray. Qt keeps
// its own copy of the picture, takes the tooltip at any time, opens the menu
// itself (the D-Bus tray exports it to the panel) and re-adds the icon when
// the panel restarts or starts late: the shell only passes things on.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

#include <memory>

#include "notify/TrayShell.h"

class QIcon;

namespace buzonix {

// The handle of a QIcon that outlives the tray icon, and back.
ShellHandle ToShellHandle(const QIcon* icon);
const QIcon* ToIcon(ShellHandle handle);

class QtTrayShell final : public TrayShell {
 public:
  QtTrayShell();
  ~QtTrayShell() override;

  // The program's menu, empty until the program fills it.
  QMenu& Menu() { return *menu_; }
  QSystemTrayIcon& Icon() { return *tray_; }

  void Attach(TrayShellClient* client) override { client_ = client; }
  bool Notify(ShellNotifyMessage message, const TrayLook& look) override;
  // The panels show tooltips of any length.
  std::size_t MaxToolTipLength() const override { return static_cast<std::size_t>(-1); }

 private:
  void Activated(QSystemTrayIcon::ActivationReason reason);

  // A top-level widget, which no QObject parent can own; it outlives the tray
  // icon that shows it.
  std::unique_ptr<QMenu> menu_;
  QObject owner_;  // parent of the tray icon
  QSystemTrayIcon* tray_;
  TrayShellClient* client_ = nullptr;
  bool shown_ = false;  // between an add and a delete
};

}  // namespace buzonix
