// IMAP sessions against dovecot and the scripted server: the count, the login
// rules, the folder, and what the reader refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mailcheck/ImapFixture.h"
#include "text/Cp1252.h"

namespace buzonix {
namespace {

using testing::JsonText;

class ImapCheckTest : public testing::ImapFixture {};

std::string Flags(const std::string& user) { return testing::PlainDovecot("flags " + user); }

TEST_F(ImapCheckTest, EveryRoadCountsTheUnreadMailOnceAndChangesNoFlag) {
  if (testing::PlainDovecot("logins").empty()) GTEST_SKIP() << "dovecot is driven from the native tests";
  const std::string before = Flags("alice");
  ASSERT_NE(before.find("uid=3"), std::string::npos) << before;
  int road = 0;
  for (const char* seguridad : {"Ninguna", "STARTTLS", "SSL/TLS"}) {
    UseDovecot(seguridad);
    check.CheckMail();
    EXPECT_EQ(host.boxes, std::vector<std::string>{}) << seguridad;
    EXPECT_EQ(host.tooltip, "3 Mensajes sin leer") << seguridad;
    EXPECT_EQ(host.icon, "bandera1") << seguridad;
    EXPECT_TRUE(check.Idling()) << seguridad;
    // Counted at the first session only: the others see the same UIDs.
    EXPECT_EQ(host.notices, std::vector<std::int32_t>{3}) << seguridad;
    EXPECT_EQ(host.beeps, 1) << seguridad;
    check.EndSession();
    EXPECT_EQ(sockets.Socket(), kNoSocket);
    ++road;
  }
  EXPECT_EQ(Flags("alice"), before);
}

TEST_F(ImapCheckTest, APasswordWithQuotesBackslashAndEnyeLogsIn) {
  UseDovecot("Ninguna");
  settings.Usuario = "dave";
  settings.Clave = "pa\"s\\w\xF1";
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{});
  EXPECT_EQ(host.tooltip, "1 Mensaje sin leer");
}

// LOGIN's strings where the server has no AUTH=PLAIN: quoted, or as a
// literal that waits for the go-ahead without LITERAL+.
TEST_F(ImapCheckTest, LoginQuotesAndSendsLiterals) {
  for (const std::string& password : {std::string("pa\"s\\w d"), std::string("pa\"s\\w\xF1")}) {
    for (const char* caps : {"IMAP4rev1", "IMAP4rev1 LITERAL+"}) {
      UseScript(R"({"mode": "imap", "caps": ")" + std::string(caps) + R"(", "users": {"alice": )" +
                JsonText(Cp1252ToUtf8(password)) + "}}");
      settings.Clave = password;
      host.boxes.clear();
      check.CheckMail();
      EXPECT_EQ(host.boxes, std::vector<std::string>{}) << caps << " " << password;
      EXPECT_EQ(host.tooltip, "3 Mensajes sin leer") << caps;
      EXPECT_TRUE(Sent("LOGOUT")) << "no IDLE offered: the session ends";
      EXPECT_FALSE(Sent("IDLE"));
      EXPECT_EQ(sockets.Socket(), kNoSocket);
      ExpectReadOnly();
    }
  }
}

TEST_F(ImapCheckTest, LineBreakingCredentialsAreNeverSent) {
  UseScript(R"({"mode": "imap", "users": {"alice": "secret"}})");
  settings.Clave = "sec\r\nret";
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{"plain:Clave incorrecta"});
  EXPECT_FALSE(host.timer_enabled);
  EXPECT_EQ(testing::ReceivedLines(), std::vector<std::string>{});
}

TEST_F(ImapCheckTest, LoginDisabledSendsNoCredentialAndTellsOnce) {
  struct Case {
    const char* what;
    std::string script;
    const char* seguridad;
  };
  const std::vector<Case> cases = {
      {"plain", R"({"mode": "imap", "caps": "IMAP4rev1 LOGINDISABLED AUTH=PLAIN"})", "Ninguna"},
      {"after STARTTLS",
       R"({"mode": "imap", "tls": "starttls", "caps": "IMAP4rev1 AUTH=PLAIN",)"
       R"( "caps_after_tls": "IMAP4rev1 LOGINDISABLED AUTH=PLAIN"})",
       "STARTTLS"},
  };
  for (const Case& c : cases) {
    UseScript(c.script);
    settings.Seguridad = c.seguridad;
    if (std::string(c.seguridad) == "STARTTLS") {
      settings.Host = testing::kTlsHost;
      settings.Puerto = testing::ScriptedTlsPort();
    }
    host.boxes.clear();
    host.tooltip = "No hay Mensajes";
    check.CheckMail();
    check.CheckMail();
    EXPECT_EQ(host.boxes, std::vector<std::string>{
                              "plain:El servidor exige una conexi\xF3n segura: elija STARTTLS o "
                              "SSL/TLS en Configuraci\xF3n"})
        << c.what;
    EXPECT_TRUE(host.timer_enabled) << c.what;
    EXPECT_FALSE(Sent("LOGIN") || Sent("AUTHENTICATE")) << c.what;
  }
}

TEST_F(ImapCheckTest, StarttlsNotOfferedEndsTheCheck) {
  UseScript(R"({"mode": "imap"})");
  settings.Seguridad = "STARTTLS";
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{"error:El servidor no admite conexiones seguras (STARTTLS)"});
  EXPECT_FALSE(Sent("LOGIN") || Sent("AUTHENTICATE"));
}

TEST_F(ImapCheckTest, ARefusedLoginStopsTheTimer) {
  UseScript(R"({"mode": "imap", "users": {"alice": "other"}})");
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{"plain:Clave incorrecta"});
  EXPECT_EQ(host.tooltip, "Clave incorrecta");
  EXPECT_FALSE(host.timer_enabled);
}

TEST_F(ImapCheckTest, AMissingFolderIsToldOnceInModifiedUtf7) {
  UseScript(R"({"mode": "imap", "users": {"alice": "secret"}})");
  settings.Carpeta = "A\xF1o";
  check.CheckMail();
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{"plain:No se encuentra la carpeta A\xF1o"});
  EXPECT_EQ(host.tooltip, "Error en Conexion");
  EXPECT_EQ(host.icon, "Bandera2");
  EXPECT_TRUE(host.timer_enabled);
  EXPECT_TRUE(Sent("EXAMINE \"A&APE-o\""));
}

TEST_F(ImapCheckTest, FiftyThousandUnseenAreCountedAndAnOverlongLineIsRefused) {
  std::string uids = "[1";
  for (int uid = 2; uid <= 50000; ++uid) uids += "," + std::to_string(uid);
  UseScript(R"({"mode": "imap", "users": {"alice": "secret"}, "caps": "IMAP4rev1 AUTH=PLAIN",)"
            R"( "folders": {"INBOX": {"uidvalidity": 3, "unseen": )" + uids + "]}}}");
  check.CheckMail();
  EXPECT_EQ(host.tooltip, "50000 Mensajes sin leer");

  // A line past the bound, with no end in sight: refused, never a count.
  std::string endless = "* SEARCH";
  while (endless.size() < 1100 * 1024) endless += " 12345";
  UseScript(R"({"mode": "imap", "users": {"alice": "secret"}, "search_reply": ")" + endless + R"("})");
  host.tooltip = "No hay Mensajes";
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{"error:El servidor envi\xF3 una respuesta demasiado larga"});
  EXPECT_EQ(host.tooltip, "Error en Conexion");
  EXPECT_EQ(state.NumMensajes, 50000) << "the count of before stays";
  EXPECT_EQ(sockets.Socket(), kNoSocket);
}

TEST_F(ImapCheckTest, LiteralsContinuationsAndUnsolicitedNewsInReplies) {
  UseScript(R"({"mode": "imap", "users": {"alice": "secret"}, "caps": "IMAP4rev1 AUTH=PLAIN",)"
            R"( "before_reply": {"EXAMINE": "* LIST () \"/\" {7}\r\nIN\r\nBOX\r\n+ stray\r\n",)"
            R"( "UID": "* 4 EXISTS\r\n"}})");
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{});
  EXPECT_EQ(host.tooltip, "3 Mensajes sin leer");

  // A malformed search is no count.
  UseScript(R"({"mode": "imap", "users": {"alice": "secret"}, "search_reply": "* SEARCH 1 x 3\r\n"})");
  host.tooltip = "No hay Mensajes";
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{"error:El servidor envi\xF3 una respuesta que no se entiende"});
}

TEST_F(ImapCheckTest, ATaggedReplyThatNeverComesTimesOut) {
  platform.DriveTimeouts();
  UseScript(R"({"mode": "imap", "users": {"alice": "secret"}, "never_answer": ["UID"]})");
  unsigned waited = 0;
  PassTimeoutAfter("UID SEARCH", waited);
  check.CheckMail();
  EXPECT_EQ(waited, 30u * 1000u);
  EXPECT_EQ(host.boxes, std::vector<std::string>{"error:El servidor no responde"});
  EXPECT_EQ(host.tooltip, "Error en Conexion");
  EXPECT_FALSE(check.Idling());
  EXPECT_EQ(sockets.Socket(), kNoSocket);
  EXPECT_FALSE(state.Chequeando);
}

}  // namespace
}  // namespace buzonix
