// Checks over TLS, against dovecot and the scripted server: what each road
// shows, and that no credential ever leaves before the server is verified.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mailcheck/CheckMailFixture.h"
#include "support/TestPlatform.h"

namespace buzonix {
namespace {

class SecureCheckTest : public testing::CheckMailFixture {
 protected:
  SecureCheckTest() {
    testing::TrustTestCa();
    check.SetTlsEngineFactory(testing::PlatformTlsEngines());
    settings.Host = testing::kTlsHost;
  }

  void UseTlsScript(const std::string& seguridad, const std::string& json) {
    testing::SetScript(json);
    settings.Seguridad = seguridad;
    settings.Puerto = testing::ScriptedTlsPort();
  }

  // The check ended on `box` as a connection error, and the server never saw
  // a user name, a password or a digest.
  void ExpectRefusedBeforeCredentials(const std::string& box, const std::string& what) {
    EXPECT_EQ(host.boxes, std::vector<std::string>{"error:" + box}) << what;
    EXPECT_EQ(host.tooltip, "Error en Conexion") << what;
    EXPECT_EQ(host.icon, "Bandera2") << what;
    EXPECT_FALSE(state.Chequeando) << what;
    EXPECT_EQ(sockets.Socket(), kNoSocket) << what;
    testing::ConnectionEnds(1);
    for (const std::string& line : testing::ReceivedLines())
      for (const char* verb : {"USER", "PASS", "APOP"})
        EXPECT_NE(line.rfind(verb, 0), 0u) << what << ": " << line;
  }

  void Reset() {
    host.boxes.clear();
    host.tooltip = "No hay Mensajes";
    host.icon = "none";
  }
};

TEST_F(SecureCheckTest, EveryRoadCountsTheMailbox) {
  struct Road {
    const char* seguridad;
    std::string port;
    const char* icon;
  };
  // dovecot's stamp is not one the check takes, so APOP inside TLS is the
  // scripted server's.
  const std::vector<Road> roads = {
      {"SSL/TLS", testing::PlainDovecotPort(true), "bandera1"},
      {"STARTTLS", testing::PlainDovecotPort(false), "bandera1"},
      {"SSL/TLS", testing::ApopDovecotPort(true), "bandera1"},
      {"STARTTLS", testing::ApopDovecotPort(false), "bandera1"},
      {"SSL/TLS", testing::ScriptedTlsPort(), "Bandera5"},
      {"STARTTLS", testing::ScriptedTlsPort(), "Bandera5"},
  };
  for (const Road& road : roads) {
    const bool implicit = std::string(road.seguridad) == "SSL/TLS";
    testing::SetScript(std::string(R"({"mode": "pop3", "tls": ")") + (implicit ? "implicit" : "stls") +
                       R"(", "greeting": "+OK ready <7.42@ejemplo>",)"
                       R"( "users": {"alice": "secret"}, "count": 3, "size": 726})");
    settings.Seguridad = road.seguridad;
    settings.Puerto = road.port;
    Reset();
    check.CheckMail();
    const std::string what = std::string(road.seguridad) + " port " + road.port;
    EXPECT_EQ(host.boxes, std::vector<std::string>{}) << what;
    EXPECT_EQ(host.tooltip, "3 Mensajes") << what;
    EXPECT_EQ(host.icon, road.icon) << what;
    EXPECT_EQ(sockets.Socket(), kNoSocket) << what;
  }
}

TEST_F(SecureCheckTest, CertificateFaultsEndTheCheckBeforeAnyCredential) {
  struct Fault {
    const char* cert;
    std::string box;
  };
  const std::vector<Fault> faults = {
      {"untrusted", "El certificado del servidor no es de confianza"},
      {"selfsigned", "El certificado del servidor no es de confianza"},
      {"wrongname", "El certificado del servidor no corresponde a localhost"},
      {"expired", "El certificado del servidor ha caducado"},
  };
  for (const Fault& fault : faults) {
    for (const char* road : {"implicit", "stls"}) {
      UseTlsScript(std::string(road) == "stls" ? "STARTTLS" : "SSL/TLS",
                   std::string(R"({"mode": "pop3", "tls": ")") + road + R"(", "cert": ")" +
                       fault.cert + R"(", "users": {"alice": "secret"}, "count": 3})");
      Reset();
      check.CheckMail();
      ExpectRefusedBeforeCredentials(fault.box, std::string(fault.cert) + " " + road);
    }
  }
}

TEST_F(SecureCheckTest, StlsFaultsNeverFallBackToPlainText) {
  const std::string refused = "El servidor no admite conexiones seguras (STARTTLS)";
  const std::string failed = "No se pudo establecer una conexi\xF3n segura";
  struct Fault {
    const char* name;
    std::string steps;
    std::string box;
  };
  const std::vector<Fault> faults = {
      {"refused", R"({"send": "+OK ready\r\n"}, {"read": 1}, {"send": "-ERR not here\r\n"})", refused},
      {"odd answer", R"({"send": "+OK ready\r\n"}, {"read": 1}, {"send": "OK\r\n"})", refused},
      {"bad greeting", R"({"send": "-ERR busy\r\n"})", failed},
      {"plain bytes after +OK",
       R"({"send": "+OK ready\r\n"}, {"read": 1}, {"send": "+OK go\r\n+OK injected\r\n"}, {"tls": "valid"})",
       failed},
  };
  for (const Fault& fault : faults) {
    UseTlsScript("STARTTLS", R"({"steps": [)" + fault.steps + "]}");
    Reset();
    check.CheckMail();
    ExpectRefusedBeforeCredentials(fault.box, fault.name);
  }
}

TEST_F(SecureCheckTest, HandshakeCutShortFailsOrTimesOut) {
  sockets.Timeout = 1;
  UseTlsScript("SSL/TLS", R"({"steps": [{"read_raw": 1}, {"close": 1}]})");
  check.CheckMail();
  ExpectRefusedBeforeCredentials("No se pudo establecer una conexi\xF3n segura", "close");

  UseTlsScript("SSL/TLS", R"({"steps": [{"read_raw": 1}, {"stall": 3}]})");
  Reset();
  check.CheckMail();
  ExpectRefusedBeforeCredentials("El servidor no responde", "stall");
}

TEST_F(SecureCheckTest, AlertOrCloseInMidDialogueIsASocketError) {
  for (const char* end : {R"({"alert": 1})", R"({"close_notify": 1})"}) {
    UseTlsScript("SSL/TLS", std::string(R"({"steps": [{"tls": "valid"}, {"send": "+OK ready\r\n"},)") +
                                R"( {"read": 1}, {"send": "+OK\r\n"}, {"read": 1},)" +
                                R"( {"send": "+OK Logged in.\r\n"}, )" + end + "]}");
    Reset();
    check.CheckMail();
    EXPECT_EQ(host.boxes, std::vector<std::string>{"error:" + ErrorText(10054)}) << end;
    EXPECT_EQ(host.tooltip, "Error en Conexion") << end;
    EXPECT_EQ(host.icon, "Bandera2") << end;
    EXPECT_EQ(sockets.Socket(), kNoSocket) << end;
  }
}

TEST_F(SecureCheckTest, WithoutATlsProviderNothingIsSent) {
  check.SetTlsEngineFactory([](const std::string&) { return nullptr; });
  UseTlsScript("STARTTLS", R"({"mode": "pop3", "tls": "stls", "users": {"alice": "secret"}})");
  check.CheckMail();
  ExpectRefusedBeforeCredentials("Las conexiones seguras no est\xE1n disponibles en este equipo",
                                 "no provider");
}

}  // namespace
}  // namespace buzonix
