// The Windows layer's windows that are not a form of their own: the socket
// layer's message window and the help, each reached through the one router
// and the one message pump.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
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

class ThrowingSink final : public SocketWindowSink {
 public:
  void OnTimerMessage() override { throw std::runtime_error("Tiempo de espera agotado"); }
  void OnSocketNotification(SocketHandle, int, int) override {}
};

class ReportedErrors {
 public:
  ReportedErrors() {
    SetUnhandledErrorHook([this](std::exception_ptr error) { texts.push_back(DescribeException(error)); });
  }
  ReportedErrors(const ReportedErrors&) = delete;
  ReportedErrors& operator=(const ReportedErrors&) = delete;
  ~ReportedErrors() { SetUnhandledErrorHook(nullptr); }
  std::vector<std::string> texts;
};

// An error of the component's timer handler is reported, not unwound
// through the system's dispatch.
TEST(SocketWindowTest, AnErrorOfTheTimersHandlerGoesToTheUnhandledErrorHook) {
  ReportedErrors reported;
  ThrowingSink sink;
  WinSocketPlatform platform;
  ASSERT_NE(platform.Window(), nullptr);
  platform.Attach(&sink);
  platform.SetTimer(1);
  EXPECT_TRUE(PumpUntil([&] { return !reported.texts.empty(); }, 2000));
  platform.KillTimer();
  ASSERT_FALSE(reported.texts.empty());
  EXPECT_EQ(reported.texts.front(), "Tiempo de espera agotado");
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
