// The main form as the benchmarks need it: it keeps the tooltip, which the
// check reads back, and what the check would have shown in a box.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mailcheck/CheckMail.h"

namespace bench {

class QuietHost : public buzonix::CheckHost {
 public:
  void SetTrayIcon(buzonix::TrayPicture) override {}
  void SetToolTip(const std::string& text) override { tooltip = text; }
  std::string ToolTip() const override { return tooltip; }
  void ErrorBox(const std::string& text) override { failures.push_back(text); }
  void PlainMessage(const std::string& text) override { failures.push_back(text); }
  void Beep() override {}
  void ShowNotice(std::int32_t) override {}
  void FollowNotice(std::int32_t) override {}
  void DisableTimer() override {}
  std::string tooltip;
  std::vector<std::string> failures;
};

}  // namespace bench
