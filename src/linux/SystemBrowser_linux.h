// The user's own browser for the provider's sign-in page.
#pragma once

#include "signin/Ports.h"

namespace buzonix {

class DesktopBrowser final : public SystemBrowser {
 public:
  bool Open(const std::string& url) override;
};

}  // namespace buzonix
