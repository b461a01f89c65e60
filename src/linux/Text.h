// The core keeps its texts in the Windows program's code page, Windows-1252;
// Qt speaks Unicode. Every text crosses here.
#pragma once

#include <QString>

#include <string>
#include <string_view>

#include "text/Cp1252.h"

namespace buzonix {

inline QString ToQt(const std::string& text) {
  const std::u16string wide = Cp1252ToUtf16(text);
  return QString(reinterpret_cast<const QChar*>(wide.data()), static_cast<qsizetype>(wide.size()));
}

inline std::u16string_view Utf16Of(const QString& text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

// A character without a byte becomes '?': texts that must keep every
// character are checked with FitsWestern first.
inline std::string FromQt(const QString& text) { return Cp1252FromUtf16(Utf16Of(text)); }

inline bool FitsWestern(const QString& text) { return FitsCp1252(Utf16Of(text)); }

}  // namespace buzonix
