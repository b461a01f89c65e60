// The notice window on Windows, made from the resources linked into the test
// program: run under Wine.
#ifdef _WIN32

#include <windows.h>

#include "support/PumpUntil_win.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "notify/aviso.h"
#include "win/aviso_win.h"

namespace buzonix {
namespace {

constexpr COLORREF kNavy = RGB(0, 0, 128);

using testing::PumpUntil;

void Pump(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  PumpUntil([&] { return GetTickCount() - start >= milliseconds; }, milliseconds + 1000);
}

// The pixels of a 148 by 112 picture as COLORREFs, row by row from the top.
using Pixels = std::vector<COLORREF>;

// A 32-bit top-down DIB section selected into a memory DC.
class Canvas {
 public:
  Canvas() : dc_(CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kAvisoFrameWidth;
    info.bmiHeader.biHeight = -kAvisoFrameHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                               nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  HDC dc() const { return dc_; }
  Pixels Read() const {
    GdiFlush();
    Pixels pixels;
    for (int i = 0; i < kAvisoFrameWidth * kAvisoFrameHeight; ++i) {
      const std::uint32_t v = bits_[i];  // 0x00RRGGBB
      pixels.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
    }
    return pixels;
  }

 private:
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  std::uint32_t* bits_ = nullptr;
};

// What the client area shows now (read from the window's DC).
Pixels ClientPixels(HWND hwnd) {
  Canvas canvas;
  HDC dc = GetDC(hwnd);
  BitBlt(canvas.dc(), 0, 0, kAvisoFrameWidth, kAvisoFrameHeight, dc, 0, 0, SRCCOPY);
  ReleaseDC(hwnd, dc);
  return canvas.Read();
}

// Stored frame k as the resource holds it.
Pixels StoredFrame(int k) {
  const UniqueBitmap bitmap = AvisoFrameList::LoadFrame(GetModuleHandleA(nullptr), k);
  Canvas canvas;
  HDC source = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(source, bitmap.get());
  BitBlt(canvas.dc(), 0, 0, kAvisoFrameWidth, kAvisoFrameHeight, source, 0, 0, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
  return canvas.Read();
}

// FNV-1a of the red, green and blue bytes of every pixel, top row first.
std::uint32_t Fingerprint(const Pixels& pixels) {
  std::uint32_t hash = 0x811C9DC5u;
  for (COLORREF p : pixels)
    for (BYTE byte : {GetRValue(p), GetGValue(p), GetBValue(p)}) hash = (hash ^ byte) * 0x01000193u;
  return hash;
}

// Frame k as the window must show it: black becomes navy.
Pixels ExpectedFrame(int k) {
  Pixels pixels = StoredFrame(k);
  for (COLORREF& p : pixels)
    if (p == RGB(0, 0, 0)) p = kNavy;
  return pixels;
}

int Differences(const Pixels& a, const Pixels& b) {
  int n = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) n += a[i] != b[i];
  return n + static_cast<int>(a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
}

class AvisoWinTest : public ::testing::Test {
 protected:
  AvisoWinTest() : saved_(FrameIndex) {
    owner = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "owner", WS_POPUP, 0, 0, 0, 0, nullptr,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
    unit.check.NumMensajes = 3;
  }
  ~AvisoWinTest() override {
    TFAvisa::CloseAll();
    DestroyWindow(owner);
    FrameIndex = saved_;
  }
  TFAvisa* Make() { return TFAvisa::Create(unit, owner, GetModuleHandleA(nullptr)); }

  Pop3Unit unit;
  HWND owner = nullptr;

 private:
  std::int32_t saved_;
};

TEST_F(AvisoWinTest, CreatedWindowHasOneFrameOfClientAreaACaptionAndNoSystemMenu) {
  ASSERT_NE(owner, nullptr);
  TFAvisa* notice = Make();
  ASSERT_NE(notice, nullptr);
  const HWND hwnd = notice->Handle();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(TFAvisa::Current(), notice);
  EXPECT_EQ(unit.VentanasAbiertas, kNoticeWindowOpen);
  EXPECT_FALSE(IsWindowVisible(hwnd));

  char text[64] = {};
  GetWindowTextA(hwnd, text, sizeof text);
  EXPECT_STREQ(text, "3 Mensajes");
  GetClassNameA(hwnd, text, sizeof text);
  EXPECT_STREQ(text, "TFAvisa");
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right - client.left, 148);
  EXPECT_EQ(client.bottom - client.top, 112);

  const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(style & WS_SYSMENU, 0);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_EQ(style & WS_CHILD, 0);
  EXPECT_EQ(GetWindow(hwnd, GW_OWNER), owner);  // no taskbar button of its own
  EXPECT_EQ(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);

  notice->SetCaption("120 Mensajes");
  GetWindowTextA(hwnd, text, sizeof text);
  EXPECT_STREQ(text, "120 Mensajes");
}

TEST_F(AvisoWinTest, ShowingMakesItVisibleCentredOnTheScreen) {
  TFAvisa* notice = Make();
  notice->Show();
  const HWND hwnd = notice->Handle();
  EXPECT_TRUE(IsWindowVisible(hwnd));
  RECT rect;
  GetWindowRect(hwnd, &rect);
  const int dx = (rect.left + rect.right) - GetSystemMetrics(SM_CXSCREEN);
  const int dy = (rect.top + rect.bottom) - GetSystemMetrics(SM_CYSCREEN);
  EXPECT_LE(dx * dx, 1);
  EXPECT_LE(dy * dy, 1);
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 148);
  EXPECT_EQ(client.bottom, 112);
}

// The frames are stored compressed; loaded, they are pixel for pixel the
// uncompressed frames the program shipped before (their fingerprints).
TEST(AvisoFrames, LoadPixelForPixelAsTheUncompressedFrames) {
  const std::uint32_t expected[kAvisoFrameCount] = {
      0x9347AF60u, 0xDE8394E5u, 0xB42CB3ABu, 0x52710992u, 0xD44A9BA2u, 0xDAB6023Du,
      0xE9A72B9Fu, 0x1FD65998u, 0x770719AAu, 0x52710992u, 0x6A5CF381u, 0x0DD7C713u};
  for (int k = 0; k < kAvisoFrameCount; ++k) EXPECT_EQ(Fingerprint(StoredFrame(k)), expected[k]) << "frame " << k;
}

TEST_F(AvisoWinTest, RepaintShowsFrameZeroWithNavyWhereTheStoredFrameIsBlack) {
  FrameIndex = 6;
  TFAvisa* notice = Make();
  notice->Show();
  const HWND hwnd = notice->Handle();
  // Painted now, with no message dispatched after it: no tick can draw over.
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  const Pixels shown = ClientPixels(hwnd);
  const Pixels stored = StoredFrame(0);
  EXPECT_EQ(Differences(shown, ExpectedFrame(0)), 0);
  EXPECT_EQ(shown[0], kNavy);  // the corner is black in the frame
  int unchanged = 0;
  for (std::size_t i = 0; i < stored.size(); ++i)
    if (stored[i] != RGB(0, 0, 0) && shown[i] == stored[i]) ++unchanged;
  EXPECT_GT(unchanged, 148 * 112 / 20);  // the envelope, as stored
}

// Moved to a monitor of twice the DPI: the frame is shown twice as large,
// each stored pixel as a block of four.
TEST_F(AvisoWinTest, MovedToAMonitorOfTwiceTheDpiShowsTheFrameTwiceAsLarge) {
  FrameIndex = 6;
  TFAvisa* notice = Make();
  notice->Show();
  const HWND hwnd = notice->Handle();
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  RECT suggested{10, 20, 500, 500};
  SendMessageA(hwnd, WM_DPICHANGED, MAKEWPARAM(2 * dpi, 2 * dpi), reinterpret_cast<LPARAM>(&suggested));
  RECT client, window;
  GetClientRect(hwnd, &client);
  GetWindowRect(hwnd, &window);
  EXPECT_EQ(client.right, 2 * kAvisoFrameWidth * dpi / 96);
  EXPECT_EQ(client.bottom, 2 * kAvisoFrameHeight * dpi / 96);
  EXPECT_EQ(window.left, 10);
  EXPECT_EQ(window.top, 20);
  if (dpi != 96) return;  // the pixels below are those of a doubled frame
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  const Pixels expected = ExpectedFrame(0);
  const HDC dc = GetDC(hwnd);
  int differences = 0;
  for (int y = 0; y < kAvisoFrameHeight; y += 3)
    for (int x = 0; x < kAvisoFrameWidth; x += 3)
      differences += GetPixel(dc, 2 * x + 1, 2 * y + 1) != expected[y * kAvisoFrameWidth + x];
  ReleaseDC(hwnd, dc);
  EXPECT_EQ(differences, 0);
}

TEST_F(AvisoWinTest, TimerDrawsTheNextFramesStraightOntoTheWindow) {
  FrameIndex = 10;
  TFAvisa* notice = Make();
  notice->Show();
  const HWND hwnd = notice->Handle();
  ASSERT_TRUE(PumpUntil([] { return FrameIndex == 11; }));
  ASSERT_TRUE(PumpUntil([] { return FrameIndex == 0; }));
  EXPECT_EQ(Differences(ClientPixels(hwnd), ExpectedFrame(0)), 0);
  ASSERT_TRUE(PumpUntil([] { return FrameIndex == 1; }));
  EXPECT_EQ(Differences(ClientPixels(hwnd), ExpectedFrame(1)), 0);
  // Twelve frames in about 1.92 s.
  const DWORD start = GetTickCount();
  ASSERT_TRUE(PumpUntil([] { return FrameIndex == 0; }));
  ASSERT_TRUE(PumpUntil([] { return FrameIndex == 1; }));
  const DWORD turn = GetTickCount() - start;
  EXPECT_GE(turn, 1700u);
  EXPECT_LE(turn, 3000u);
}

TEST_F(AvisoWinTest, OnlyExactBlackIsMaskedToNavy) {
  // An 8-bit frame: black of entry 0, the step above it (0,0,51) of entry 1,
  // and black of entry 216, in three bands.
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  } info{};
  info.header.biSize = sizeof info.header;
  info.header.biWidth = kAvisoFrameWidth;
  info.header.biHeight = -kAvisoFrameHeight;
  info.header.biPlanes = 1;
  info.header.biBitCount = 8;
  info.header.biCompression = BI_RGB;
  info.header.biClrUsed = 256;
  info.colors[1] = RGBQUAD{51, 0, 0, 0};  // blue 51
  info.colors[2] = RGBQUAD{255, 255, 255, 0};
  std::uint8_t* bits = nullptr;
  HBITMAP frame = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                   reinterpret_cast<void**>(&bits), nullptr, 0);
  ASSERT_NE(frame, nullptr);
  const int stride = (kAvisoFrameWidth + 3) & ~3;
  for (int y = 0; y < kAvisoFrameHeight; ++y)
    for (int x = 0; x < kAvisoFrameWidth; ++x)
      bits[y * stride + x] = x < 50 ? 0 : x < 100 ? 1 : x < 140 ? 216 : 2;
  GdiFlush();
  {
    AvisoFrameList list({frame});
    EXPECT_EQ(list.Count(), 1);
    Canvas canvas;
    RECT all{0, 0, kAvisoFrameWidth, kAvisoFrameHeight};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(canvas.dc(), &all, red);
    DeleteObject(red);
    list.Draw(canvas.dc(), 0);
    const Pixels shown = canvas.Read();
    EXPECT_EQ(shown[10], kNavy);
    EXPECT_EQ(shown[75], RGB(0, 0, 51));
    EXPECT_EQ(shown[120], kNavy);
    EXPECT_EQ(shown[145], RGB(255, 255, 255));
    int wrong = 0;
    for (int i = 0; i < kAvisoFrameWidth * kAvisoFrameHeight; ++i) {
      const int x = i % kAvisoFrameWidth;
      const COLORREF want = x < 50 ? kNavy : x < 100 ? RGB(0, 0, 51) : x < 140 ? kNavy : RGB(255, 255, 255);
      wrong += shown[i] != want;
    }
    EXPECT_EQ(wrong, 0);
  }
  DeleteObject(frame);
}

TEST_F(AvisoWinTest, ClickAcknowledgesClearsTheBitAndTheWindowGoesAfterQueuedMessages) {
  unit.check.NumAvisados = 0;
  unit.VentanasAbiertas = kConfigDialogOpen;
  TFAvisa* notice = Make();
  notice->Show();
  const HWND hwnd = notice->Handle();
  EXPECT_EQ(unit.VentanasAbiertas, kConfigDialogOpen | kNoticeWindowOpen);

  SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 30));
  SendMessageA(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(20, 30));
  EXPECT_EQ(unit.check.NumAvisados, 3);
  EXPECT_EQ(unit.VentanasAbiertas, kConfigDialogOpen);
  EXPECT_EQ(TFAvisa::Current(), nullptr);
  EXPECT_TRUE(IsWindow(hwnd));  // released only after the queued messages
  EXPECT_EQ(TFAvisa::Count(), 1u);

  const std::int32_t frame = FrameIndex;
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }));
  EXPECT_EQ(TFAvisa::Count(), 0u);
  Pump(400);
  EXPECT_EQ(FrameIndex, frame);  // no tick after the click
}

TEST_F(AvisoWinTest, ButtonReleasedOutsideTheClientAreaIsNoClick) {
  TFAvisa* notice = Make();
  notice->Show();
  const HWND hwnd = notice->Handle();
  SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 30));
  SendMessageA(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(300, 30));
  EXPECT_EQ(unit.VentanasAbiertas, kNoticeWindowOpen);
  EXPECT_EQ(TFAvisa::Current(), notice);
  SendMessageA(hwnd, WM_CLOSE, 0, 0);  // no close box, and no closing but by a click
  EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(AvisoWinTest, SecondWindowAfterAClickGoesOnTurning) {
  FrameIndex = 0;
  TFAvisa* first = Make();
  first->Show();
  ASSERT_TRUE(PumpUntil([] { return FrameIndex == 4; }));
  const HWND firstHwnd = first->Handle();
  SendMessageA(firstHwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(firstHwnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(firstHwnd); }));
  EXPECT_EQ(FrameIndex, 4);

  TFAvisa* second = Make();
  second->Show();
  const HWND hwnd = second->Handle();
  ASSERT_TRUE(PumpUntil([] { return FrameIndex != 4; }));
  EXPECT_EQ(FrameIndex, 5);
  EXPECT_EQ(Differences(ClientPixels(hwnd), ExpectedFrame(5)), 0);
}

TEST_F(AvisoWinTest, CloseAllDestroysEveryNoticeWindow) {
  TFAvisa* first = Make();
  const HWND firstHwnd = first->Handle();
  SendMessageA(firstHwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(firstHwnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));  // released, not yet gone
  TFAvisa* second = Make();
  second->Show();
  const HWND secondHwnd = second->Handle();
  EXPECT_EQ(TFAvisa::Count(), 2u);
  TFAvisa::CloseAll();
  EXPECT_EQ(TFAvisa::Count(), 0u);
  EXPECT_EQ(TFAvisa::Current(), nullptr);
  EXPECT_FALSE(IsWindow(firstHwnd));
  EXPECT_FALSE(IsWindow(secondHwnd));
  Pump(50);  // the queued release finds nothing
}

}  // namespace
}  // namespace buzonix

#endif  // _WIN32
