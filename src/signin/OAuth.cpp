#include "signin/OAuth.h"

#include <cctype>
#include <limits>
#include <map>

#include "signin/Json.h"
#include "signin/Sha256.h"
#include "text/Base64.h"

namespace buzonix {
namespace {

constexpr std::size_t kVerifierBytes = 32;  // 43 characters of base64url
constexpr std::size_t kStateBytes = 16;
constexpr std::int64_t kLongestLifetime = 10LL * 365 * 24 * 3600;

bool Unreserved(unsigned char c) {
  return std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AddParameter(std::string& out, const char* name, const std::string& value) {
  if (!out.empty() && out.back() != '?') out += '&';
  out += name;
  out += '=';
  out += FormEscape(value);
}

// The query's parameters; nullopt for a broken escape or a name given twice
// (RFC 6749 §3.1).
std::optional<std::map<std::string, std::string>> QueryParameters(std::string_view query) {
  std::map<std::string, std::string> parameters;
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    const std::size_t equals = pair.find('=');
    const auto name = FormUnescape(pair.substr(0, equals));
    const auto value =
        FormUnescape(equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
    if (!name || !value) return std::nullopt;
    if (!parameters.emplace(*name, *value).second) return std::nullopt;
  }
  return parameters;
}

std::string MemberText(const std::map<std::string, JsonMember>& members, const char* name,
                       JsonMember::Kind kind = JsonMember::Kind::kString) {
  const auto found = members.find(name);
  if (found == members.end() || found->second.kind != kind) return {};
  return found->second.text;
}

// expires_in as a number of seconds (some servers send it as a string).
std::int64_t LifetimeOf(const std::map<std::string, JsonMember>& members) {
  const auto found = members.find("expires_in");
  if (found == members.end()) return 0;
  const JsonMember& member = found->second;
  if (member.kind != JsonMember::Kind::kNumber && member.kind != JsonMember::Kind::kString) return 0;
  std::int64_t seconds = 0;
  for (char c : member.text) {
    if (c == '.') break;
    if (c < '0' || c > '9') return 0;
    seconds = seconds * 10 + (c - '0');
    if (seconds > kLongestLifetime) return kLongestLifetime;
  }
  return seconds;
}

bool EqualsNoCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; b[i] != '\0'; ++i)
    if (i >= a.size() || std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return i == a.size();
}

std::string HtmlResponse(const char* status, const char* message) {
  const std::string page =
      "<!DOCTYPE html><html lang=\"es\"><head><meta charset=\"utf-8\">"
      "<title>Buzonix Electr\xC3\xB3nico</title></head><body><p>" +
      std::string(message) + "</p></body></html>";
  return std::string("HTTP/1.1 ") + status +
         "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
         "Connection: close\r\nContent-Length: " +
         std::to_string(page.size()) + "\r\n\r\n" + page;
}

}  // namespace

Pkce MakePkce(const RandomBytes& random) {
  const std::string bytes = random(kVerifierBytes);
  if (bytes.size() != kVerifierBytes) return {};
  Pkce pkce;
  pkce.verifier = Base64Url(bytes);
  pkce.challenge = PkceChallenge(pkce.verifier);
  return pkce;
}

std::string PkceChallenge(const std::string& verifier) { return Base64Url(Sha256(verifier)); }

std::string MakeState(const RandomBytes& random) {
  const std::string bytes = random(kStateBytes);
  return bytes.size() == kStateBytes ? Base64Url(bytes) : std::string();
}

std::string FormEscape(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (Unreserved(c)) {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
    }
  }
  return out;
}

std::optional<std::string> FormUnescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string LoopbackRedirectUri(std::uint16_t port) {
  return "http://127.0.0.1:" + std::to_string(port) + "/";
}

std::string AuthorizationUrl(const ProviderEndpoints& endpoints, const std::string& redirect_uri,
                             const std::string& state, const std::string& challenge,
                             const std::string& login_hint) {
  std::string query;
  AddParameter(query, "response_type", "code");
  AddParameter(query, "client_id", endpoints.client_id);
  AddParameter(query, "redirect_uri", redirect_uri);
  AddParameter(query, "scope", endpoints.scope);
  AddParameter(query, "state", state);
  AddParameter(query, "code_challenge", challenge);
  AddParameter(query, "code_challenge_method", "S256");
  if (!login_hint.empty()) AddParameter(query, "login_hint", login_hint);
  if (!endpoints.extra_query.empty()) query += "&" + endpoints.extra_query;
  const char joint = endpoints.authorization_url.find('?') == std::string::npos ? '?' : '&';
  return endpoints.authorization_url + joint + query;
}

std::string CodeExchangeBody(const ProviderEndpoints& endpoints, const std::string& code,
                             const std::string& redirect_uri, const std::string& verifier) {
  std::string body;
  AddParameter(body, "grant_type", "authorization_code");
  AddParameter(body, "code", code);
  AddParameter(body, "redirect_uri", redirect_uri);
  AddParameter(body, "client_id", endpoints.client_id);
  AddParameter(body, "code_verifier", verifier);
  if (!endpoints.client_secret.empty()) AddParameter(body, "client_secret", endpoints.client_secret);
  return body;
}

std::string RefreshBody(const ProviderEndpoints& endpoints, const std::string& refresh_token) {
  std::string body;
  AddParameter(body, "grant_type", "refresh_token");
  AddParameter(body, "refresh_token", refresh_token);
  AddParameter(body, "client_id", endpoints.client_id);
  if (!endpoints.client_secret.empty()) AddParameter(body, "client_secret", endpoints.client_secret);
  return body;
}

RedirectRequest ReadRedirect(std::string_view head, const std::string& expected_state) {
  using Kind = RedirectRequest::Kind;
  RedirectRequest request;
  const std::size_t line_end = head.find("\r\n");
  const bool ended = head.find("\r\n\r\n") != std::string_view::npos;
  if (!ended) {
    request.kind = head.size() > kMaxRedirectHeadOctets ? Kind::kOther : Kind::kIncomplete;
    return request;
  }
  request.kind = Kind::kOther;
  const std::string_view line = head.substr(0, line_end);
  if (line.substr(0, 4) != "GET ") return request;
  const std::size_t target_end = line.find(' ', 4);
  if (target_end == std::string_view::npos) return request;
  const std::string_view target = line.substr(4, target_end - 4);
  const std::size_t question = target.find('?');
  if (target.substr(0, question) != "/") return request;
  const auto parameters =
      QueryParameters(question == std::string_view::npos ? std::string_view() : target.substr(question + 1));
  request.kind = Kind::kWrongState;
  if (!parameters || expected_state.empty()) return request;
  const auto state = parameters->find("state");
  if (state == parameters->end() || state->second != expected_state) return request;
  const auto code = parameters->find("code");
  const auto error = parameters->find("error");
  if (error == parameters->end() && code != parameters->end() && !code->second.empty()) {
    request.kind = Kind::kCode;
    request.code = code->second;
  } else {
    request.kind = Kind::kDenied;
    request.error = error == parameters->end() ? "invalid_request" : error->second;
  }
  return request;
}

std::string RedirectResponse(RedirectRequest::Kind kind) {
  using Kind = RedirectRequest::Kind;
  switch (kind) {
    case Kind::kCode:
      return HtmlResponse("200 OK",
                          "Ha iniciado sesi\xC3\xB3n. Ya puede cerrar esta ventana y volver a "
                          "Buzonix Electr\xC3\xB3nico.");
    case Kind::kDenied:
      return HtmlResponse("200 OK",
                          "No se concedi\xC3\xB3 el acceso. Puede cerrar esta ventana.");
    case Kind::kWrongState:
      return HtmlResponse("400 Bad Request",
                          "Esta respuesta no corresponde al inicio de sesi\xC3\xB3n en curso. "
                          "Puede cerrar esta ventana.");
    default:
      return HtmlResponse("404 Not Found", "No encontrado.");
  }
}

TokenAnswer ReadTokenAnswer(int http_status, std::string_view body) {
  using Kind = TokenAnswer::Kind;
  TokenAnswer answer;
  const auto members = ReadJsonObject(body);
  if (!members) return answer;
  const std::string error = MemberText(*members, "error");
  if (!error.empty()) {
    answer.kind = error == "invalid_grant" ? Kind::kInvalidGrant : Kind::kRefused;
    answer.error = error;
    return answer;
  }
  if (http_status != 200) return answer;
  answer.access_token = MemberText(*members, "access_token");
  const std::string type = MemberText(*members, "token_type");
  if (answer.access_token.empty() || (!type.empty() && !EqualsNoCase(type, "bearer"))) {
    answer.access_token.clear();
    return answer;
  }
  answer.kind = Kind::kTokens;
  answer.refresh_token = MemberText(*members, "refresh_token");
  answer.id_token = MemberText(*members, "id_token");
  answer.expires_in = LifetimeOf(*members);
  return answer;
}

std::string AccountOfIdToken(const std::string& id_token) {
  const std::size_t first = id_token.find('.');
  if (first == std::string::npos) return {};
  const std::size_t second = id_token.find('.', first + 1);
  if (second == std::string::npos) return {};
  const auto payload = DecodeBase64(std::string_view(id_token).substr(first + 1, second - first - 1));
  if (!payload) return {};
  const auto claims = ReadJsonObject(*payload);
  if (!claims) return {};
  std::string account = MemberText(*claims, "email");
  if (account.empty()) account = MemberText(*claims, "preferred_username");
  return account;
}

}  // namespace buzonix
