// One sign-in from the dialog over fake ports: the browser, the loopback
// redirect, the code exchange, and every way it can end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "network/TlsChannel.h"
#include "signin/FakePorts.h"
#include "signin/FormFields.h"
#include "signin/SignInFlow.h"
#include "text/Base64.h"

namespace buzonix {
namespace {

using Kind = SignInResult::Kind;

std::string Redirect(const std::string& query) {
  return "GET /?" + query + " HTTP/1.1\r\nHost: 127.0.0.1:43123\r\n\r\n";
}

std::string Tokens(bool with_refresh = true) {
  const std::string id_token =
      Base64Url(R"({"alg":"none"})") + "." + Base64Url(R"({"email":"ana@example.com"})") + ".";
  return std::string(R"({"access_token":"at","token_type":"Bearer","expires_in":3600,)") +
         (with_refresh ? R"("refresh_token":"rt",)" : "") + R"("id_token":")" + id_token + "\"}";
}

class SignInFlowTest : public testing::Test {
 protected:
  SignInFlowTest() {
    endpoints_.authorization_url = "https://id.example/auth";
    endpoints_.token_url = "https://id.example/token";
    endpoints_.client_id = "cli";
    endpoints_.scope = "openid email mail";
  }

  void Start(const std::string& login_hint = "") {
    flow_.Start(endpoints_, login_hint, [this](const SignInResult& result) { results_.push_back(result); });
  }
  // The state of the URL the browser was sent to last.
  std::string State() { return QueryFields(browser_.opened.back()).at("state"); }
  void Send(int connection, const std::string& bytes) { listener_.events->ConnectionData(connection, bytes); }

  ProviderEndpoints endpoints_;
  FakeTransport transport_;
  FakeBrowser browser_;
  FakeListener listener_;
  FakeTimer timer_;
  SignInFlow flow_{SignInPorts{transport_, browser_, listener_, timer_, CountingRandom()}};
  std::vector<SignInResult> results_;
};

TEST_F(SignInFlowTest, WholeFlowFromTheBrowserToTheTokens) {
  transport_.answers.push_back(Answered(200, Tokens()));
  Start("ana@example.com");
  ASSERT_EQ(browser_.opened.size(), 1u);
  const auto url = QueryFields(browser_.opened[0]);
  EXPECT_EQ(url.at("redirect_uri"), "http://127.0.0.1:43123/");
  EXPECT_EQ(url.at("login_hint"), "ana@example.com");
  EXPECT_TRUE(listener_.listening);
  EXPECT_TRUE(timer_.running);
  EXPECT_EQ(timer_.milliseconds, kSignInWaitMs);

  Send(1, "");  // a browser's spare connection
  Send(2, "GET /favicon.ico HTTP/1.1\r\nHost: 127.0.0.1:43123\r\n\r\n");
  EXPECT_EQ(listener_.responses.at(2).rfind("HTTP/1.1 404 ", 0), 0u);
  EXPECT_TRUE(flow_.Waiting());
  const std::string redirect = Redirect("code=c%2F1+x&state=" + FormEscape(url.at("state")));
  Send(3, redirect.substr(0, 20));
  EXPECT_EQ(listener_.responses.count(3), 0u);
  EXPECT_TRUE(transport_.requests.empty());
  Send(3, redirect.substr(20));

  EXPECT_EQ(listener_.responses.at(3).rfind("HTTP/1.1 200 ", 0), 0u);
  EXPECT_EQ(listener_.responses.count(1), 0u);
  EXPECT_FALSE(listener_.listening);
  EXPECT_FALSE(timer_.running);
  ASSERT_EQ(transport_.requests.size(), 1u);
  EXPECT_EQ(transport_.requests[0].url, "https://id.example/token");
  const auto form = FormFields(transport_.requests[0].form);
  EXPECT_EQ(form.at("grant_type"), "authorization_code");
  EXPECT_EQ(form.at("code"), "c/1 x");
  EXPECT_EQ(form.at("redirect_uri"), url.at("redirect_uri"));
  EXPECT_EQ(PkceChallenge(form.at("code_verifier")), url.at("code_challenge"));
  EXPECT_EQ(form.at("code_verifier").size(), 43u);

  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0].kind, Kind::kSignedIn);
  EXPECT_EQ(results_[0].account, "ana@example.com");
  EXPECT_EQ(results_[0].refresh_token, "rt");
  EXPECT_EQ(results_[0].access_token, "at");
  EXPECT_EQ(results_[0].expires_in, 3600);
  EXPECT_EQ(SignInMessage(results_[0]), "");
  EXPECT_FALSE(flow_.Waiting());
}

TEST_F(SignInFlowTest, StrangeRequestsLeaveTheWaitUntilItTimesOut) {
  Start();
  Send(1, Redirect("code=abc&state=someone-else"));
  EXPECT_EQ(listener_.responses.at(1).rfind("HTTP/1.1 400 ", 0), 0u);
  Send(2, Redirect("code=abc"));
  EXPECT_EQ(listener_.responses.at(2).rfind("HTTP/1.1 400 ", 0), 0u);
  // A head that never ends is answered at the bound, in whatever pieces.
  Send(4, "GET /?" + std::string(kMaxRedirectHeadOctets / 2, 'a'));
  EXPECT_EQ(listener_.responses.count(4), 0u);
  Send(4, std::string(kMaxRedirectHeadOctets, 'a'));
  EXPECT_EQ(listener_.responses.at(4).rfind("HTTP/1.1 404 ", 0), 0u);
  EXPECT_TRUE(transport_.requests.empty());
  EXPECT_TRUE(flow_.Waiting());
  EXPECT_TRUE(listener_.listening);
  EXPECT_TRUE(results_.empty());

  flow_.TimerFired();
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0].kind, Kind::kTimedOut);
  EXPECT_FALSE(listener_.listening);
  flow_.TimerFired();
  Send(5, Redirect("code=abc&state=" + FormEscape(State())));
  EXPECT_EQ(results_.size(), 1u);
  EXPECT_TRUE(transport_.requests.empty());
}

TEST_F(SignInFlowTest, CancelEndsTheWaitSilently) {
  Start();
  const std::string state = State();
  flow_.Cancel();
  EXPECT_FALSE(listener_.listening);
  EXPECT_FALSE(timer_.running);
  EXPECT_FALSE(flow_.Waiting());
  flow_.TimerFired();
  flow_.ConnectionData(1, Redirect("code=abc&state=" + FormEscape(state)));
  EXPECT_TRUE(results_.empty());
  EXPECT_TRUE(transport_.requests.empty());
}

TEST_F(SignInFlowTest, CancelOrRestartDuringTheExchangeSilencesTheOldSignIn) {
  Start();
  transport_.during = [this] { flow_.Cancel(); };
  transport_.answers.push_back(Answered(200, Tokens()));
  Send(1, Redirect("code=abc&state=" + FormEscape(State())));
  EXPECT_EQ(transport_.requests.size(), 1u);
  EXPECT_TRUE(results_.empty());
  EXPECT_FALSE(flow_.Waiting());

  std::vector<SignInResult> second;
  Start();
  transport_.during = [&] {
    flow_.Start(endpoints_, "", [&](const SignInResult& result) { second.push_back(result); });
  };
  transport_.answers.push_back(Answered(200, Tokens()));
  Send(2, Redirect("code=abc&state=" + FormEscape(State())));
  EXPECT_TRUE(results_.empty());
  EXPECT_TRUE(second.empty());
  EXPECT_TRUE(flow_.Waiting());
  EXPECT_TRUE(listener_.listening);
  EXPECT_TRUE(timer_.running);
  // The new sign-in finishes on its own.
  transport_.during = nullptr;
  transport_.answers = {Answered(200, Tokens())};
  Send(3, Redirect("code=def&state=" + FormEscape(State())));
  EXPECT_TRUE(results_.empty());
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].kind, Kind::kSignedIn);
  EXPECT_EQ(FormFields(transport_.requests.back().form).at("code"), "def");
}

TEST_F(SignInFlowTest, EndingsAfterTheRedirect) {
  HttpsAnswer bad_certificate;
  bad_certificate.outcome = HttpsAnswer::Outcome::kBadCertificate;
  bad_certificate.failure = TlsFailure::kUntrusted;
  const struct {
    std::string query;  // after the state
    std::string token_url;
    HttpsAnswer answer;
    Kind kind;
    std::size_t requests;
  } cases[] = {
      {"&code=abc", "https://id.example/token", Answered(200, Tokens(false)), Kind::kNoTokens, 1},
      {"&code=abc", "https://id.example/token", Answered(400, R"({"error":"invalid_grant"})"), Kind::kNoTokens, 1},
      {"&code=abc", "https://id.example/token", bad_certificate, Kind::kBadCertificate, 1},
      {"&code=abc", "https://id.example/token", HttpsAnswer{}, Kind::kUnreachable, 1},
      {"&code=abc", "http://id.example/token", Answered(200, Tokens()), Kind::kUnreachable, 0},
      {"&error=access_denied", "https://id.example/token", Answered(200, Tokens()), Kind::kDenied, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query + " " + c.token_url);
    results_.clear();
    transport_.requests.clear();
    transport_.answers = {c.answer};
    endpoints_.token_url = c.token_url;
    Start();
    Send(1, Redirect("state=" + FormEscape(State()) + c.query));
    EXPECT_EQ(transport_.requests.size(), c.requests);
    ASSERT_EQ(results_.size(), 1u);
    EXPECT_EQ(results_[0].kind, c.kind);
    EXPECT_TRUE(results_[0].refresh_token.empty());
    EXPECT_FALSE(listener_.listening);
    EXPECT_FALSE(timer_.running);
    EXPECT_NE(SignInMessage(results_[0]), "");
  }
  // The message names the host the certificate was for.
  results_.clear();
  transport_.answers = {bad_certificate};
  endpoints_.token_url = "https://id.example:8443/token";
  Start();
  Send(1, Redirect("code=abc&state=" + FormEscape(State())));
  ASSERT_EQ(results_.size(), 1u);
  const SignInResult& certificate = results_[0];
  EXPECT_EQ(certificate.failure, TlsFailure::kUntrusted);
  EXPECT_EQ(certificate.server, "id.example");
  EXPECT_EQ(SignInMessage(certificate), TlsFailureText(TlsFailure::kUntrusted, "id.example"));
}

TEST_F(SignInFlowTest, WhatCannotStartSaysSo) {
  browser_.opens = false;
  Start();
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0].kind, Kind::kCannotStart);
  EXPECT_FALSE(listener_.listening);
  EXPECT_FALSE(timer_.running);
  EXPECT_FALSE(flow_.Waiting());
  EXPECT_NE(SignInMessage(results_[0]), "");

  browser_ = FakeBrowser();
  listener_.port = 0;
  results_.clear();
  Start();
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0].kind, Kind::kCannotStart);
  EXPECT_TRUE(browser_.opened.empty());
  EXPECT_FALSE(timer_.running);

  listener_.port = 43123;
  endpoints_.authorization_url = "http://id.example/auth";
  results_.clear();
  Start();
  ASSERT_EQ(results_.size(), 1u);
  EXPECT_EQ(results_[0].kind, Kind::kCannotStart);
  EXPECT_TRUE(browser_.opened.empty());
  EXPECT_FALSE(listener_.listening);
}

TEST(SignInFlow, AFailingRandomSourceStartsNothing) {
  FakeTransport transport;
  FakeBrowser browser;
  FakeListener listener;
  FakeTimer timer;
  SignInFlow flow(SignInPorts{transport, browser, listener, timer, [](std::size_t) { return std::string(); }});
  std::vector<SignInResult> results;
  flow.Start(ProviderEndpoints{"https://id.example/auth", "https://id.example/token", "cli", "", "openid", ""}, "",
             [&](const SignInResult& result) { results.push_back(result); });
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].kind, Kind::kCannotStart);
  EXPECT_TRUE(browser.opened.empty());
  EXPECT_FALSE(listener.listening);
}

}  // namespace
}  // namespace buzonix
