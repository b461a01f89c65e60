#include "win/aviso_win.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "win/Text_win.h"

namespace buzonix {

namespace {

// RAII for the GDI objects of this file.
struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

class WindowDC {
 public:
  explicit WindowDC(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
  ~WindowDC() {
    if (dc_ != nullptr) ReleaseDC(hwnd_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

class PaintCycle {
 public:
  explicit PaintCycle(HWND hwnd) : hwnd_(hwnd) { BeginPaint(hwnd_, &ps_); }
  ~PaintCycle() { EndPaint(hwnd_, &ps_); }
  PaintCycle(const PaintCycle&) = delete;
  PaintCycle& operator=(const PaintCycle&) = delete;
  HDC get() const { return ps_.hdc; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
};

// A copy of `source` as a 24-bit DIB section of the frame size: the colours
// of a palette become exact RGB values, so the mask catches only black.
UniqueBitmap CopyTo24Bits(HBITMAP source) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kAvisoFrameWidth;
  info.bmiHeader.biHeight = kAvisoFrameHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueBitmap copy(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!copy) throw std::runtime_error("CreateDIBSection");
  WindowDC screen(nullptr);
  const int lines = GetDIBits(screen.get(), source, 0, kAvisoFrameHeight, bits, &info, DIB_RGB_COLORS);
  if (lines != kAvisoFrameHeight) throw std::runtime_error("GetDIBits");
  GdiFlush();
  return copy;
}

std::vector<std::unique_ptr<TFAvisa>>& Owned() {
  static std::vector<std::unique_ptr<TFAvisa>> owned;
  return owned;
}

TFAvisa* g_current = nullptr;

// The window's style: caption bar and single fixed border, no system menu
// and so no buttons.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_CLIPSIBLINGS;
constexpr DWORD kExStyle = 0;

RECT OuterRect(int clientWidth, int clientHeight) {
  RECT rect{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&rect, kStyle, FALSE, kExStyle);
  return rect;
}

}  // namespace

// ---- AvisoFrameList --------------------------------------------------------

AvisoFrameList::AvisoFrameList(const std::vector<HBITMAP>& frames)
    : list_(ImageList_Create(kAvisoFrameWidth, kAvisoFrameHeight, ILC_COLOR24 | ILC_MASK,
                             static_cast<int>(frames.size()), 0)) {
  if (!list_) throw std::runtime_error("ImageList_Create");
  ImageList_SetBkColor(list_.get(), static_cast<COLORREF>(kAvisoBackground));
  for (HBITMAP frame : frames) {
    const UniqueBitmap copy = CopyTo24Bits(frame);
    // Blacks the masked pixels of the copy, which is thrown away after.
    if (ImageList_AddMasked(list_.get(), copy.get(), RGB(0, 0, 0)) < 0)
      throw std::runtime_error("ImageList_AddMasked");
  }
}

std::unique_ptr<AvisoFrameList> AvisoFrameList::FromResources(HINSTANCE instance) {
  std::vector<UniqueBitmap> loaded;
  std::vector<HBITMAP> frames;
  for (int k = 0; k < kAvisoFrameCount; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "AVISO%d", k);
    UniqueBitmap bitmap(static_cast<HBITMAP>(
        LoadImageA(instance, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!bitmap) throw std::runtime_error(std::string("No se encuentra el recurso ") + name);
    frames.push_back(bitmap.get());
    loaded.push_back(std::move(bitmap));
  }
  return std::make_unique<AvisoFrameList>(frames);
}

int AvisoFrameList::Count() const { return ImageList_GetImageCount(list_.get()); }

void AvisoFrameList::Draw(HDC dc, int index) const {
  ImageList_Draw(list_.get(), index, dc, 0, 0, ILD_NORMAL);
}

// ---- TFAvisa ---------------------------------------------------------------

TFAvisa* TFAvisa::Create(Pop3Unit& unit, HWND owner, HINSTANCE instance) {
  std::unique_ptr<TFAvisa> window(new TFAvisa(unit, owner, instance));
  TFAvisa* const created = window.get();
  Owned().push_back(std::move(window));
  g_current = created;
  try {
    created->form_.FormCreate();
  } catch (...) {
    // No half-made notice stays behind, and none is marked open.
    unit.VentanasAbiertas &= static_cast<std::uint8_t>(~kNoticeWindowOpen);
    created->Release();
    throw;
  }
  return created;
}

TFAvisa* TFAvisa::Current() { return g_current; }

std::size_t TFAvisa::Count() { return Owned().size(); }

void TFAvisa::CloseAll() {
  g_current = nullptr;
  // Destructors run with the list already empty, so none of them finds itself.
  std::vector<std::unique_ptr<TFAvisa>> closing = std::move(Owned());
  Owned().clear();
  closing.clear();
}

TFAvisa::TFAvisa(Pop3Unit& unit, HWND owner, HINSTANCE instance)
    : instance_(instance), form_(unit, *this) {
  WindowClass windowClass;
  windowClass.name = kClassName;
  windowClass.cursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  WindowOptions options;
  options.exStyle = kExStyle;
  options.style = kStyle;
  options.title = "FAvisa";
  // The resource's client size, until FormCreate sets one frame's size.
  const RECT outer = OuterRect(363, 111);
  options.width = outer.right - outer.left;
  options.height = outer.bottom - outer.top;
  options.parent = owner;
  WinWindow::Create(windowClass, options);
}

TFAvisa::~TFAvisa() {
  if (g_current == this) g_current = nullptr;
  Destroy();  // WM_DESTROY stops the timer while this object still handles it
}

void TFAvisa::SetCaption(const std::string& caption) { SetText(Handle(), caption); }

void TFAvisa::Show() {
  const HWND hwnd = Handle();
  if (hwnd == nullptr) return;
  if (!centred_) {
    centred_ = true;
    RECT rect;
    GetWindowRect(hwnd, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ShowWindow(hwnd, SW_SHOW);
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

LRESULT TFAvisa::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kTimerId) {
        form_.Timer1Timer();
        return 0;
      }
      break;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the frame covers the whole client area
    case WM_LBUTTONDOWN:
      pressed_ = true;
      SetCapture(Handle());
      return 0;
    case WM_LBUTTONUP:
      MouseUp(lParam);
      return 0;
    case WM_CLOSE:
      return 0;  // only a click in the client area closes the notice
    case WM_DESTROY:
      KillTimer(Handle(), kTimerId);
      break;
    default:
      if (message == kReleaseMessage) {
        Release();  // this object is gone now
        return 0;
      }
      break;
  }
  return WinWindow::HandleMessage(message, wParam, lParam);
}

void TFAvisa::Paint() {
  PaintCycle paint(Handle());
  paint_dc_ = paint.get();
  try {
    form_.FormPaint();
  } catch (...) {
    paint_dc_ = nullptr;
    throw;
  }
  paint_dc_ = nullptr;
}

// A click: the button went down and comes up inside the client area.
void TFAvisa::MouseUp(LPARAM lParam) {
  if (!pressed_) return;
  pressed_ = false;
  const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  RECT client;
  GetClientRect(Handle(), &client);
  const bool inside = PtInRect(&client, point) != FALSE;
  ReleaseCapture();
  if (!inside) return;
  form_.FormClick();
  if (g_current == this) g_current = nullptr;
}

// Destroys the window and deletes this object.
void TFAvisa::Release() {
  auto& owned = Owned();
  const auto it = std::find_if(owned.begin(), owned.end(),
                               [this](const std::unique_ptr<TFAvisa>& w) { return w.get() == this; });
  if (it == owned.end()) return;
  std::unique_ptr<TFAvisa> self = std::move(*it);
  owned.erase(it);
  // `self` goes out of scope here: the destructor destroys the window.
}

void TFAvisa::SetClientSize(int width, int height) {
  const RECT outer = OuterRect(width, height);
  SetWindowPos(Handle(), nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFAvisa::CreateFrames() { frames_ = AvisoFrameList::FromResources(instance_); }

void TFAvisa::FreeFrames() { frames_.reset(); }

void TFAvisa::StartTimer(unsigned milliseconds) { SetTimer(Handle(), kTimerId, milliseconds, nullptr); }

void TFAvisa::StopTimer() { KillTimer(Handle(), kTimerId); }

void TFAvisa::DrawFrame(int index) {
  if (!frames_) return;
  if (paint_dc_ != nullptr) {
    frames_->Draw(paint_dc_, index);
    return;
  }
  WindowDC dc(Handle());
  if (dc.get() != nullptr) frames_->Draw(dc.get(), index);
}

void TFAvisa::ReleaseAfterQueuedEvents() { PostMessageA(Handle(), kReleaseMessage, 0, 0); }

}  // namespace buzonix
