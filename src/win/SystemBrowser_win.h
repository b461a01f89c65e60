// The user's own browser, opened by the shell at a sign-in page.
#pragma once

#include <string>

#include "signin/Ports.h"

namespace buzonix {

class WinSystemBrowser final : public SystemBrowser {
 public:
  // Only an http or https address: the shell would run a program or open a
  // file for anything else.
  bool Open(const std::string& url) override;
};

}  // namespace buzonix
