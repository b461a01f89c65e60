// The tray icon with the real shell, window and menu, run under Wine.
#ifdef _WIN32

#include <windows.h>

#include "support/PumpUntil_win.h"
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "notify/TrayIcon.h"
#include "win/PopupMenu_win.h"
#include "win/TrayShell_win.h"
#include "win/WinWindow.h"

namespace buzonix {
namespace {

struct Notification {
  ShellNotifyMessage message;
  bool accepted;
};

// Passes everything to the real shell layer and notes each shell call and
// its outcome; it can refuse the next adds, as a shell not yet up does.
class ObservedShell final : public TrayShell {
 public:
  ObservedShell(std::unique_ptr<WinTrayShell> real, std::vector<Notification>& log)
      : real_(std::move(real)), log_(log) {}

  int addsToRefuse = 0;

  void Attach(TrayShellClient* client) override { real_->Attach(client); }
  bool Notify(ShellNotifyMessage message, const TrayLook& look) override {
    bool accepted = false;
    if (message == ShellNotifyMessage::Add && addsToRefuse > 0)
      --addsToRefuse;
    else
      accepted = real_->Notify(message, look);
    log_.push_back({message, accepted});
    return accepted;
  }
  void PostRefresh() override { real_->PostRefresh(); }
  std::size_t MaxToolTipLength() const override { return real_->MaxToolTipLength(); }
  void BringApplicationToForeground() override { real_->BringApplicationToForeground(); }
  void DispatchPendingMessages() override { real_->DispatchPendingMessages(); }
  ShellHandle CopyIcon(ShellHandle icon) override { return real_->CopyIcon(icon); }
  void DestroyIcon(ShellHandle icon) override { real_->DestroyIcon(icon); }
  void StartRetryTimer(unsigned intervalMs) override { real_->StartRetryTimer(intervalMs); }
  void StopRetryTimer() override { real_->StopRetryTimer(); }

 private:
  std::unique_ptr<WinTrayShell> real_;
  std::vector<Notification>& log_;
};

using testing::PumpUntil;

// Waits on its own thread for an open pop-up menu and sends it keys, as a
// user at the keyboard would. A Windows thread: the Windows build's runtime has
// no std::thread.
class MenuDriver {
 public:
  explicit MenuDriver(std::vector<WPARAM> keys)
      : keys_(std::move(keys)), thread_(CreateThread(nullptr, 0, Run, this, 0, nullptr)) {
    if (thread_ == nullptr) ADD_FAILURE() << "no thread for the menu driver";
  }
  ~MenuDriver() {
    stop_ = true;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  MenuDriver(const MenuDriver&) = delete;
  MenuDriver& operator=(const MenuDriver&) = delete;
  bool SawMenu() const { return sawMenu_; }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<MenuDriver*>(self)->Drive();
    return 0;
  }
  void Drive() {
    for (int tries = 0; tries < 500 && !stop_; ++tries) {
      if (const HWND menu = FindWindowA("#32768", nullptr); menu && IsWindowVisible(menu)) {
        sawMenu_ = true;
        for (WPARAM key : keys_) PostMessageA(menu, WM_KEYDOWN, key, 0);
        return;
      }
      Sleep(10);
    }
  }

  const std::vector<WPARAM> keys_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> sawMenu_{false};
  HANDLE thread_;
};

NOTIFYICONDATAA BareRecord(HWND window) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window;
  data.uID = 0;
  return data;
}

class WinTrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto shell = std::make_unique<WinTrayShell>();
    real = shell.get();
    auto observed = std::make_unique<ObservedShell>(std::move(shell), notifications);
    observed_ = observed.get();
    tray = std::make_unique<TTrayIcon>(std::move(observed));
  }

  void PostMouse(LPARAM mouseMessage) {
    PostMessageA(real->Window(), WM_USER + 1, 0, mouseMessage);
  }
  bool IconIsInTheTray() {
    NOTIFYICONDATAA data = BareRecord(real->Window());
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
  }
  std::size_t Adds() const {
    std::size_t adds = 0;
    for (const auto& n : notifications) adds += n.message == ShellNotifyMessage::Add;
    return adds;
  }

  std::vector<Notification> notifications;
  WinTrayShell* real = nullptr;
  ObservedShell* observed_ = nullptr;
  std::unique_ptr<TTrayIcon> tray;
  HICON application = LoadIcon(nullptr, IDI_APPLICATION);
};

TEST(NotifyIconRecordTest, CarriesTheCallbackTheIconAndTheTipZeroFilled) {
  const HWND window = reinterpret_cast<HWND>(0x1234);
  const TrayLook look{0x500, "3 Mensajes"};
  const NOTIFYICONDATAW data = NotifyIconRecord(window, look);
  EXPECT_EQ(data.cbSize, static_cast<DWORD>(NOTIFYICONDATAW_V1_SIZE));
#ifndef _WIN64
  EXPECT_EQ(data.cbSize, 152u);
#endif
  EXPECT_EQ(data.hWnd, window);
  EXPECT_EQ(data.uID, 0u);
  EXPECT_EQ(data.uFlags, 7u);
  EXPECT_EQ(data.uCallbackMessage, 1025u);
  EXPECT_EQ(ToShellHandle(data.hIcon), look.icon);
  EXPECT_STREQ(data.szTip, L"3 Mensajes");
  EXPECT_TRUE(std::all_of(data.szTip + 10, data.szTip + 64, [](wchar_t c) { return c == 0; }));
}

TEST_F(WinTrayTest, ShellAcceptsTheIconItsChangesAndItsRemoval) {
  EXPECT_TRUE(IsWindow(real->Window()));
  EXPECT_FALSE(IsWindowVisible(real->Window()));

  tray->SetToolTip("No hay Mensajes");
  tray->SetIcon(ToShellHandle(application));
  EXPECT_NE(tray->Icon(), ToShellHandle(application));
  tray->SetActive(true);
  tray->SetToolTip("Buzonix Electr\xF3nico");
  EXPECT_TRUE(IconIsInTheTray());
  tray->SetActive(false);
  EXPECT_FALSE(IconIsInTheTray());

  ASSERT_EQ(notifications.size(), 3u);
  for (const auto& n : notifications) EXPECT_TRUE(n.accepted);
  EXPECT_EQ(notifications[0].message, ShellNotifyMessage::Add);
  EXPECT_EQ(notifications[1].message, ShellNotifyMessage::Modify);
  EXPECT_EQ(notifications[2].message, ShellNotifyMessage::Delete);
}

TEST_F(WinTrayTest, EmptyToolTipIsRefreshedWhenTheMessageLoopRuns) {
  tray->SetActive(true);
  tray->SetIcon(ToShellHandle(application));
  ASSERT_EQ(notifications.size(), 2u);
  EXPECT_TRUE(PumpUntil([&] { return notifications.size() == 3; }));
  EXPECT_EQ(notifications[2].message, ShellNotifyMessage::Modify);
  EXPECT_TRUE(notifications[2].accepted);
}

TEST_F(WinTrayTest, ShellsClickMessagesGiveClickDoubleClickClick) {
  std::vector<std::string> events;
  tray->OnClick = [&](TTrayIcon&) { events.push_back("click"); };
  tray->OnDblClick = [&](TTrayIcon&) { events.push_back("dblclick"); };
  tray->SetActive(true);
  // Presses, moves, the right double click and the middle button fire nothing.
  for (LPARAM message :
       {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP, WM_RBUTTONDOWN,
        WM_RBUTTONDBLCLK, WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK})
    PostMouse(message);
  EXPECT_TRUE(PumpUntil([&] { return events.size() >= 3; }));
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(events, (std::vector<std::string>{"click", "dblclick", "click"}));
}

TEST_F(WinTrayTest, RightClickOpensTheMenuAndThePickedItemRuns) {
  std::vector<std::string> events;
  WinPopupMenu menu;
  menu.AddItem("Chequear Correo &Ahora", [&] { events.push_back("chequear"); });
  menu.AddItem("&Configuraci\xF3n", [&] { events.push_back("configuracion"); });
  menu.AddSeparator();
  menu.AddItem("&Salir", [&] { events.push_back("salir"); });
  tray->PopupMenu = &menu;
  tray->OnRightClick = [&](TTrayIcon&, TMouseButton button, TShiftState, int, int) {
    EXPECT_EQ(button, TMouseButton::Right);
    events.push_back("right click");
  };
  tray->SetToolTip("No hay Mensajes");
  tray->SetActive(true);

  MenuDriver driver({VK_DOWN, VK_DOWN, VK_RETURN});
  PostMouse(WM_RBUTTONUP);
  EXPECT_TRUE(PumpUntil([&] { return events.size() >= 2; }));
  EXPECT_TRUE(driver.SawMenu());
  // The menu has closed when OnRightClick runs; its command comes after.
  EXPECT_EQ(events, (std::vector<std::string>{"right click", "configuracion"}));
}

TEST_F(WinTrayTest, TaskbarCreatedBroadcastAddsTheIconAgain) {
  tray->SetToolTip("2 Mensajes");
  tray->SetActive(true);
  // The taskbar goes away and takes the icon with it.
  NOTIFYICONDATAA data = BareRecord(real->Window());
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &data));
  ASSERT_FALSE(IconIsInTheTray());

  PostMessageA(HWND_BROADCAST, real->TaskbarCreatedMessage(), 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return Adds() == 2; }));
  EXPECT_TRUE(notifications.back().accepted);
  EXPECT_TRUE(IconIsInTheTray());
}

TEST_F(WinTrayTest, RefusedAddIsRetriedByTheTimer) {
  observed_->addsToRefuse = 1;
  tray->SetToolTip("No hay Mensajes");
  tray->SetActive(true);
  EXPECT_FALSE(IconIsInTheTray());
  EXPECT_TRUE(PumpUntil([&] { return Adds() == 2; }, TTrayIcon::AddRetryIntervalMs * 3));
  EXPECT_TRUE(notifications.back().accepted);
  EXPECT_TRUE(IconIsInTheTray());
}

TEST_F(WinTrayTest, DestructionRemovesTheIconAndItsWindow) {
  tray->SetActive(true);
  const HWND window = real->Window();
  tray.reset();
  EXPECT_FALSE(IsWindow(window));
  NOTIFYICONDATAA data = BareRecord(window);
  EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &data));
}

TEST_F(WinTrayTest, DispatchingPendingMessagesLeavesAQuitRequestInTheQueue) {
  PostQuitMessage(3);
  real->DispatchPendingMessages();
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
}

TEST(WinPopupMenuTest, ClosedMenuLeavesWmNullForItsOwnerAndRunsNothing) {
  bool ran = false;
  WinPopupMenu menu;
  menu.AddItem("&Salir", [&] { ran = true; });
  {
    MenuDriver driver({VK_ESCAPE});
    menu.Popup(100, 100);
    EXPECT_TRUE(driver.SawMenu());
  }
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, menu.OwnerWindow(), 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_NULL));
  PumpUntil([] { return false; }, 100);
  EXPECT_FALSE(ran);
}

class RoutedWindow final : public WinWindow {
 public:
  RoutedWindow() { CreateHidden("BuzonixRoutedTestWindow"); }
  ~RoutedWindow() override { Destroy(); }
  bool createdWithHandle = false;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_CREATE) createdWithHandle = Handle() != nullptr;
    if (message == WM_APP + 2) return 1234;
    return WinWindow::HandleMessage(message, wParam, lParam);
  }
};

TEST(WinWindowTest, RoutesMessagesToTheObjectFromCreationToDestruction) {
  HWND handle = nullptr;
  {
    RoutedWindow window;
    handle = window.Handle();
    EXPECT_TRUE(window.createdWithHandle);
    EXPECT_EQ(SendMessageA(handle, WM_APP + 2, 0, 0), 1234);
  }
  EXPECT_FALSE(IsWindow(handle));
}

}  // namespace
}  // namespace buzonix

#endif  // _WIN32
