// A ConfHost that records what the configuration dialog asks of the program,
// in order, with a timer that behaves like the main form's.
#pragma once

#include <string>
#include <vector>

#include "config/configur.h"

namespace buzonix::testing {

class RecordingConfHost final : public ConfHost {
 public:
  void SetTimerInterval(unsigned ms) override {
    calls.push_back("interval " + std::to_string(ms));
    interval = ms;
  }
  unsigned TimerInterval() const override { return interval; }
  void SetTimerEnabled(bool enabled) override {
    calls.push_back(enabled ? "enable" : "disable");
    timerEnabled = enabled;
  }
  std::string ToolTip() const override { return toolTip; }
  void ResetTray() override {
    calls.push_back("reset tray");
    toolTip = "No Hay Mensajes";
  }
  void Save(const Settings& settings) override {
    calls.push_back("save");
    if (!saveError.empty()) throw ERegistryException{saveError};
    saved.push_back(settings);
  }
  void OpenHelpTopic(int context) override { calls.push_back("help " + std::to_string(context)); }
  void ShowError(const std::string& message) override { calls.push_back("error " + message); }

  unsigned interval = 0;
  bool timerEnabled = false;
  std::string toolTip = "No Hay Mensajes";
  std::string saveError;  // when set, Save throws it
  std::vector<Settings> saved;
  std::vector<std::string> calls;
};

}  // namespace buzonix::testing
