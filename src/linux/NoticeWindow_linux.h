// The new-mail notice on Linux: a small window with the turning envelope.
// Its rules are AvisoForm's; this is the drawing, the timer and the click.
#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

#include "notify/aviso.h"

namespace buzonix {

class NoticeWindow final : public QWidget, private AvisoWindow {
 public:
  // The open notice, if any.
  static NoticeWindow* Current();
  // A new notice (the form's creation runs here); replaces none.
  static void Create(Pop3Unit& unit);
  static void CloseAll();

  ~NoticeWindow() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  explicit NoticeWindow(Pop3Unit& unit);

  // AvisoWindow
  void SetCaption(const std::string& caption) override;
  void SetClientSize(int width, int height) override;
  void CreateFrames() override;
  void FreeFrames() override;
  void StartTimer(unsigned milliseconds) override;
  void StopTimer() override;
  void DrawFrame(int index) override;
  void ReleaseAfterQueuedEvents() override;

  AvisoForm form_;
  QTimer timer_;
  std::vector<QPixmap> frames_;
  int shown_ = 0;
};

}  // namespace buzonix
