// The tray icon's platform layer on Linux: QSystemTrayIcon, which speaks both
// the D-Bus StatusNotifierItem protocol and the older XEmbed tray, and re-adds
// its icon by itself when the panel restarts or starts late. Icon handles are
// QIcons the shell owns.
#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include "notify/TrayShell.h"

class QIcon;
class QMenu;

namespace buzonix {

// The handle of a QIcon held by the caller, and back.
ShellHandle ToShellHandle(const QIcon* icon);
const QIcon* ToIcon(ShellHandle handle);

class QtTrayShell final : public TrayShell {
 public:
  // menu: the program's menu, opened by the tray itself (the D-Bus tray
  // exports it to the panel); not owned.
  explicit QtTrayShell(QMenu* menu);
  ~QtTrayShell() override;

  QSystemTrayIcon& Icon() { return tray_; }

  void Attach(TrayShellClient* client) override { client_ = client; }
  bool Notify(ShellNotifyMessage message, const TrayLook& look) override;
  void PostRefresh() override;
  ScreenPoint CursorPosition() override;
  void BringApplicationToForeground() override {}
  void DispatchPendingMessages() override;
  ShellHandle CopyIcon(ShellHandle icon) override;
  void DestroyIcon(ShellHandle icon) override;
  void StartRetryTimer(unsigned intervalMs) override;
  void StopRetryTimer() override;

 private:
  void Activated(QSystemTrayIcon::ActivationReason reason);

  QSystemTrayIcon tray_;
  QTimer retry_;
  TrayShellClient* client_ = nullptr;
  bool shown_ = false;  // between an add and a delete
};

}  // namespace buzonix
