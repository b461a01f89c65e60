// The token endpoint's client over Qt Network. Qt's own certificate checks
// are set aside (its CA list is not the program's): the chain goes to the
// mail server's OpenSSL checks right after the handshake, before the request
// is written, and a chain that fails them ends the connection there.
#pragma once

#include "signin/Ports.h"

namespace buzonix {

class QtHttpsTransport final : public HttpsTransport {
 public:
  // Waits in a nested event loop, so the program goes on answering.
  HttpsAnswer PostForm(const std::string& url, const std::string& form) override;
};

}  // namespace buzonix
