#include "linux/HelpWindow_linux.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QShortcut>

#include "text/HelpTopics.h"
#include "linux/Text.h"

namespace buzonix {
namespace {
QPointer<QPlainTextEdit> window;
}  // namespace

void ShowHelpTopic(int context) {
  if (window.isNull()) {
    window = new QPlainTextEdit;
    window->setObjectName("ayuda");
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setReadOnly(true);
    window->resize(460, 360);
    new QShortcut(QKeySequence(Qt::Key_Escape), window, [] { window->close(); });
  }
  const HelpTopic& topic = FindHelpTopic(context);
  window->setWindowTitle(ToQt(HelpWindowTitle(topic)));
  window->setPlainText(ToQt(topic.text).replace("\r\n", "\n"));
  window->show();
  window->raise();
  window->activateWindow();
}

void CloseHelp() { delete window.data(); }

}  // namespace buzonix
