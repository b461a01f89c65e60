// The tray icon component over the Qt shell.
#include "linux/TrayShell_linux.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QPixmap>

#include <memory>
#include <string>

#include "notify/TrayIcon.h"

namespace buzonix {
namespace {

TEST(QtTrayShell, ShowsTheTooltipWholeAndThePicture) {
  auto shell = std::make_unique<QtTrayShell>();
  QSystemTrayIcon& icon = shell->Icon();
  TTrayIcon tray(std::move(shell));
  QPixmap pixels(16, 16);
  pixels.fill(Qt::red);
  const QIcon picture(pixels);
  tray.SetActive(true);
  tray.SetIcon(ToShellHandle(&picture));
  const std::string tip = "Error en Conexion: el servidor pop.example.org no contesta en el puerto 995";
  tray.SetToolTip(tip);
  EXPECT_EQ(tray.ToolTip(), tip);
  EXPECT_EQ(icon.toolTip().toStdString(), tip);
  EXPECT_EQ(icon.icon().cacheKey(), picture.cacheKey());
  EXPECT_EQ(icon.contextMenu()->objectName(), "menu");
}

}  // namespace
}  // namespace buzonix
