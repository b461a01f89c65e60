#include "win/aviso_win.h"

#include <algorithm>
#include <utility>

#include "win/Text_win.h"

namespace buzonix {

namespace {

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

// A bottom-up 24-bit RGB picture of the frame size.
BITMAPINFO FrameInfo24() {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kAvisoFrameWidth;
  info.bmiHeader.biHeight = kAvisoFrameHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

UniqueBitmap FrameSizedDib(void** bits) {
  BITMAPINFO info = FrameInfo24();
  UniqueBitmap dib(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0));
  if (!dib) EndOnSystemFailure("CreateDIBSection");
  return dib;
}

// A copy of `source` as a 24-bit DIB section of the frame size: the colours
// of a palette become exact RGB values, so the mask catches only black.
UniqueBitmap CopyTo24Bits(HBITMAP source) {
  void* bits = nullptr;
  UniqueBitmap copy = FrameSizedDib(&bits);
  BITMAPINFO info = FrameInfo24();
  WindowDC screen(nullptr);
  const int lines = GetDIBits(screen.get(), source, 0, kAvisoFrameHeight, bits, &info, DIB_RGB_COLORS);
  if (lines != kAvisoFrameHeight) EndOnSystemFailure("GetDIBits");
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

// The window around a client area of `clientWidth` by `clientHeight` pixels at
// 96 DPI, scaled to `dpi`, before the window exists.
RECT OuterRect(int clientWidth, int clientHeight, int dpi) {
  RECT rect{0, 0, ScaleForDpi(clientWidth, dpi), ScaleForDpi(clientHeight, dpi)};
  AdjustWindowRectEx(&rect, kStyle, FALSE, kExStyle);
  return rect;
}

}  // namespace

// ---- AvisoFrameList --------------------------------------------------------

AvisoFrameList::AvisoFrameList(const std::vector<HBITMAP>& frames)
    : list_(ImageList_Create(kAvisoFrameWidth, kAvisoFrameHeight, ILC_COLOR24 | ILC_MASK,
                             static_cast<int>(frames.size()), 0)) {
  if (!list_) EndOnSystemFailure("ImageList_Create");
  ImageList_SetBkColor(list_.get(), static_cast<COLORREF>(kAvisoBackground));
  for (HBITMAP frame : frames) {
    const UniqueBitmap copy = CopyTo24Bits(frame);
    // Blacks the masked pixels of the copy, which is thrown away after.
    if (ImageList_AddMasked(list_.get(), copy.get(), RGB(0, 0, 0)) < 0)
      EndOnSystemFailure("ImageList_AddMasked");
  }
}

// The frames are stored RLE8-compressed, of which LoadImage cannot make a DIB
// section; the resource's own header and bits go through SetDIBits instead.
UniqueBitmap AvisoFrameList::LoadFrame(HINSTANCE instance, int k) {
  const std::string name = "AVISO" + std::to_string(k);
  const HRSRC found = FindResourceA(instance, name.c_str(), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
  const HGLOBAL data = found != nullptr ? LoadResource(instance, found) : nullptr;
  const auto* info = data != nullptr ? static_cast<const BITMAPINFO*>(LockResource(data)) : nullptr;
  if (info == nullptr) EndOnSystemFailure("No se encuentra el recurso " + name);
  const BITMAPINFOHEADER& header = info->bmiHeader;
  const DWORD colours = header.biClrUsed != 0 ? header.biClrUsed : 1u << header.biBitCount;
  const DWORD offset = header.biSize + colours * sizeof(RGBQUAD);
  if (header.biWidth != kAvisoFrameWidth || header.biHeight != kAvisoFrameHeight || header.biBitCount != 8 ||
      header.biClrUsed > 256 || offset + header.biSizeImage > SizeofResource(instance, found))
    EndOnSystemFailure("Recurso " + name + " defectuoso");
  void* bits = nullptr;
  UniqueBitmap frame = FrameSizedDib(&bits);
  WindowDC screen(nullptr);
  if (SetDIBits(screen.get(), frame.get(), 0, kAvisoFrameHeight, reinterpret_cast<const BYTE*>(info) + offset,
                info, DIB_RGB_COLORS) != kAvisoFrameHeight)
    EndOnSystemFailure("Recurso " + name + " defectuoso");
  GdiFlush();
  return frame;
}

std::unique_ptr<AvisoFrameList> AvisoFrameList::FromResources(HINSTANCE instance) {
  std::vector<UniqueBitmap> loaded;
  std::vector<HBITMAP> frames;
  for (int k = 0; k < kAvisoFrameCount; ++k) {
    UniqueBitmap bitmap = LoadFrame(instance, k);
    frames.push_back(bitmap.get());
    loaded.push_back(std::move(bitmap));
  }
  return std::make_unique<AvisoFrameList>(frames);
}

int AvisoFrameList::Count() const { return ImageList_GetImageCount(list_.get()); }

void AvisoFrameList::Draw(HDC dc, int index, int width, int height) const {
  if (width == kAvisoFrameWidth && height == kAvisoFrameHeight) {
    ImageList_Draw(list_.get(), index, dc, 0, 0, ILD_NORMAL);
    return;
  }
  // Drawn at its own size, then stretched pixel by pixel (no blending, so the
  // picture stays as crisp as the stored one).
  const HDC memory = CreateCompatibleDC(dc);
  const UniqueBitmap canvas(CreateCompatibleBitmap(dc, kAvisoFrameWidth, kAvisoFrameHeight));
  if (memory == nullptr || !canvas) {
    if (memory != nullptr) DeleteDC(memory);
    return;
  }
  const HGDIOBJ old = SelectObject(memory, canvas.get());
  ImageList_Draw(list_.get(), index, memory, 0, 0, ILD_NORMAL);
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, 0, 0, width, height, memory, 0, 0, kAvisoFrameWidth, kAvisoFrameHeight, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

// ---- TFAvisa ---------------------------------------------------------------

TFAvisa* TFAvisa::Create(Pop3Unit& unit, HWND owner, HINSTANCE instance) {
  std::unique_ptr<TFAvisa> window(new TFAvisa(unit, owner, instance));
  TFAvisa* const created = window.get();
  Owned().push_back(std::move(window));
  g_current = created;
  created->form_.FormCreate();
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
  const RECT outer = OuterRect(363, 111, WindowDpi(owner));
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
    case WM_DPICHANGED:
      ChangeDpi(DpiOf(wParam), SuggestedRectOf(lParam));
      return 0;
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
  form_.FormPaint();
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
  client_width_ = width;
  client_height_ = height;
  dpi_ = WindowDpi(Handle());
  const SIZE outer = OuterSizeFor(Handle(), ScaleForDpi(width, dpi_), ScaleForDpi(height, dpi_));
  SetWindowPos(Handle(), nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Moved to a monitor of another DPI: the same picture, scaled for it.
void TFAvisa::ChangeDpi(int dpi, const RECT& suggested) {
  dpi_ = dpi;
  const SIZE outer = OuterSizeFor(Handle(), ScaleForDpi(client_width_, dpi_), ScaleForDpi(client_height_, dpi_));
  SetWindowPos(Handle(), nullptr, suggested.left, suggested.top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(Handle(), nullptr, FALSE);
}

void TFAvisa::CreateFrames() { frames_ = AvisoFrameList::FromResources(instance_); }

void TFAvisa::FreeFrames() { frames_.reset(); }

void TFAvisa::StartTimer(unsigned milliseconds) { SetTimer(Handle(), kTimerId, milliseconds, nullptr); }

void TFAvisa::StopTimer() { KillTimer(Handle(), kTimerId); }

void TFAvisa::DrawFrame(int index) {
  if (!frames_) return;
  if (paint_dc_ != nullptr) {
    frames_->Draw(paint_dc_, index, ScaleForDpi(kAvisoFrameWidth, dpi_), ScaleForDpi(kAvisoFrameHeight, dpi_));
    return;
  }
  WindowDC dc(Handle());
  if (dc.get() != nullptr)
    frames_->Draw(dc.get(), index, ScaleForDpi(kAvisoFrameWidth, dpi_), ScaleForDpi(kAvisoFrameHeight, dpi_));
}

void TFAvisa::ReleaseAfterQueuedEvents() { PostMessageA(Handle(), kReleaseMessage, 0, 0); }

}  // namespace buzonix
