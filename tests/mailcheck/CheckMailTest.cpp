#include <gtest/gtest.h>

#include "mailcheck/CheckMail.h"
#include "mailcheck/md5.h"
#include "mailcheck/CheckMailFixture.h"
#include "support/TestPlatform.h"

namespace buzonix {
namespace {

using testing::TestPlatform;

class CheckMailTest : public testing::CheckMailFixture {};

TEST_F(CheckMailTest, UserPassLoginAgainstDovecotCountsTheMailbox) {
  settings.Host = testing::PlainDovecotAddress();
  check.CheckMail();
  EXPECT_EQ(host.tooltip, "3 Mensajes");
  EXPECT_EQ(host.icon, "bandera1");
  EXPECT_EQ(state.NumMensajes, 3);
  EXPECT_EQ(state.NumAvisados, 3);  // no notice window: notified at once
  EXPECT_EQ(host.beeps, 1);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_FALSE(state.Chequeando);
  EXPECT_EQ(sockets.Socket(), kNoSocket);

  settings.Usuario = "carol";
  check.CheckMail();
  EXPECT_EQ(host.tooltip, "120 Mensajes");
  settings.Usuario = "bob";
  check.CheckMail();
  EXPECT_EQ(host.tooltip, "No Hay Mensajes");
  EXPECT_EQ(host.icon, "bandera0");
  EXPECT_EQ(state.NumAvisados, 0);
}

TEST_F(CheckMailTest, DovecotStampIsNotRecognisedSoUserPassIsUsed) {
  settings.Host = testing::ApopDovecotAddress();
  check.CheckMail();
  EXPECT_EQ(host.tooltip, "3 Mensajes");
  EXPECT_EQ(host.icon, "bandera1");
}

TEST_F(CheckMailTest, WrongPasswordAtDovecotDisablesTheTimer) {
  settings.Host = testing::PlainDovecotAddress();
  settings.Clave = "wrong";
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{"plain:Clave incorrecta"});
  EXPECT_EQ(host.tooltip, "Clave incorrecta");
  EXPECT_EQ(host.icon, "Bandera2");
  EXPECT_FALSE(host.timer_enabled);
  EXPECT_EQ(sockets.Socket(), kNoSocket);
}

TEST_F(CheckMailTest, ApopRoadSendsTheDigestOfStampAndPassword) {
  UseServer("+OK POP3 ready <1896.697170952@dbc.mtview.ca.us>", 2);
  check.CheckMail();
  EXPECT_EQ(host.tooltip, "2 Mensajes");
  EXPECT_EQ(host.icon, "Bandera5");
  const auto lines = testing::ReceivedLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "APOP alice " +
                          Md5Hex("<1896.697170952@dbc.mtview.ca.us>secret") + "\r\n");
  EXPECT_EQ(lines[1], "STAT\r\n");
  EXPECT_EQ(lines[2], "QUIT\r\n");
}

TEST_F(CheckMailTest, WithoutDigestFunctionAStampedGreetingTakesUserPass) {
  check.SetDigest(nullptr);
  UseServer("+OK POP3 ready <1.2@host>", 1);
  check.CheckMail();
  EXPECT_EQ(host.icon, "bandera1");
  EXPECT_EQ(testing::ReceivedLines().at(0), "USER alice\r\n");
}

TEST_F(CheckMailTest, RepliesArrivingByteByByteAreAssembledIntoLines) {
  UseScript(R"({"steps": [{"send": "+OK hola\r\n", "bytewise": 0.002}, {"read": 1},
      {"send": "+OK\r\n+OK Logged in.\r\n"}, {"read": 2},
      {"send": "+OK 4 1000\r\n", "bytewise": 0.002}, {"read": 1}, {"send": "+OK bye\r\n"}]})");
  check.CheckMail();
  EXPECT_EQ(host.tooltip, "4 Mensajes");
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(testing::ReceivedLines(),
            (std::vector<std::string>{"USER alice\r\n", "PASS secret\r\n", "STAT\r\n", "QUIT\r\n"}));
}

TEST_F(CheckMailTest, OverlongRepliesAreReadWholeAndTheDialogueStaysInStep) {
  UseScript(R"({"steps": [{"send": "+OK\r\n"}, {"read": 1}, {"send": "+OK )" +
            std::string(3000, 'x') + R"(\r\n"}, {"read": 1}, {"send": "+OK\r\n"},
            {"read": 1}, {"send": "+OK 5 1\r\n"}, {"read": 1}, {"send": "+OK\r\n"}]})");
  check.CheckMail();
  EXPECT_EQ(host.tooltip, "5 Mensajes");

  // Only 512 octets of a line are kept: an overlong greeting loses its line end.
  UseScript(R"({"steps": [{"send": "+OK )" + std::string(3000, 'x') + R"(\r\n"}]})");
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{"plain:El servidor no responde"});
}

TEST_F(CheckMailTest, RefusedConnectionShowsOneBoxPerRunOfFailures) {
  settings.Host = testing::DeadAddress();
  check.CheckMail();
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{"error:Conexion rechazada"});
  EXPECT_EQ(host.tooltip, "Error en Conexion");
  EXPECT_EQ(host.icon, "Bandera2");
  EXPECT_EQ(sockets.Socket(), kNoSocket);  // the refused socket is not left behind

  settings.Host = testing::PlainDovecotAddress();
  check.CheckMail();
  settings.Host = testing::DeadAddress();
  check.CheckMail();
  EXPECT_EQ(host.boxes.size(), 2u);
}

TEST_F(CheckMailTest, AnUnknownServerNameIsToldApartFromOtherLookUpFailures) {
  settings.Host = "pop.ejemplo.invalid";
  platform.AnswerLookUps({LookUpResult::kNoSuchName, {}});
  check.CheckMail();
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{"error:Servidor no encontrado"});
  EXPECT_EQ(host.tooltip, "Error en Conexion");
  EXPECT_EQ(host.icon, "Bandera2");

  host.tooltip = "3 Mensajes";  // a check between them went well
  platform.AnswerLookUps({LookUpResult::kFailed, {}});
  check.CheckMail();
  EXPECT_EQ(host.boxes.back(), "error:El servidor no responde");
  EXPECT_EQ(host.tooltip, "Error en Conexion");
}

TEST_F(CheckMailTest, AnIpv6AddressIsReached) {
  UseServer("+OK ready", 2);
  settings.Host = "::1";
  settings.Puerto = testing::ScriptedIpv6Port();
  check.CheckMail();
  EXPECT_EQ(host.tooltip, "2 Mensajes");
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(CheckMailTest, StalledGreetingTimesOutAndTheNextCheckStartsClean) {
  sockets.Timeout = 1;
  UseScript(R"({"steps": [{"stall": 3}]})");
  check.CheckMail();
  // The empty greeting then fails the +OK test, which has its own message.
  EXPECT_EQ(host.boxes, (std::vector<std::string>{"error:El servidor no responde",
                                                  "plain:El servidor no responde"}));
  EXPECT_EQ(host.tooltip, "Error en Conexion");
  EXPECT_EQ(host.icon, "Bandera2");
  EXPECT_TRUE(testing::ReceivedLines().empty());  // nothing sent after the time-out
  EXPECT_EQ(testing::ConnectionEnds(1).size(), 1u);  // the connection was ended

  UseServer("+OK ready", 1);
  check.CheckMail();
  EXPECT_EQ(host.tooltip, "1 Mensajes");
}

TEST_F(CheckMailTest, GreetingWithoutOkEndsWithAPlainMessageAndClosesTheConnection) {
  UseScript(R"({"steps": [{"send": "-ERR busy\r\n"}, {"stall": 2}]})");
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{"plain:El servidor no responde"});
  EXPECT_EQ(host.icon, "none");
  EXPECT_EQ(testing::ConnectionEnds(1).size(), 1u);  // the connection was ended
}

TEST_F(CheckMailTest, UnreadableStatShowsTheReplyAndStillSendsQuit) {
  UseScript(R"({"steps": [{"send": "+OK\r\n"}, {"read": 1}, {"send": "+OK\r\n"}, {"read": 1},
      {"send": "+OK\r\n"}, {"read": 1}, {"send": "+OK 7\r\n"}, {"read": 1}, {"send": "+OK\r\n"}]})");
  state.NumAvisados = 3;
  check.CheckMail();
  EXPECT_EQ(host.boxes,
            std::vector<std::string>{"plain:Protocol erroneo: Contacte con el autor. y enviele "
                                     "por mail el siguiente mensaje:\r+OK 7"});
  EXPECT_EQ(state.NumMensajes, -1);
  EXPECT_EQ(state.NumAvisados, -1);
  EXPECT_EQ(host.tooltip, "No Hay Mensajes");
  EXPECT_EQ(testing::ReceivedLines().back(), "QUIT\r\n");
}

TEST_F(CheckMailTest, LineBreakInUserNameOrPasswordIsNeverSent) {
  struct Case {
    const char* greeting;
    std::string user, password;
  };
  const Case cases[] = {
      {"+OK ready", "alice\r\nDELE 1", "secret"},
      {"+OK ready", "alice", "secret\r\nDELE 1"},
      {"+OK ready", "alice", "secret\nDELE 1"},
      {"+OK ready <1896.697170952@dbc.mtview.ca.us>", "alice", "secret\rDELE 1"},
  };
  for (const Case& c : cases) {
    host = {};
    settings.Usuario = c.user;
    settings.Clave = c.password;
    UseServer(c.greeting, 1);
    check.CheckMail();
    EXPECT_EQ(host.boxes, std::vector<std::string>{"plain:Clave incorrecta"}) << c.greeting;
    EXPECT_EQ(host.icon, "Bandera2");
    EXPECT_FALSE(host.timer_enabled);
    EXPECT_TRUE(testing::ReceivedLines().empty()) << c.user << "|" << c.password;
  }
}

TEST_F(CheckMailTest, NoticeRulesWithAndWithoutTheNoticeWindow) {
  UseServer("+OK ready", 3);
  check.CheckMail();
  check.CheckMail();
  EXPECT_EQ(host.beeps, 1);  // unchanged count notifies once
  EXPECT_TRUE(host.notices.empty());

  settings.Animacion = "Si";
  UseServer("+OK ready", 4);
  check.CheckMail();
  check.CheckMail();  // never acknowledged: shown and beeped again
  EXPECT_EQ(host.notices, (std::vector<std::int32_t>{4, 4}));
  EXPECT_EQ(host.beeps, 3);
  state.NumAvisados = state.NumMensajes;  // the user clicked the notice
  check.CheckMail();
  EXPECT_EQ(host.notices.size(), 2u);

  UseServer("+OK ready", 0);
  check.CheckMail();
  UseServer("+OK ready", 4);
  check.CheckMail();
  EXPECT_EQ(host.notices.size(), 3u);
}

TEST_F(CheckMailTest, NestedCheckDuringAWaitDoesNothing) {
  UseScript(R"({"steps": [{"stall": 0.4}, {"send": "+OK\r\n"}, {"read": 1}, {"send": "+OK\r\n"},
      {"read": 1}, {"send": "+OK\r\n"}, {"read": 1}, {"send": "+OK 1 1\r\n"}, {"read": 1},
      {"send": "+OK\r\n"}]})");
  int nested = 0;
  platform.After(100, [&] {
    ++nested;
    check.CheckMail();
  });
  check.CheckMail();
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(host.tooltip, "1 Mensajes");
  EXPECT_EQ(testing::ConnectionEnds(1).size(), 1u);
  EXPECT_EQ(testing::ReceivedLines().size(), 4u);
}

TEST_F(CheckMailTest, EmptyHostDoesNothing) {
  settings.Host = "";
  check.CheckMail();
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(host.icon, "none");
}

}  // namespace
}  // namespace buzonix
