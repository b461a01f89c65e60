// A LoadHost that records what the load asks of the program, in order.
#pragma once

#include <string>
#include <vector>

#include "config/settings.h"

namespace buzonix::testing {

class RecordingHost final : public LoadHost {
 public:
  explicit RecordingHost(std::string programPath) : programPath_(std::move(programPath)) {}

  std::string ProgramPath() override { return programPath_; }
  void OpenHelpTopic(int context) override { calls.push_back("help " + std::to_string(context)); }
  void ShowConfigDialog() override { calls.push_back("dialog"); }
  void SetTimerInterval(unsigned ms) override { calls.push_back("interval " + std::to_string(ms)); }
  void EnableTimer() override { calls.push_back("enable"); }
  void CheckMail() override { calls.push_back("check"); }

  std::vector<std::string> calls;

 private:
  std::string programPath_;
};

// The start-up load over the registry store (found by argument-dependent
// look-up through RecordingHost).
inline void LoadSettings(RegistryApi& api, Settings& settings, LoadHost& host) {
  RegistryStore store(api);
  EXPECT_FALSE(buzonix::LoadSettings(store, settings, host));
}

inline const std::vector<std::string> kFirstRunCalls = {"help 14", "dialog"};

inline std::vector<std::string> NormalStartCalls(unsigned intervalMs) {
  return {"interval " + std::to_string(intervalMs), "enable", "check"};
}

}  // namespace buzonix::testing
