// The core keeps its texts in the Windows program's single-byte code page;
// Qt speaks Unicode. Every text crosses here.
#pragma once

#include <QString>

#include <string>

namespace buzonix {

inline QString ToQt(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string FromQt(const QString& text) { return text.toLatin1().toStdString(); }

}  // namespace buzonix
