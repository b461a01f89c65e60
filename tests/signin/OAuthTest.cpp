// The flow's messages: the authorisation URL, the token requests, the
// redirect the browser brings back, the token endpoint's answers.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "signin/FormFields.h"
#include "signin/OAuth.h"
#include "text/Base64.h"

namespace buzonix {
namespace {

using Fields = std::map<std::string, std::string>;

ProviderEndpoints Endpoints() {
  return {"https://login.example/authorize", "https://login.example/token", "client id&1", "",
          "openid email https://mail.example/", "access_type=offline&prompt=consent"};
}

TEST(OAuthMessages, AuthorizationUrlCarriesEveryParameterEscaped) {
  const std::string url = AuthorizationUrl(Endpoints(), "http://127.0.0.1:5000/", "st+/=", "chal",
                                           "ana+1@example.com");
  EXPECT_EQ(url.rfind("https://login.example/authorize?", 0), 0u) << url;
  EXPECT_EQ(url.find(' '), std::string::npos);
  EXPECT_EQ(QueryFields(url), (Fields{{"response_type", "code"},
                                      {"client_id", "client id&1"},
                                      {"redirect_uri", "http://127.0.0.1:5000/"},
                                      {"scope", "openid email https://mail.example/"},
                                      {"state", "st+/="},
                                      {"code_challenge", "chal"},
                                      {"code_challenge_method", "S256"},
                                      {"login_hint", "ana+1@example.com"},
                                      {"access_type", "offline"},
                                      {"prompt", "consent"}}));

  ProviderEndpoints with_query = Endpoints();
  with_query.authorization_url = "https://login.example/authorize?tenant=t1";
  with_query.extra_query.clear();
  const std::string joined = AuthorizationUrl(with_query, "http://127.0.0.1:5000/", "s", "c", "");
  EXPECT_EQ(joined.rfind("https://login.example/authorize?tenant=t1&response_type=code&", 0), 0u) << joined;
  const Fields fields = QueryFields(joined);
  EXPECT_EQ(fields.count("login_hint"), 0u);
  EXPECT_EQ(fields.at("tenant"), "t1");
}

TEST(OAuthMessages, TokenRequestBodiesSendTheSecretOnlyWhenThereIsOne) {
  ProviderEndpoints endpoints = Endpoints();
  EXPECT_EQ(FormFields(CodeExchangeBody(endpoints, "c/1 =&", "http://127.0.0.1:5000/", "ver")),
            (Fields{{"grant_type", "authorization_code"},
                    {"code", "c/1 =&"},
                    {"redirect_uri", "http://127.0.0.1:5000/"},
                    {"client_id", "client id&1"},
                    {"code_verifier", "ver"}}));
  EXPECT_EQ(FormFields(RefreshBody(endpoints, "r&t")),
            (Fields{{"grant_type", "refresh_token"}, {"refresh_token", "r&t"}, {"client_id", "client id&1"}}));
  endpoints.client_secret = "s=cret";
  EXPECT_EQ(FormFields(CodeExchangeBody(endpoints, "c", "u", "v")).at("client_secret"), "s=cret");
  EXPECT_EQ(FormFields(RefreshBody(endpoints, "r")).at("client_secret"), "s=cret");
}

TEST(OAuthMessages, FormEscapingRoundTripsAndRefusesBrokenEscapes) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  const std::string escaped = FormEscape(all);
  EXPECT_EQ(escaped.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%+"),
            std::string::npos);
  EXPECT_EQ(FormUnescape(escaped), all);
  EXPECT_EQ(FormUnescape("a+b%2B%2b"), "a b++");
  for (const char* bad : {"%", "%4", "a%4", "%G1", "%1G", "%%41"}) EXPECT_FALSE(FormUnescape(bad)) << bad;
}

TEST(OAuthRedirect, EachKindOfRequestIsJudged) {
  using Kind = RedirectRequest::Kind;
  const std::string state = "St4te";
  const std::string tail = " HTTP/1.1\r\nHost: 127.0.0.1:5000\r\nAccept: */*\r\n\r\n";
  const struct {
    std::string head;
    Kind kind;
    const char* code_or_error;
  } cases[] = {
      {"GET /?code=abc&state=St4te HTTP/1.1\r\nHost: 127.0.0.1", Kind::kIncomplete, ""},
      {"", Kind::kIncomplete, ""},
      {"GET /favicon.ico" + tail, Kind::kOther, ""},
      {"GET /cb?code=abc&state=St4te" + tail, Kind::kOther, ""},
      {"POST /?code=abc&state=St4te" + tail, Kind::kOther, ""},
      {"GET /?code=abc&state=Other" + tail, Kind::kWrongState, ""},
      {"GET /?code=abc&state=st4te" + tail, Kind::kWrongState, ""},
      {"GET /?code=abc" + tail, Kind::kWrongState, ""},
      {"GET /?code=abc&state=St4te&state=St4te" + tail, Kind::kWrongState, ""},
      {"GET /?code=abc&state=Other&state=St4te" + tail, Kind::kWrongState, ""},
      {"GET /?code=%zz&state=St4te" + tail, Kind::kWrongState, ""},
      {"GET /?error=access_denied&error_description=No+way&state=St4te" + tail, Kind::kDenied,
       "access_denied"},
      {"GET /?state=St4te" + tail, Kind::kDenied, "invalid_request"},
      {"GET /?state=St4te&code=" + tail, Kind::kDenied, "invalid_request"},
      {"GET /?state=St4te&code=M.R3_b%2F%2Bx+y%3D%3D&scope=email+openid" + tail, Kind::kCode, "M.R3_b/+x y=="},
      {"GET /?code=abc&state=St4te" + tail + "trailing body", Kind::kCode, "abc"},
  };
  for (const auto& c : cases) {
    const RedirectRequest request = ReadRedirect(c.head, state);
    EXPECT_EQ(request.kind, c.kind) << c.head;
    EXPECT_EQ(c.kind == Kind::kCode ? request.code : request.error,
              c.kind == Kind::kCode || c.kind == Kind::kDenied ? c.code_or_error : "")
        << c.head;
  }
  // Without a state of our own nothing matches, not even an empty one.
  EXPECT_EQ(ReadRedirect("GET /?code=abc&state=" + tail, "").kind, Kind::kWrongState);
  // A head that never ends is given up at the bound.
  const std::string endless = "GET /?code=abc&state=St4te HTTP/1.1\r\nX: " + std::string(kMaxRedirectHeadOctets, 'x');
  EXPECT_EQ(ReadRedirect(endless, state).kind, Kind::kOther);
  EXPECT_EQ(ReadRedirect(endless.substr(0, kMaxRedirectHeadOctets), state).kind, Kind::kIncomplete);
}

TEST(OAuthRedirect, ResponsesAreWholeWithTheirLength) {
  using Kind = RedirectRequest::Kind;
  const struct {
    Kind kind;
    const char* status;
  } cases[] = {{Kind::kCode, "HTTP/1.1 200 "}, {Kind::kDenied, "HTTP/1.1 200 "},
               {Kind::kWrongState, "HTTP/1.1 400 "}, {Kind::kOther, "HTTP/1.1 404 "}};
  for (const auto& c : cases) {
    const std::string response = RedirectResponse(c.kind);
    EXPECT_EQ(response.rfind(c.status, 0), 0u) << response;
    const std::size_t end = response.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos);
    const std::string head = response.substr(0, end + 2);
    EXPECT_NE(head.find("\r\nConnection: close\r\n"), std::string::npos);
    const std::size_t length_at = head.find("\r\nContent-Length: ");
    ASSERT_NE(length_at, std::string::npos);
    const std::size_t length = std::stoul(head.substr(length_at + 18));
    EXPECT_EQ(length, response.size() - end - 4) << response;
    EXPECT_NE(response.find("</html>", end), std::string::npos);
  }
}

TEST(OAuthTokens, AnswersAreRead) {
  using Kind = TokenAnswer::Kind;
  const struct {
    int status;
    std::string body;
    Kind kind;
    const char* access;
    std::int64_t expires_in;
    const char* error;
  } cases[] = {
      {200, R"({"access_token":"at","token_type":"Bearer","expires_in":3599,"refresh_token":"rt",
               "id_token":"h.p.s","scope":"x"})",
       Kind::kTokens, "at", 3599, ""},
      {200, R"({"access_token":"at","token_type":"bearer","expires_in":"3600"})", Kind::kTokens, "at", 3600, ""},
      {200, R"({"access_token":"at"})", Kind::kTokens, "at", 0, ""},
      {200, R"({"access_token":"at","expires_in":99999999999999999999999999})", Kind::kTokens, "at",
       10LL * 365 * 24 * 3600, ""},
      {200, R"({"access_token":"at","expires_in":-5})", Kind::kTokens, "at", 0, ""},
      {400, R"({"error":"invalid_grant","error_description":"AADSTS70008: expired"})", Kind::kInvalidGrant,
       "", 0, "invalid_grant"},
      {401, R"({"error":"invalid_client"})", Kind::kRefused, "", 0, "invalid_client"},
      {200, R"({"token_type":"Bearer","expires_in":3600})", Kind::kGarbage, "", 0, ""},
      {200, R"({"access_token":"","token_type":"Bearer"})", Kind::kGarbage, "", 0, ""},
      {200, R"({"access_token":"at","token_type":"mac"})", Kind::kGarbage, "", 0, ""},
      {200, R"({"access_token":42,"token_type":"Bearer"})", Kind::kGarbage, "", 0, ""},
      {201, R"({"access_token":"at"})", Kind::kGarbage, "", 0, ""},
      {500, "<html><body>Internal error</body></html>", Kind::kGarbage, "", 0, ""},
      {503, "", Kind::kGarbage, "", 0, ""},
      {200, R"({"access_token":"at","token_type":"Bea)", Kind::kGarbage, "", 0, ""},
  };
  for (const auto& c : cases) {
    const TokenAnswer answer = ReadTokenAnswer(c.status, c.body);
    EXPECT_EQ(answer.kind, c.kind) << c.body;
    EXPECT_EQ(answer.access_token, c.access) << c.body;
    EXPECT_EQ(answer.expires_in, c.expires_in) << c.body;
    EXPECT_EQ(answer.error, c.error) << c.body;
  }
  const TokenAnswer full = ReadTokenAnswer(200, cases[0].body);
  EXPECT_EQ(full.refresh_token, "rt");
  EXPECT_EQ(full.id_token, "h.p.s");
}

TEST(OAuthTokens, AccountOfIdToken) {
  const auto token = [](const std::string& claims) {
    return Base64Url(R"({"alg":"RS256"})") + "." + Base64Url(claims) + ".c2lnbmF0dXJl";
  };
  EXPECT_EQ(AccountOfIdToken(token(R"({"sub":"1","email":"ana@example.com","preferred_username":"x"})")),
            "ana@example.com");
  EXPECT_EQ(AccountOfIdToken(token(R"({"sub":"1","preferred_username":"ana@contoso.example"})")),
            "ana@contoso.example");
  EXPECT_EQ(AccountOfIdToken(token(R"({"sub":"1","email":7,"preferred_username":"p"})")), "p");
  const std::string good = token(R"({"email":"ana@example.com"})");
  for (const std::string& broken :
       {std::string(), std::string("abc"), good.substr(0, good.rfind('.')), token(R"({"sub":"1"})"),
        token(R"(["ana@example.com"])"), token("{\"email\":\"ana@example.com\""), std::string("h.!!!.s")})
    EXPECT_EQ(AccountOfIdToken(broken), "") << broken;
}

}  // namespace
}  // namespace buzonix
