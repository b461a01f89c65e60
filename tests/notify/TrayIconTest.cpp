#include "notify/TrayIcon.h"
#include "notify/RecordingTrayShell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace buzonix {
namespace {

using testing::RecordingTrayShell;
using testing::ShellLog;

constexpr ShellHandle kBandera0 = 7;  // icons the caller owns
constexpr ShellHandle kBandera1 = 8;

class TrayIconTest : public ::testing::Test {
 protected:
  ShellLog log;
  std::optional<TTrayIcon> tray{std::in_place, std::make_unique<RecordingTrayShell>(log)};

  std::string Tip(std::size_t call) const { return log.calls.at(call).look.toolTip; }
  std::vector<ShellNotifyMessage> Messages() const {
    std::vector<ShellNotifyMessage> out;
    for (const auto& call : log.calls) out.push_back(call.message);
    return out;
  }
};

using enum ShellNotifyMessage;

class RecordingMenu final : public PopupMenuBase {
 public:
  explicit RecordingMenu(ShellLog& log) : log_(log) {}
  void Popup(int x, int y) override {
    log_.trace.push_back("popup " + std::to_string(x) + "," + std::to_string(y));
  }

 private:
  ShellLog& log_;
};

TEST_F(TrayIconTest, EveryAddAndModifyCarriesTheIconAndTheToolTip) {
  tray->SetToolTip("No hay Mensajes");
  tray->SetIcon(kBandera0);
  tray->SetActive(true);
  tray->SetToolTip("3 Mensajes");

  ASSERT_EQ(Messages(), (std::vector{Add, Modify}));
  for (const auto& [message, look] : log.calls) EXPECT_EQ(look.icon, tray->Icon());
  EXPECT_EQ(Tip(0), "No hay Mensajes");
  EXPECT_EQ(Tip(1), "3 Mensajes");
}

TEST_F(TrayIconTest, ToolTipIsCutToTheShellsLimit) {
  tray->SetActive(true);
  const std::string exact(62, 'a');
  tray->SetToolTip(exact);
  EXPECT_EQ(tray->ToolTip(), exact);
  EXPECT_EQ(Tip(1), exact);

  for (std::size_t length : {63u, 64u, 200u}) {
    std::string longer(length, 'b');
    longer[61] = 'z';
    tray->SetToolTip(longer);
    EXPECT_EQ(tray->ToolTip(), std::string(61, 'b') + "z");
    EXPECT_EQ(Tip(log.calls.size() - 1), tray->ToolTip());
  }

  // A tray without a limit shows the whole text.
  log.maxToolTip = std::string::npos;
  const std::string whole(300, 'c');
  tray->SetToolTip(whole);
  EXPECT_EQ(tray->ToolTip(), whole);
  EXPECT_EQ(Tip(log.calls.size() - 1), whole);
}

TEST_F(TrayIconTest, ActiveWritesAddAndDeleteOnlyOnChange) {
  tray->SetActive(false);
  EXPECT_TRUE(log.calls.empty());

  tray->SetToolTip("x");
  tray->SetActive(true);
  tray->SetActive(true);
  tray->SetActive(false);
  tray->SetActive(false);
  EXPECT_EQ(Messages(), (std::vector{Add, Delete}));
}

TEST_F(TrayIconTest, WritesWhileInactiveAreOnlyStoredUntilTheNextAdd) {
  tray->SetIcon(kBandera0);
  tray->SetToolTip("Error en Conexion");
  tray->SetIcon(kBandera1);
  tray->SetToolTip("2 Mensajes");
  EXPECT_TRUE(log.calls.empty());

  tray->SetActive(true);
  ASSERT_EQ(Messages(), (std::vector{Add}));
  EXPECT_EQ(Tip(0), "2 Mensajes");
  EXPECT_EQ(log.calls[0].look.icon, tray->Icon());

  tray->SetActive(false);
  tray->SetToolTip("later");
  EXPECT_EQ(Messages(), (std::vector{Add, Delete}));
}

TEST_F(TrayIconTest, AddWithEmptyToolTipPostsOneRefreshThatShowsTheLatestValues) {
  // The start-up order of the program: Active, then ToolTip, then Icon.
  tray->SetActive(true);
  EXPECT_EQ(log.pendingRefreshes, 1);
  EXPECT_EQ(log.calls[0].look.icon, 0u);
  EXPECT_EQ(Tip(0), "");
  tray->SetToolTip("No hay Mensajes");
  tray->SetIcon(kBandera0);
  EXPECT_EQ(log.pendingRefreshes, 1);

  log.DeliverRefreshes();
  ASSERT_EQ(Messages(), (std::vector{Add, Modify, Modify, Modify}));
  EXPECT_EQ(Tip(3), "No hay Mensajes");
  EXPECT_EQ(log.calls[3].look.icon, tray->Icon());
  EXPECT_EQ(log.pendingRefreshes, 0);
}

TEST_F(TrayIconTest, AddWithAToolTipPostsNoRefresh) {
  tray->SetToolTip("No hay Mensajes");
  tray->SetActive(true);
  EXPECT_EQ(log.pendingRefreshes, 0);
}

TEST_F(TrayIconTest, RewritingTheSameToolTipStillModifies) {
  tray->SetActive(true);
  tray->SetToolTip("Clave incorrecta");
  tray->SetToolTip("Clave incorrecta");
  EXPECT_EQ(Messages(), (std::vector{Add, Modify, Modify}));
}

TEST_F(TrayIconTest, IconIsCopiedAndEachCopyFreedOnceAfterItIsReplaced) {
  tray->SetActive(true);
  tray->SetIcon(kBandera0);
  const ShellHandle first = tray->Icon();
  EXPECT_NE(first, kBandera0);
  EXPECT_EQ(log.liveCopies, std::set<ShellHandle>{first});

  tray->SetIcon(kBandera1);
  const ShellHandle second = tray->Icon();
  EXPECT_NE(second, first);
  EXPECT_EQ(log.calls.back().look.icon, second);
  EXPECT_EQ(log.liveCopies, std::set<ShellHandle>{second});

  const std::size_t sent = log.calls.size();
  tray->SetIcon(tray->Icon());  // its own icon: nothing happens
  EXPECT_EQ(log.calls.size(), sent);
  EXPECT_EQ(tray->Icon(), second);

  tray->SetIcon(0);  // an empty icon is shown as a null handle
  EXPECT_EQ(log.calls.back().look.icon, 0u);
  EXPECT_TRUE(log.liveCopies.empty());

  tray->SetIcon(kBandera0);
  tray.reset();
  EXPECT_TRUE(log.liveCopies.empty());
  EXPECT_TRUE(log.faults.empty()) << log.faults.front();
}

TEST_F(TrayIconTest, ShowDesigningIsIgnoredInTheRunningProgram) {
  tray->SetShowDesigning(true);
  EXPECT_FALSE(tray->ShowDesigning());
  EXPECT_TRUE(log.calls.empty());
}

TEST_F(TrayIconTest, DestructionDeletesTheIconOnlyWhenActive) {
  tray->SetActive(true);
  tray.reset();
  EXPECT_EQ(Messages(), (std::vector{Add, Delete}));
  EXPECT_EQ(log.client, nullptr);

  ShellLog quiet;
  { TTrayIcon inactive(std::make_unique<RecordingTrayShell>(quiet)); }
  EXPECT_TRUE(quiet.calls.empty());
}

TEST_F(TrayIconTest, MenuRequestOpensTheMenuThenReportsThePositionReadBefore) {
  RecordingMenu menu(log);
  tray->PopupMenu = &menu;
  tray->OnRightClick = [&](TTrayIcon&, TMouseButton button, TShiftState shift, int x, int y) {
    EXPECT_EQ(button, TMouseButton::Right);
    EXPECT_EQ(shift, TShiftState{});
    log.trace.push_back("right click " + std::to_string(x) + "," + std::to_string(y));
  };
  log.client->HandleMenuRequest({300, 700});
  EXPECT_EQ(log.trace, (std::vector<std::string>{"foreground", "dispatch", "popup 300,700",
                                                 "right click 300,700"}));
}

TEST_F(TrayIconTest, MenuRequestWithoutMenuOnlyReportsTheClick) {
  log.client->HandleMenuRequest({});  // neither set: nothing at all
  EXPECT_TRUE(log.trace.empty());

  int clicks = 0;
  tray->OnRightClick = [&](TTrayIcon&, TMouseButton, TShiftState, int, int) { ++clicks; };
  log.client->HandleMenuRequest({});
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(log.trace.empty());
}

TEST_F(TrayIconTest, APendingMessageThatDropsTheMenuKeepsItClosed) {
  RecordingMenu menu(log);
  tray->PopupMenu = &menu;
  log.onDispatchPending = [&] { tray->PopupMenu = nullptr; };
  log.client->HandleMenuRequest({});
  EXPECT_EQ(log.trace, (std::vector<std::string>{"foreground", "dispatch"}));
}

TEST_F(TrayIconTest, TaskbarCreatedAddsTheIconAgainWhenActive) {
  tray->SetActive(true);
  tray->SetToolTip("1 Mensajes");
  tray->SetIcon(kBandera1);
  log.client->HandleTaskbarCreated();
  ASSERT_EQ(Messages(), (std::vector{Add, Modify, Modify, Add}));
  EXPECT_EQ(Tip(3), "1 Mensajes");
  EXPECT_EQ(log.calls[3].look.icon, tray->Icon());

  tray->SetActive(false);
  log.client->HandleTaskbarCreated();
  EXPECT_EQ(log.calls.back().message, Delete);
}

TEST_F(TrayIconTest, FailedAddIsRetriedUntilTheShellAcceptsIt) {
  log.addsToFail = 3;
  tray->SetToolTip("No hay Mensajes");
  tray->SetActive(true);
  EXPECT_TRUE(log.timerRunning);
  EXPECT_EQ(log.timerInterval, 2000u);

  tray->SetToolTip("2 Mensajes");  // a modify of the missing icon is still sent
  for (int tick = 0; tick < 5; ++tick) log.client->HandleRetryTimer();
  EXPECT_EQ(Messages(), (std::vector{Add, Modify, Add, Add, Add}));
  EXPECT_EQ(Tip(4), "2 Mensajes");
  EXPECT_FALSE(log.timerRunning);
}

TEST_F(TrayIconTest, AddRetriesGiveUpAfterTheLimit) {
  log.addsToFail = 1000;
  tray->SetActive(true);
  for (int tick = 0; tick < TTrayIcon::MaxAddRetries + 5; ++tick) log.client->HandleRetryTimer();
  EXPECT_EQ(log.calls.size(), 1u + TTrayIcon::MaxAddRetries);
  EXPECT_FALSE(log.timerRunning);

  // A new taskbar later brings a fresh round of tries.
  log.client->HandleTaskbarCreated();
  EXPECT_TRUE(log.timerRunning);
}

TEST_F(TrayIconTest, AddRetriesStopWhenActiveIsWrittenFalse) {
  log.addsToFail = 1000;
  tray->SetActive(true);
  log.client->HandleRetryTimer();
  tray->SetActive(false);
  EXPECT_FALSE(log.timerRunning);
  log.client->HandleRetryTimer();
  EXPECT_EQ(Messages(), (std::vector{Add, Add, Delete}));
}

TEST_F(TrayIconTest, DestructionStopsAPendingRetry) {
  log.addsToFail = 1;
  tray->SetActive(true);
  tray.reset();
  EXPECT_FALSE(log.timerRunning);
}

}  // namespace
}  // namespace buzonix
