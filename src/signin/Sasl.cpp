#include "signin/Sasl.h"

#include "text/Base64.h"

namespace buzonix {
namespace {

// A GS2 authorisation identity: ',' and '=' are escaped (RFC 5801 §4).
std::string Gs2Name(const std::string& user) {
  std::string out;
  for (char c : user) {
    if (c == ',') out += "=2C";
    else if (c == '=') out += "=3D";
    else out += c;
  }
  return out;
}

}  // namespace

std::string Xoauth2Response(const std::string& user_utf8, const std::string& token) {
  return Base64("user=" + user_utf8 + "\x01" + "auth=Bearer " + token + "\x01\x01");
}

std::string OauthBearerResponse(const std::string& user_utf8, const std::string& host,
                                std::uint16_t port, const std::string& token) {
  return Base64("n,a=" + Gs2Name(user_utf8) + ",\x01" + "host=" + host + "\x01" + "port=" +
                std::to_string(port) + "\x01" + "auth=Bearer " + token + "\x01\x01");
}

}  // namespace buzonix
