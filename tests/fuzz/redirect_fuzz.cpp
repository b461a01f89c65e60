// Any bytes at the loopback redirect, judged against a fixed state, and the
// form escapes read back.
#include <cstdint>
#include <string>

#include "signin/OAuth.h"

using namespace buzonix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string state = "St4te-x_Y";
  const RedirectRequest request = ReadRedirect(bytes, state);
  using Kind = RedirectRequest::Kind;
  const bool ended = bytes.find("\r\n\r\n") != std::string::npos;
  if ((request.kind == Kind::kIncomplete) != (!ended && size <= kMaxRedirectHeadOctets)) __builtin_trap();
  if (request.kind == Kind::kCode || request.kind == Kind::kDenied) {
    // Only the redirect's own path, with our state, gets this far.
    if (bytes.compare(0, 6, "GET /?") != 0) __builtin_trap();
    if (bytes.find(state) == std::string::npos) __builtin_trap();
  }
  if ((request.kind == Kind::kCode) == request.code.empty()) __builtin_trap();
  if (request.kind != Kind::kDenied && !request.error.empty()) __builtin_trap();
  if (request.kind != Kind::kIncomplete && RedirectResponse(request.kind).rfind("HTTP/1.1 ", 0) != 0) __builtin_trap();

  const auto text = FormUnescape(bytes);
  if (text) {
    if (text->size() > bytes.size()) __builtin_trap();
    if (FormUnescape(FormEscape(*text)) != *text) __builtin_trap();
  }
  return 0;
}
