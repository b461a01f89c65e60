// Where a sign-in may send codes and tokens, what each provider publishes,
// and the SASL bytes that carry a token to the mail server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "signin/Provider.h"
#include "signin/Sasl.h"
#include "text/Base64.h"

namespace buzonix {
namespace {

TEST(Provider, EndpointsAllowedAreHttpsOrLoopbackHttp) {
  for (const char* allowed :
       {"https://login.example.com/token", "HTTPS://Login.Example.com:8443/t?x=1", "https://login.example",
        "http://127.0.0.1:8080/token", "http://127.8.9.10/", "http://localhost:9000/", "http://[::1]:9000/t"})
    EXPECT_TRUE(EndpointAllowed(allowed)) << allowed;
  for (const char* refused : {
           "http://login.example.com/token", "ftp://login.example/", "login.example/token", "",
           "http://127.0.0.1.evil.example/", "http://127.evil.example/", "http://127.0.0.1@evil.example/",
           "http://127.0.0.256/", "http://127.0.0.1000/", "http://127..0.1/", "http://127.0.0./",
           "http://localhost.evil.example/", "http://[::2]/", "http://[::1/",
           "https://user:pw@login.example/token", "https://login.example/token#frag", "https://login example/",
           "https://login.example/a b", "https://login.example/\x7F", "https://login.example/\xC3\xA9",
           "https://login.example:0/", "https://login.example:65536/", "https://login.example:/",
           "https://login.example:abc/", "https://login.example:-1/", "https://:443/", "https:///token",
           "https://login_example/", "https://login.example\\@evil.example/", "https://[::1]x/"})
    EXPECT_FALSE(EndpointAllowed(refused)) << refused;
}

TEST(Provider, SplitUrlGivesWhatTheTransportsNeed) {
  const auto parts = SplitUrl("https://Login.example:8443?x=1");
  ASSERT_TRUE(parts);
  EXPECT_TRUE(parts->https);
  EXPECT_EQ(parts->host, "Login.example");
  EXPECT_EQ(parts->port, 8443);
  EXPECT_EQ(parts->path_and_query, "/?x=1");
  const auto loopback = SplitUrl("http://[::1]:9000/t/o?k=v");
  ASSERT_TRUE(loopback);
  EXPECT_FALSE(loopback->https);
  EXPECT_EQ(loopback->host, "::1");
  EXPECT_EQ(loopback->port, 9000);
  EXPECT_EQ(loopback->path_and_query, "/t/o?k=v");
  EXPECT_EQ(SplitUrl("https://h")->port, 443);
  EXPECT_EQ(SplitUrl("https://h")->path_and_query, "/");
  EXPECT_EQ(SplitUrl("http://h/p")->port, 80);
}

TEST(Provider, OnlyRegisteredProvidersAreOffered) {
  using M = SignInMethod;
  ProviderRegistrations registrations;
  EXPECT_EQ(OfferedSignIns(registrations), (std::vector<M>{M::kContrasena, M::kOtroProveedor}));
  registrations.google.client_id = "g";
  EXPECT_EQ(OfferedSignIns(registrations), (std::vector<M>{M::kContrasena, M::kGoogle, M::kOtroProveedor}));
  registrations.microsoft.client_id = "m";
  EXPECT_EQ(OfferedSignIns(registrations),
            (std::vector<M>{M::kContrasena, M::kMicrosoft, M::kGoogle, M::kOtroProveedor}));
}

TEST(Provider, EndpointsForEachMethod) {
  ProviderRegistrations registrations;
  Settings settings;
  EXPECT_FALSE(EndpointsFor(settings, registrations));  // a password
  for (const char* unregistered : {kAutenticacionMicrosoft, kAutenticacionGoogle}) {
    settings.Autenticacion = unregistered;
    EXPECT_FALSE(EndpointsFor(settings, registrations)) << unregistered;
  }
  registrations.microsoft = {"m-id", ""};
  registrations.google = {"g-id", "g-secret"};

  settings.Autenticacion = kAutenticacionMicrosoft;
  const auto microsoft = EndpointsFor(settings, registrations);
  ASSERT_TRUE(microsoft);
  EXPECT_EQ(microsoft->client_id, "m-id");
  EXPECT_EQ(microsoft->client_secret, "");
  EXPECT_NE(microsoft->scope.find("offline_access"), std::string::npos);  // else no refresh token

  settings.Autenticacion = kAutenticacionGoogle;
  const auto google = EndpointsFor(settings, registrations);
  ASSERT_TRUE(google);
  EXPECT_EQ(google->client_id, "g-id");
  EXPECT_EQ(google->client_secret, "g-secret");
  EXPECT_NE(google->extra_query.find("access_type=offline"), std::string::npos);

  for (const auto& preset : {*microsoft, *google}) {
    EXPECT_TRUE(SplitUrl(preset.authorization_url)->https) << preset.authorization_url;
    EXPECT_TRUE(SplitUrl(preset.token_url)->https) << preset.token_url;
    EXPECT_NE(preset.scope.find("openid email"), std::string::npos) << preset.scope;
  }

  settings.Autenticacion = kAutenticacionOtro;
  settings.OAuthUrlAutorizacion = "https://id.example/auth";
  settings.OAuthUrlToken = "https://id.example/token";
  settings.OAuthCliente = "mine";
  settings.OAuthAmbito = "openid email mail";
  const auto other = EndpointsFor(settings, ProviderRegistrations{});
  ASSERT_TRUE(other);
  EXPECT_EQ(other->authorization_url, "https://id.example/auth");
  EXPECT_EQ(other->token_url, "https://id.example/token");
  EXPECT_EQ(other->client_id, "mine");
  EXPECT_EQ(other->client_secret, "");
  EXPECT_EQ(other->scope, "openid email mail");
}

TEST(Provider, MailServerPresets) {
  const struct {
    SignInMethod method;
    MailProtocol protocol;
    const char* host;
    std::uint16_t port;
  } cases[] = {{SignInMethod::kMicrosoft, MailProtocol::kImap, "outlook.office365.com", 993},
               {SignInMethod::kMicrosoft, MailProtocol::kPop3, "outlook.office365.com", 995},
               {SignInMethod::kGoogle, MailProtocol::kImap, "imap.gmail.com", 993},
               {SignInMethod::kGoogle, MailProtocol::kPop3, "pop.gmail.com", 995}};
  for (const auto& c : cases) {
    const auto preset = PresetFor(c.method, c.protocol);
    ASSERT_TRUE(preset) << c.host;
    EXPECT_EQ(preset->host, c.host);
    EXPECT_EQ(preset->port, c.port);
    EXPECT_EQ(preset->mode, SecurityMode::kSslTls);
  }
  for (MailProtocol protocol : kProtocolChoices) {
    EXPECT_FALSE(PresetFor(SignInMethod::kContrasena, protocol));
    EXPECT_FALSE(PresetFor(SignInMethod::kOtroProveedor, protocol));
  }
}

TEST(Sasl, ExactBytesOfBothMechanisms) {
  EXPECT_EQ(DecodeBase64(Xoauth2Response("ana@example.com", "ya29.tok")),
            "user=ana@example.com\x01" "auth=Bearer ya29.tok\x01\x01");
  EXPECT_EQ(DecodeBase64(OauthBearerResponse("ana@example.com", "imap.example.com", 993, "tok")),
            "n,a=ana@example.com,\x01host=imap.example.com\x01port=993\x01" "auth=Bearer tok\x01\x01");
  // GS2 escapes ',' and '=' in the authorisation identity (and only there).
  EXPECT_EQ(DecodeBase64(OauthBearerResponse("a,b=c@example.com", "h", 995, "t=,")),
            "n,a=a=2Cb=3Dc@example.com,\x01host=h\x01port=995\x01" "auth=Bearer t=,\x01\x01");
  EXPECT_EQ(DecodeBase64(kOauthBearerAbort), "\x01");
}

}  // namespace
}  // namespace buzonix
