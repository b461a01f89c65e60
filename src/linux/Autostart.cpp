#include "linux/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace buzonix {

std::string Autostart::DefaultEntryPath() {
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return (config + "/autostart/buzonix.desktop").toStdString();
}

std::string DesktopExecValue(const std::string& programPath) {
  // Inside double quotes, ", `, $ and \ take a backslash; the value's own
  // escaping then doubles every backslash; % is the field-code character.
  std::string quoted = "\"";
  for (const char c : programPath) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += "\\\\";
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

namespace {
QString ExecLineFor(const std::string& programPath) {
  return "Exec=" + QString::fromStdString(DesktopExecValue(programPath));
}
}  // namespace

bool Autostart::StartsProgram(const std::string& programPath) const {
  QFile file(QString::fromStdString(path_));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
  QTextStream in(&file);
  const QString wanted = ExecLineFor(programPath);
  while (!in.atEnd())
    if (in.readLine().trimmed() == wanted) return true;
  return false;
}

bool Autostart::Write(const std::string& programPath) const {
  const QString path = QString::fromStdString(path_);
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
  QTextStream out(&file);
  out << QString::fromUtf8(
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Name=Buzonix Electr\u00f3nico\n"
             "Comment=Avisa cuando llega correo a su buz\u00f3n POP3\n")
      << ExecLineFor(programPath) << "\n"
      << "Icon=buzonix\n"
      << "Terminal=false\n"
      << "X-GNOME-Autostart-enabled=true\n";
  out.flush();
  return file.commit();
}

bool Autostart::Remove() const {
  QFile file(QString::fromStdString(path_));
  return !file.exists() || file.remove();
}

}  // namespace buzonix
