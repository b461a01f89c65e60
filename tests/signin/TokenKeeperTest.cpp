// Access tokens from the refresh token: cached until shortly before they
// expire, renewed on demand, a rotated refresh token stored at once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "signin/FakePorts.h"
#include "signin/FormFields.h"
#include "signin/TokenKeeper.h"

namespace buzonix {
namespace {

using Result = AccessToken::Result;

class TokenKeeperTest : public testing::Test {
 protected:
  TokenKeeperTest() {
    settings_.Autenticacion = kAutenticacionOtro;
    settings_.OAuthUrlAutorizacion = "https://id.example/auth";
    settings_.OAuthUrlToken = "https://id.example/token";
    settings_.OAuthCliente = "cli";
    settings_.OAuthRefresco = "rt1";
  }

  void Answer(const std::string& body, int status = 200) { transport_.answers.push_back(Answered(status, body)); }

  Settings settings_;
  ProviderRegistrations registrations_;
  FakeTransport transport_;
  std::int64_t now_ = 1000;
  std::vector<std::string> rotations_;
  TokenKeeper keeper_{settings_, registrations_, transport_, [this] { return now_; },
                      [this](const std::string& token) { rotations_.push_back(token); }};
};

TEST_F(TokenKeeperTest, CachedTokenServesUntilTheRenewMargin) {
  Answer(R"({"access_token":"at1","token_type":"Bearer","expires_in":3600})");
  Answer(R"({"access_token":"at2","token_type":"Bearer","expires_in":"3600"})");
  Answer(R"({"access_token":"at3","token_type":"Bearer"})");

  AccessToken token = keeper_.Fresh(false);
  EXPECT_EQ(token.result, Result::kReady);
  EXPECT_EQ(token.token, "at1");
  ASSERT_EQ(transport_.requests.size(), 1u);
  EXPECT_EQ(transport_.requests[0].url, "https://id.example/token");
  EXPECT_EQ(FormFields(transport_.requests[0].form),
            (std::map<std::string, std::string>{
                {"grant_type", "refresh_token"}, {"refresh_token", "rt1"}, {"client_id", "cli"}}));

  now_ += 3600 - kRenewAheadSeconds - 1;
  EXPECT_EQ(keeper_.Fresh(false).token, "at1");
  EXPECT_EQ(transport_.requests.size(), 1u);
  now_ += 1;
  EXPECT_EQ(keeper_.Fresh(false).token, "at2");
  EXPECT_EQ(transport_.requests.size(), 2u);
  // The mail server refused it: a new one at once.
  EXPECT_EQ(keeper_.Fresh(true).token, "at3");
  EXPECT_EQ(transport_.requests.size(), 3u);
  // No lifetime given: an hour is assumed.
  now_ += kDefaultLifetimeSeconds - kRenewAheadSeconds - 1;
  EXPECT_EQ(keeper_.Fresh(false).token, "at3");

  // The dialog's fresh sign-in hands its token over.
  keeper_.Take("dialog", 600);
  EXPECT_EQ(keeper_.Fresh(false).token, "dialog");
  EXPECT_EQ(transport_.requests.size(), 3u);
  EXPECT_TRUE(rotations_.empty());
}

TEST_F(TokenKeeperTest, RotatedRefreshTokenIsStoredOnce) {
  Answer(R"({"access_token":"at1","refresh_token":"rt2","expires_in":3600})");
  Answer(R"({"access_token":"at2","refresh_token":"rt2","expires_in":3600})");
  Answer(R"({"access_token":"at3","expires_in":3600})");
  EXPECT_EQ(keeper_.Fresh(false).result, Result::kReady);
  EXPECT_EQ(settings_.OAuthRefresco, "rt2");
  EXPECT_EQ(rotations_, std::vector<std::string>{"rt2"});
  EXPECT_EQ(keeper_.Fresh(true).token, "at2");
  EXPECT_EQ(FormFields(transport_.requests[1].form).at("refresh_token"), "rt2");
  EXPECT_EQ(keeper_.Fresh(true).token, "at3");
  EXPECT_EQ(settings_.OAuthRefresco, "rt2");
  EXPECT_EQ(rotations_.size(), 1u);
}

TEST_F(TokenKeeperTest, FailedRefreshesKeepTheRefreshToken) {
  HttpsAnswer bad_certificate;
  bad_certificate.outcome = HttpsAnswer::Outcome::kBadCertificate;
  bad_certificate.failure = TlsFailure::kNameMismatch;
  const struct {
    HttpsAnswer answer;
    Result result;
  } cases[] = {
      {Answered(400, R"({"error":"invalid_grant","refresh_token":"rt9"})"), Result::kSignInEnded},
      {HttpsAnswer{}, Result::kUnreachable},
      {Answered(200, "<html>captive portal</html>"), Result::kUnreachable},
      {Answered(200, R"({"refresh_token":"rt9"})"), Result::kUnreachable},
      {Answered(401, R"({"error":"invalid_client"})"), Result::kUnreachable},
      {bad_certificate, Result::kBadCertificate},
  };
  for (const auto& c : cases) {
    keeper_.Take("old", 3600);
    transport_.answers = {c.answer};
    const AccessToken token = keeper_.Fresh(true);
    EXPECT_EQ(token.result, c.result) << c.answer.body;
    EXPECT_EQ(token.token, "") << c.answer.body;
    EXPECT_EQ(token.failure, c.answer.failure);
    EXPECT_EQ(settings_.OAuthRefresco, "rt1") << c.answer.body;
    // The old token is not served after its renewal failed.
    transport_.answers.clear();
    EXPECT_NE(keeper_.Fresh(false).result, Result::kReady);
  }
  EXPECT_TRUE(rotations_.empty());
}

TEST_F(TokenKeeperTest, NothingIsSentWithoutSomethingToSendOrSomewhereSafe) {
  settings_.OAuthRefresco.clear();
  EXPECT_EQ(keeper_.Fresh(false).result, Result::kSignInEnded);

  settings_.OAuthRefresco = "rt1";
  settings_.OAuthUrlToken = "http://id.example/token";
  EXPECT_NE(keeper_.Fresh(false).result, Result::kReady);

  settings_.OAuthUrlToken = "https://id.example/token";
  settings_.Autenticacion = kAutenticacionContrasena;
  EXPECT_EQ(keeper_.Fresh(false).result, Result::kNotConfigured);
  settings_.Autenticacion = kAutenticacionGoogle;  // a provider this build has no registration for
  EXPECT_EQ(keeper_.Fresh(false).result, Result::kNotConfigured);
  EXPECT_TRUE(transport_.requests.empty());
}

}  // namespace
}  // namespace buzonix
