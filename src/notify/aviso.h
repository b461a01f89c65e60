// Unit aviso: the new-mail notice window TFAvisa, its portable
// part. The four handlers of the form are written once here over AvisoWindow,
// the little a window toolkit has to provide; src/win/aviso_win.* is the
// Windows toolkit.
#pragma once

#include <cstdint>
#include <string>

#include "state/unit.h"

namespace buzonix {

inline constexpr int kAvisoFrameCount = 12;
inline constexpr int kAvisoFrameWidth = 148;
inline constexpr int kAvisoFrameHeight = 112;
inline constexpr unsigned kAvisoTimerInterval = 160;  // Timer1, milliseconds
// FrameList's background colour, a COLORREF (red in the low byte): navy.
inline constexpr std::uint32_t kAvisoBackground = 0x800000;

// Unit state FrameIndex: the frame the timer drew last. 0 at program start and
// never reset, shared by every notice window of the run.
extern std::int32_t FrameIndex;

// The frame after `index`: 0 after the last frame (11), otherwise index + 1.
std::int32_t NextFrame(std::int32_t index);

// The caption for `count` messages: the count in decimal and " Mensajes".
std::string AvisoCaption(std::int32_t count);

// What the handlers ask of the window that carries them.
class AvisoWindow {
 public:
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetClientSize(int width, int height) = 0;
  // FrameList: the twelve frames of Image1..Image12 in that order, each with
  // its mask of the exactly black pixels, on the navy background.
  virtual void CreateFrames() = 0;
  virtual void FreeFrames() = 0;
  virtual void StartTimer(unsigned milliseconds) = 0;
  virtual void StopTimer() = 0;
  // Draws frame `index` of FrameList at the client area's top-left corner,
  // unscaled: onto the window directly, or in the paint cycle under way.
  virtual void DrawFrame(int index) = 0;
  // Destroys the window once the events already queued have been handled.
  virtual void ReleaseAfterQueuedEvents() = 0;

 protected:
  ~AvisoWindow() = default;
};

// The form's handlers for one notice window.
class AvisoForm {
 public:
  AvisoForm(Pop3Unit& unit, AvisoWindow& window) : unit_(unit), window_(window) {}

  // While the window is created, before it is shown: marks the notice window
  // open, sets the caption from NumMensajes and the client size, prepares
  // the frames and starts the timer.
  void FormCreate();
  // Every 160 ms: advances FrameIndex, then draws that frame.
  void Timer1Timer();
  // Every repaint: frame 0, whatever FrameIndex holds.
  void FormPaint();
  // A left click in the client area: stops, acknowledges the count
  // (NumAvisados := NumMensajes), frees the frames, clears the open bit and
  // releases the window. Only the first click of a window counts.
  void FormClick();

  // The click has run: the window draws nothing more and waits for release.
  bool Clicked() const { return clicked_; }

 private:
  Pop3Unit& unit_;
  AvisoWindow& window_;
  bool frames_ = false;
  bool clicked_ = false;
};

}  // namespace buzonix
