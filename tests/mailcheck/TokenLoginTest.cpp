// Logins with a provider's token, against the scripted server over TLS: the
// faults no real server shows on request (a refused token, a refusal after
// the renewal) and what each token problem shows, for POP3 and IMAP.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailcheck/CheckMailFixture.h"
#include "mailcheck/ImapFixture.h"
#include "signin/TokenKeeper.h"
#include "support/TestPlatform.h"
#include "text/Base64.h"

namespace buzonix {
namespace {

// Hands out "token-1", "token-2"... or a failure; records each renew flag.
class CountingTokens final : public AccessTokens {
 public:
  AccessToken Fresh(bool renew) override {
    renews.push_back(renew);
    AccessToken token;
    token.result = result;
    if (result == AccessToken::Result::kReady) token.token = "token-" + std::to_string(renews.size());
    return token;
  }
  AccessToken::Result result = AccessToken::Result::kReady;
  std::vector<bool> renews;
};

constexpr char kRefusal[] = "eyJzdGF0dXMiOiI0MDEifQ==";  // {"status":"401"}

void SignInWithProvider(Settings& settings) {
  settings.Autenticacion = "Otro proveedor";
  settings.Seguridad = "SSL/TLS";
  settings.Host = testing::kTlsHost;
  settings.Puerto = testing::ScriptedTlsPort();
  settings.Usuario = "jos\xE9@example.org";
  settings.Clave.clear();
}

// The bearer token each AUTH or AUTHENTICATE line carried, in order.
std::vector<std::string> TokensSent() {
  std::vector<std::string> tokens;
  for (const std::string& line : testing::ReceivedLines()) {
    const std::size_t at = line.find("XOAUTH2 ");
    if (at == std::string::npos) continue;
    std::string encoded = line.substr(at + 8);
    while (!encoded.empty() && (encoded.back() == '\r' || encoded.back() == '\n')) encoded.pop_back();
    const auto decoded = DecodeBase64(encoded);
    if (!decoded) continue;
    EXPECT_EQ(decoded->rfind("user=jos\xC3\xA9@example.org\x01", 0), 0u) << "the user goes in UTF-8";
    const std::size_t bearer = decoded->find("auth=Bearer ");
    if (bearer != std::string::npos) tokens.push_back(decoded->substr(bearer + 12, decoded->find('\x01', bearer) - bearer - 12));
  }
  return tokens;
}

class Pop3TokenLogin : public testing::CheckMailFixture {
 protected:
  Pop3TokenLogin() {
    testing::TrustTestCa();
    check.SetTlsEngineFactory(testing::PlatformTlsEngines());
    check.SetAccessTokens(&tokens);
    SignInWithProvider(settings);
  }
  // A stamped greeting, the first token refused after an error challenge,
  // then `second` to the renewed one.
  void Script(const std::string& second) {
    testing::SetScript(R"({"steps": [{"tls": "valid"}, {"send": "+OK listo <1.2@host>\r\n"}, {"read": 1},
      {"send": "+ )" + std::string(kRefusal) + R"(\r\n"}, {"read": 1}, {"send": "-ERR [AUTH] refused\r\n"},
      {"read": 1}, {"send": ")" + second + R"(\r\n"}, {"read": 1}, {"send": "+OK 2 300\r\n"},
      {"read": 1}, {"send": "+OK bye\r\n"}]})");
  }
  CountingTokens tokens;
};

TEST_F(Pop3TokenLogin, ARefusedTokenIsRenewedOnceAndTheStampedGreetingStillShowsBandera1) {
  Script("+OK");
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{});
  EXPECT_EQ(tokens.renews, (std::vector<bool>{false, true}));
  EXPECT_EQ(TokensSent(), (std::vector<std::string>{"token-1", "token-2"}));
  EXPECT_EQ(host.icon, "bandera1");
  for (const std::string& line : testing::ReceivedLines())
    for (const char* verb : {"USER", "PASS", "APOP"}) EXPECT_NE(line.rfind(verb, 0), 0u) << line;
}

TEST_F(Pop3TokenLogin, ARefusalAfterTheRenewalIsTheProvidersProblemToldOnce) {
  for (int round = 0; round < 2; ++round) {
    Script("-ERR [AUTH] still refused");
    check.CheckMail();
  }
  EXPECT_EQ(host.boxes, std::vector<std::string>{std::string("plain:") + kProveedorRechazado});
  EXPECT_EQ(host.tooltip, kTooltipProveedorRechazado);
  EXPECT_EQ(host.icon, "Bandera2");
  EXPECT_TRUE(host.timer_enabled) << "not the password road";
  EXPECT_EQ(tokens.renews.size(), 4u) << "one renewal per check, no more";
}

// Each token problem comes before any connection, once per run of failures,
// with the timer running; a plain-text connection never gets a token.
TEST_F(Pop3TokenLogin, TokenProblemsAreToldOnceBeforeAnyConnection) {
  struct Case {
    AccessToken::Result result;
    const char* seguridad;
    std::string box;
    const char* tooltip;
    std::size_t asked;
  };
  const std::vector<Case> cases = {
      {AccessToken::Result::kSignInEnded, "SSL/TLS", std::string("plain:") + kSesionCaducada,
       kTooltipSesionCaducada, 2},
      {AccessToken::Result::kUnreachable, "SSL/TLS", std::string("error:") + kInicioSinConexion,
       kErrorEnConexion, 2},
      {AccessToken::Result::kReady, "Ninguna", std::string("plain:") + kInicioExigeSeguridad,
       kErrorEnConexion, 0},
  };
  for (const Case& c : cases) {
    testing::SetScript(R"({"steps": [{"tls": "valid"}, {"send": "+OK\r\n"}, {"read": 1}]})");
    tokens.result = c.result;
    tokens.renews.clear();
    settings.Seguridad = c.seguridad;
    host.boxes.clear();
    host.tooltip = "No hay Mensajes";
    check.CheckMail();
    check.CheckMail();
    EXPECT_EQ(host.boxes, std::vector<std::string>{c.box}) << c.box;
    EXPECT_EQ(host.tooltip, c.tooltip) << c.box;
    EXPECT_EQ(host.icon, "Bandera2") << c.box;
    EXPECT_TRUE(host.timer_enabled) << c.box;
    EXPECT_EQ(tokens.renews.size(), c.asked) << c.box;
    EXPECT_EQ(testing::ReceivedLines(), std::vector<std::string>{}) << c.box;
  }
}

class ImapTokenLogin : public testing::ImapFixture {
 protected:
  ImapTokenLogin() {
    check.SetAccessTokens(&tokens);
    SignInWithProvider(settings);
  }
  CountingTokens tokens;
};

TEST_F(ImapTokenLogin, ARefusedTokenIsRenewedOnceInTheSameSessionAndARepeatedRefusalIsTheProviders) {
  // The session's tags go on from one session to the next.
  int tag = 0;
  const auto next = [&tag] { return "b" + std::to_string(++tag); };
  const auto script = [&next](const std::string& second) {
    const std::string refused = next(), renewed = next(), examine = next(), search = next(), logout = next();
    return R"({"steps": [{"tls": "valid"}, {"send": "* OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2 AUTH=OAUTHBEARER SASL-IR] hola\r\n"},
      {"read": 1}, {"send": "+ )" + std::string(kRefusal) + R"(\r\n"}, {"read": 1},
      {"send": ")" + refused + R"( NO [AUTHENTICATIONFAILED] refused\r\n"}, {"read": 1},
      {"send": ")" + renewed + " " + second + R"(\r\n"},
      {"read": 1}, {"send": "* 2 EXISTS\r\n)" + examine + R"( OK [READ-ONLY] done\r\n"},
      {"read": 1}, {"send": "* SEARCH 4 9\r\n)" + search + R"( OK done\r\n"},
      {"read": 1}, {"send": "* BYE\r\n)" + logout + R"( OK bye\r\n"}]})";
  };
  testing::SetScript(script("OK [CAPABILITY IMAP4rev1] welcome"));
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{});
  EXPECT_EQ(host.tooltip, "2 Mensajes sin leer");
  EXPECT_EQ(tokens.renews, (std::vector<bool>{false, true}));
  EXPECT_EQ(TokensSent(), (std::vector<std::string>{"token-1", "token-2"}));
  EXPECT_TRUE(Sent("EXAMINE"));
  ExpectReadOnly();

  host.boxes.clear();
  host.tooltip = "No hay Mensajes";
  testing::SetScript(script("NO [AUTHENTICATIONFAILED] refused again"));
  check.CheckMail();
  EXPECT_EQ(host.boxes, std::vector<std::string>{std::string("plain:") + kProveedorRechazado});
  EXPECT_TRUE(host.timer_enabled);
  EXPECT_FALSE(Sent("EXAMINE"));
}

}  // namespace
}  // namespace buzonix
