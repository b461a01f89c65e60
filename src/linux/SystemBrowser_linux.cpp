#include "linux/SystemBrowser_linux.h"

#include <QByteArray>
#include <QDesktopServices>
#include <QUrl>

namespace buzonix {

bool DesktopBrowser::Open(const std::string& url) {
  // Already escaped: taken as it is, never escaped again.
  const QUrl address = QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::StrictMode);
  return address.isValid() && QDesktopServices::openUrl(address);
}

}  // namespace buzonix
