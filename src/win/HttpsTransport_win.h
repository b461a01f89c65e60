// The token endpoint's client: WinHTTP, loaded from the system folder on the
// first sign-in. Each request runs on a thread of its own while the program's
// thread goes on handling its messages, so windows and timers stay alive for
// the whole wait.
#pragma once

#include <string>

#include "signin/Ports.h"

namespace buzonix {

class WinHttpsTransport final : public HttpsTransport {
 public:
  HttpsAnswer PostForm(const std::string& url, const std::string& form) override;
  // True while a request is awaited: the program's end must then post a quit.
  bool Waiting() const { return waiting_; }

 private:
  bool waiting_ = false;
};

}  // namespace buzonix
