// TFAvisa, the new-mail notice window, on Windows: a fixed window
// with a caption bar and no system menu, owned by the hidden application
// window, whose client area shows the turning envelope. The handlers are the
// portable AvisoForm (notify/aviso.h); this layer is the window around them.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "state/unit.h"
#include "notify/aviso.h"
#include "win/Dpi_win.h"
#include "win/WinWindow.h"

namespace buzonix {

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

// FrameList: an image list of 148 by 112 frames with black as the colour
// key and navy as the background, so that drawing a frame shows every
// exactly black pixel navy and every other pixel as stored.
class AvisoFrameList {
 public:
  // From bitmaps of 148 by 112 (any colour depth; each is first copied to 24
  // bits, so only exact black is masked). The caller keeps the bitmaps.
  explicit AvisoFrameList(const std::vector<HBITMAP>& frames);
  // The twelve frames of the resources AVISO0 .. AVISO11 of `instance`;
  // the program ends when one is missing or damaged.
  static std::unique_ptr<AvisoFrameList> FromResources(HINSTANCE instance);
  // Frame k (AVISOk of `instance`) as a 24-bit DIB section, as stored.
  static UniqueBitmap LoadFrame(HINSTANCE instance, int k);

  int Count() const;
  // Frame `index` with its top-left corner at 0,0 of `dc`, stretched to
  // `width` by `height` (the frame's own size: unscaled).
  void Draw(HDC dc, int index, int width = kAvisoFrameWidth, int height = kAvisoFrameHeight) const;
  HIMAGELIST Handle() const { return list_.get(); }

 private:
  struct Destroyer {
    void operator()(HIMAGELIST list) const { ImageList_Destroy(list); }
  };
  std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, Destroyer> list_;
};

class TFAvisa final : public WinWindow, private AvisoWindow {
 public:
  static constexpr char kClassName[] = "TFAvisa";
  static constexpr UINT_PTR kTimerId = 1;
  // Posted to itself by the click; the window is destroyed when it arrives.
  static constexpr UINT kReleaseMessage = WM_APP + 0x21;

  // Makes a new notice window owned by `owner` with the frames of
  // `instance`, makes it the current one and runs FormCreate; the window is
  // not yet visible.
  static TFAvisa* Create(Pop3Unit& unit, HWND owner, HINSTANCE instance);
  // The open notice window, or nullptr (none, or the last one was clicked).
  static TFAvisa* Current();
  // Destroys every notice window and its frames (at the end of the program).
  static void CloseAll();
  // Notice windows that still exist, a clicked one awaiting release included.
  static std::size_t Count();

  ~TFAvisa() override;

  void SetCaption(const std::string& caption) override;
  // Visible, centred on the screen the first time, brought to the front.
  void Show();

 private:
  TFAvisa(Pop3Unit& unit, HWND owner, HINSTANCE instance);

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void Paint();
  void MouseUp(LPARAM lParam);
  void Release();

  // AvisoWindow
  // The size at 96 DPI; the window is scaled for the DPI of its monitor.
  void SetClientSize(int width, int height) override;
  void ChangeDpi(int dpi, const RECT& suggested);
  void CreateFrames() override;
  void FreeFrames() override;
  void StartTimer(unsigned milliseconds) override;
  void StopTimer() override;
  void DrawFrame(int index) override;
  void ReleaseAfterQueuedEvents() override;

  HINSTANCE instance_;
  AvisoForm form_;
  std::unique_ptr<AvisoFrameList> frames_;
  HDC paint_dc_ = nullptr;  // during WM_PAINT
  bool pressed_ = false;    // the left button went down in the client area
  bool centred_ = false;
  int dpi_ = kBaseDpi;
  int client_width_ = kAvisoFrameWidth;  // at 96 DPI
  int client_height_ = kAvisoFrameHeight;
};

}  // namespace buzonix
