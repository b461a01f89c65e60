// An IMAP session that stays in IDLE: news from the server, from the main
// loop, and what a dying connection does.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "mailcheck/ImapFixture.h"

namespace buzonix {
namespace {

class ImapIdleTest : public testing::ImapFixture {
 protected:
  int Count(const std::string& command) {
    const auto commands = Commands();
    return static_cast<int>(std::count(commands.begin(), commands.end(), command));
  }
  static std::string Uids(int first, int last) {
    std::string out = "[";
    for (int uid = first; uid <= last; ++uid) out += (uid > first ? "," : "") + std::to_string(uid);
    return out + "]";
  }
};

TEST_F(ImapIdleTest, ADeliveryShowsWithinTwoSecondsWithoutANewLogin) {
  if (testing::PlainDovecot("logins").empty()) GTEST_SKIP() << "dovecot is driven from the native tests";
  UseDovecot("Ninguna");
  settings.Usuario = "erin";
  check.CheckMail();
  ASSERT_TRUE(check.Idling()) << (host.boxes.empty() ? "" : host.boxes[0]);
  const std::int32_t before = state.NumMensajes;
  const std::size_t notices = host.notices.size();
  const std::string logins = testing::PlainDovecot("logins");

  const auto start = std::chrono::steady_clock::now();
  testing::PlainDovecot("deliver erin 1");
  ASSERT_TRUE(PumpUntil([&] { return state.NumMensajes == before + 1; }, 2000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(host.tooltip, UnreadCaption(before + 1));
  EXPECT_EQ(host.notices.size(), notices + 1);
  EXPECT_EQ(testing::PlainDovecot("logins"), logins);
  EXPECT_TRUE(check.Idling());

  // Read elsewhere: the count falls, the open notice follows, no beep.
  const int beeps = host.beeps;
  const std::string flags = testing::PlainDovecot("flags erin");
  const std::size_t last = flags.rfind("uid=");
  const std::string uid = flags.substr(last + 4, flags.find(' ', last) - last - 4);
  testing::PlainDovecot("seen erin " + uid);
  ASSERT_TRUE(PumpUntil([&] { return state.NumMensajes == before; }, 3000));
  EXPECT_EQ(host.notices.size(), notices + 1);
  EXPECT_EQ(host.beeps, beeps);
  EXPECT_EQ(host.followed.back(), before);
  EXPECT_EQ(testing::PlainDovecot("logins"), logins);
}

// New mail is a UID not counted before under the same UIDVALIDITY: not a
// message marked unread again, nor one counted before a reconnect.
TEST_F(ImapIdleTest, OnlyAnUnseenUidNotCountedBeforeIsNewMail) {
  UseScript(R"({"mode": "imap", "users": {"alice": "secret"}, "connections": [)"
            R"({"folders": {"INBOX": {"uidvalidity": 7, "unseen": [1, 2]}}, "idle": [)"
            R"([{"stall": 0.3}, {"unseen": [2]}, {"send": "* 1 FETCH (FLAGS (\\Seen))\r\n"}],)"
            R"([{"stall": 0.3}, {"unseen": [1, 2]}, {"send": "* 1 FETCH (FLAGS ())\r\n"}],)"
            R"([{"stall": 0.3}, {"unseen": [1, 2, 5]}, {"send": "* 5 EXISTS\r\n"}],)"
            R"([{"stall": 0.3}, {"send": "* BYE restarting\r\n"}, {"close": 1}]]},)"
            R"({"folders": {"INBOX": {"uidvalidity": 7, "unseen": [1, 2, 5]}}, "idle": [[{"stall": 0.3}, {"send": "* BYE again\r\n"}, {"close": 1}]]},)"
            R"({"folders": {"INBOX": {"uidvalidity": 9, "unseen": [1]}}}]})");
  check.CheckMail();
  ASSERT_TRUE(check.Idling());
  EXPECT_EQ(host.notices, std::vector<std::int32_t>{2});
  ASSERT_TRUE(PumpUntil([&] { return host.tooltip == "1 Mensaje sin leer"; }));
  EXPECT_EQ(host.followed, std::vector<std::int32_t>{1});
  ASSERT_TRUE(PumpUntil([&] { return host.tooltip == "2 Mensajes sin leer"; }));
  ASSERT_TRUE(PumpUntil([&] { return host.tooltip == "3 Mensajes sin leer"; }));
  EXPECT_EQ(host.notices, (std::vector<std::int32_t>{2, 3}));
  EXPECT_EQ(host.beeps, 2);
  // The BYE: one quiet reconnect, which counts the same UIDs; its own BYE
  // is reconnected once more, to a new UIDVALIDITY: new mail again.
  ASSERT_TRUE(PumpUntil([&] { return host.tooltip == "1 Mensaje sin leer"; }));
  EXPECT_EQ(host.boxes, std::vector<std::string>{});
  EXPECT_EQ(host.notices, (std::vector<std::int32_t>{2, 3, 1}));
  ExpectReadOnly();
}

TEST_F(ImapIdleTest, ABurstCostsOneRecount) {
  std::string burst;
  for (int n = 4; n <= 53; ++n) burst += R"({"send": "* )" + std::to_string(n) + R"( EXISTS\r\n"},)";
  UseScript(R"({"mode": "imap", "users": {"alice": "secret"}, "idle": [[{"stall": 0.3}, )" + burst +
            R"({"unseen": )" + Uids(1, 53) + "}], []]}");
  check.CheckMail();
  ASSERT_TRUE(check.Idling());
  const int recounts = check.Recounts();
  ASSERT_TRUE(PumpUntil([&] { return state.NumMensajes == 53; }));
  platform.Pump(300);
  EXPECT_EQ(check.Recounts(), recounts + 1);
  EXPECT_EQ(Count("UID SEARCH UNSEEN"), 2);
}

// News that came before IDLE was granted is not left waiting for the next.
TEST_F(ImapIdleTest, AnExistsOutsideIdleIsCountedOnceIdling) {
  UseScript(R"({"mode": "imap", "users": {"alice": "secret"},)"
            R"( "after_search": [{"send": "* 4 EXISTS\r\n"}, {"unseen": [1, 2, 3, 4]}]})");
  check.CheckMail();
  EXPECT_TRUE(check.Idling());
  EXPECT_EQ(host.tooltip, "4 Mensajes sin leer");
  EXPECT_EQ(host.notices, (std::vector<std::int32_t>{3, 4}));
}

TEST_F(ImapIdleTest, TheWakeTimerReissuesIdleAndTheTickRecounts) {
  UseScript(R"({"mode": "imap", "users": {"alice": "secret"}})");
  check.CheckMail();
  ASSERT_TRUE(check.Idling());
  EXPECT_EQ(timer.started, 29u * 60u * 1000u);
  check.WakeTimerFired();
  EXPECT_TRUE(check.Idling());
  EXPECT_EQ(timer.started, 29u * 60u * 1000u);
  check.CheckMail();  // the tick
  EXPECT_TRUE(check.Idling());
  EXPECT_EQ(Count("IDLE"), 3);
  EXPECT_EQ(Count("DONE"), 2);
  EXPECT_EQ(Count("UID SEARCH UNSEEN"), 2);
  EXPECT_EQ(check.Logins(), 1);

  const auto start = std::chrono::steady_clock::now();
  check.EndSession();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(sockets.Socket(), kNoSocket);
  testing::ConnectionEnds(1);
  EXPECT_EQ(Count("DONE"), 3);
  EXPECT_EQ(Count("LOGOUT"), 1);
}

// A connection that went silent (behind a router, say) is noticed at the
// next tick, while idling and while leaving IDLE alike, and reopened quietly.
TEST_F(ImapIdleTest, AStallIsNoticedAtTheTickAndReopened) {
  platform.DriveTimeouts();
  for (const char* fault : {R"("idle": [[{"stall": 30}]])", R"("stall_done": 30)"}) {
    UseScript(R"({"mode": "imap", "users": {"alice": "secret"}, "connections": [{)" +
              std::string(fault) + "}, {}]}");
    const int logins = check.Logins();
    check.CheckMail();
    ASSERT_TRUE(check.Idling()) << fault;
    unsigned waited = 0;
    platform.After(200, [&] {
      waited = platform.TimeoutRunning();
      platform.PassTimeout();
    });
    check.CheckMail();
    EXPECT_EQ(waited, 30u * 1000u) << fault;  // the tick's wait is bounded by the time-out
    EXPECT_TRUE(check.Idling()) << fault;
    EXPECT_EQ(host.boxes, std::vector<std::string>{}) << fault;
    EXPECT_EQ(check.Logins(), logins + 2) << fault;
    check.EndSession();
  }
}

TEST_F(ImapIdleTest, AReconnectThatFailsIsTold) {
  UseScript(R"({"mode": "imap", "users": {"alice": "secret"}, "connections": [)"
            R"({"idle": [[{"stall": 0.3}, {"send": "* BYE shutting down\r\n"}, {"close": 1}]]}, {"refuse": true}]})");
  check.CheckMail();
  ASSERT_TRUE(check.Idling());
  ASSERT_TRUE(PumpUntil([&] { return !host.boxes.empty(); }));
  EXPECT_EQ(host.boxes, std::vector<std::string>{"plain:Clave incorrecta"});
  EXPECT_FALSE(check.Idling());
}

}  // namespace
}  // namespace buzonix
