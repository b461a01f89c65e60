#include "linux/NoticeWindow_linux.h"

#include <QBitmap>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "linux/Text.h"

namespace buzonix {
namespace {
NoticeWindow* current = nullptr;

// The background the frames are drawn on: FrameList's navy.
QColor Background() {
  return QColor(kAvisoBackground & 0xFF, (kAvisoBackground >> 8) & 0xFF,
                (kAvisoBackground >> 16) & 0xFF);
}
}  // namespace

NoticeWindow* NoticeWindow::Current() { return current; }

void NoticeWindow::Create(Pop3Unit& unit) {
  delete current;
  current = new NoticeWindow(unit);
}

void NoticeWindow::CloseAll() {
  delete current;
  current = nullptr;
}

NoticeWindow::NoticeWindow(Pop3Unit& unit) : QWidget(nullptr, Qt::Dialog), form_(unit, *this) {
  setObjectName("aviso");
  setAttribute(Qt::WA_DeleteOnClose, false);
  setCursor(Qt::PointingHandCursor);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { form_.Timer1Timer(); });
  form_.FormCreate();
  // Near the bottom right corner, where the tray usually is.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.right() - width() - 16, area.bottom() - height() - 48);
  }
}

NoticeWindow::~NoticeWindow() {
  if (current == this) current = nullptr;
}

void NoticeWindow::SetCaption(const std::string& caption) { setWindowTitle(ToQt(caption)); }

void NoticeWindow::SetClientSize(int width, int height) { setFixedSize(width, height); }

void NoticeWindow::CreateFrames() {
  frames_.clear();
  for (int i = 0; i < kAvisoFrameCount; ++i) {
    QPixmap frame(QString(":/art/aviso%1.bmp").arg(i, 2, 10, QChar('0')));
    // The exactly black pixels are the frame's transparent part.
    frame.setMask(frame.createMaskFromColor(Qt::black, Qt::MaskInColor));
    frames_.push_back(frame);
  }
}

void NoticeWindow::FreeFrames() { frames_.clear(); }

void NoticeWindow::StartTimer(unsigned milliseconds) { timer_.start(static_cast<int>(milliseconds)); }

void NoticeWindow::StopTimer() { timer_.stop(); }

void NoticeWindow::DrawFrame(int index) {
  shown_ = index;
  update();
}

void NoticeWindow::ReleaseAfterQueuedEvents() {
  hide();
  if (current == this) current = nullptr;
  deleteLater();
}

void NoticeWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Background());
  if (shown_ >= 0 && static_cast<std::size_t>(shown_) < frames_.size())
    painter.drawPixmap(0, 0, frames_[static_cast<std::size_t>(shown_)]);
}

void NoticeWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) form_.FormClick();
}

void NoticeWindow::closeEvent(QCloseEvent* event) {
  // Only a click in the window closes the notice, as on Windows.
  event->ignore();
}

}  // namespace buzonix
