#include "notify/aviso.h"

#include "text/Texts.h"

namespace buzonix {

std::int32_t FrameIndex = 0;

std::int32_t NextFrame(std::int32_t index) {
  return index == kAvisoFrameCount - 1 ? 0 : index + 1;
}

// The same words as the tooltip of the mail check.
std::string AvisoCaption(std::int32_t count) { return MessagesCaption(count); }

void AvisoForm::FormCreate() {
  unit_.VentanasAbiertas |= kNoticeWindowOpen;
  window_.SetCaption(AvisoCaption(unit_.check.NumMensajes));
  window_.SetClientSize(kAvisoFrameWidth, kAvisoFrameHeight);
  window_.CreateFrames();
  frames_ = true;
  window_.StartTimer(kAvisoTimerInterval);
}

void AvisoForm::Timer1Timer() {
  if (clicked_ || !frames_) return;
  FrameIndex = NextFrame(FrameIndex);
  window_.DrawFrame(FrameIndex);
}

void AvisoForm::FormPaint() {
  if (clicked_ || !frames_) return;
  window_.DrawFrame(0);
}

void AvisoForm::FormClick() {
  // A second click before the release would acknowledge again and clear the
  // bit of a notice window created in between.
  if (clicked_) return;
  clicked_ = true;
  window_.StopTimer();
  unit_.check.NumAvisados = unit_.check.NumMensajes;
  if (frames_) window_.FreeFrames();
  frames_ = false;
  unit_.VentanasAbiertas &= static_cast<std::uint8_t>(~kNoticeWindowOpen);
  window_.ReleaseAfterQueuedEvents();
}

}  // namespace buzonix
