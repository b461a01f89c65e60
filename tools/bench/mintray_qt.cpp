// The smallest Qt tray program: one icon with a tooltip and a menu, nothing
// else. The Linux program's start, memory and idle figures are set beside it.
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QMenu menu;
  QObject::connect(menu.addAction("&Salir"), &QAction::triggered, &app, &QApplication::quit);
  QPixmap picture(16, 16);
  picture.fill(Qt::darkBlue);
  QSystemTrayIcon tray{QIcon(picture)};
  tray.setToolTip("No Hay Mensajes");
  tray.setContextMenu(&menu);
  tray.show();
  return QApplication::exec();
}
