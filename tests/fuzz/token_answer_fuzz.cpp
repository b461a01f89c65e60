// The token endpoint's answer under any status and body, and the account of
// any id_token.
#include <cstdint>
#include <string>

#include "signin/Json.h"
#include "signin/OAuth.h"

using namespace buzonix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // 200 and the common errors often, any other status now and then.
  const int statuses[] = {200, 400, 401, 500};
  const int status = data[0] < 0xF0 ? statuses[data[0] % 4] : data[0] * 4 + data[1];
  const std::string body(reinterpret_cast<const char*>(data) + 2, size - 2);
  const TokenAnswer answer = ReadTokenAnswer(status, body);
  using Kind = TokenAnswer::Kind;
  switch (answer.kind) {
    case Kind::kTokens:
      if (status != 200 || answer.access_token.empty() || !answer.error.empty()) __builtin_trap();
      if (answer.expires_in < 0 || answer.expires_in > 10LL * 365 * 24 * 3600) __builtin_trap();
      break;
    case Kind::kInvalidGrant:
      if (answer.error != "invalid_grant" || !answer.access_token.empty()) __builtin_trap();
      break;
    case Kind::kRefused:
      if (answer.error.empty() || answer.error == "invalid_grant" || !answer.access_token.empty()) __builtin_trap();
      break;
    case Kind::kGarbage:
      if (!answer.access_token.empty() || !answer.refresh_token.empty()) __builtin_trap();
      break;
  }
  // Whatever was read came out of one well-formed object.
  if (answer.kind != Kind::kGarbage && !ReadJsonObject(body)) __builtin_trap();
  AccountOfIdToken(answer.id_token);
  const std::string account = AccountOfIdToken(body);
  if (!account.empty() && body.find('.') == std::string::npos) __builtin_trap();
  return 0;
}
