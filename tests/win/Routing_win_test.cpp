// The Windows layer's windows that are not a form of their own: the socket
// layer's message window and the help, each reached through the one router
// and the one message pump.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/PumpUntil_win.h"
#include "win/HelpWindow_win.h"
#include "win/MessagePump_win.h"
#include "win/SocketPlatform_win.h"
#include "win/WinWindow.h"

namespace buzonix {
namespace {

using testing::PumpUntil;

class TimerSink final : public SocketWindowSink {
 public:
  void OnTimerMessage() override { ++timers; }
  void OnSocketNotification(SocketHandle, int, int) override {}
  int timers = 0;
};

// The component's timer reaches its sink through the one router.
TEST(SocketWindowTest, TheTimerReachesTheSinkThroughTheRouter) {
  TimerSink sink;
  WinSocketPlatform platform;
  ASSERT_NE(platform.Window(), nullptr);
  platform.Attach(&sink);
  platform.SetTimer(1);
  EXPECT_TRUE(PumpUntil([&] { return sink.timers > 0; }, 2000));
  platform.KillTimer();
}

TEST(HelpWindowTest, EscapeHidesItThroughTheMessagePump) {
  const HWND owner = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "owner", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
  HelpWindow::ShowTopic(14, owner);
  const HWND help = FindWindowA("BuzonixHelp", nullptr);
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(IsWindowVisible(help));
  const HWND text = FindWindowExA(help, nullptr, "Edit", nullptr);
  PostMessageA(text, WM_KEYDOWN, VK_ESCAPE, 1);
  const DWORD start = GetTickCount();
  while (IsWindowVisible(help) && GetTickCount() - start < 2000) {
    PumpQueuedMessages();
    Sleep(5);
  }
  EXPECT_FALSE(IsWindowVisible(help));
  HelpWindow::CloseAll();
  DestroyWindow(owner);
}

}  // namespace
}  // namespace buzonix

#endif  // _WIN32
