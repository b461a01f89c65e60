// A ConfHost that records what the configuration dialog asks of the program,
// in order, with a timer that behaves like the main form's.
#pragma once

#include <cstdint>
#include <functional>
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
  MaybeFailure Save(const Settings& settings) override {
    calls.push_back("save");
    if (!saveError.empty()) return RegistryFailure(saveError);
    saved.push_back(settings);
    return {};
  }
  void OpenHelpTopic(int context) override { calls.push_back("help " + std::to_string(context)); }
  void ShowError(const std::string& message) override { calls.push_back("error " + message); }
  const ProviderRegistrations& Registrations() const override { return registrations; }
  void StartSignIn(const ProviderEndpoints& endpoints, const std::string& login_hint,
                   std::function<void(const SignInResult&)> done) override {
    calls.push_back("sign in " + endpoints.authorization_url + " " + login_hint);
    signInDone = std::move(done);
  }
  void CancelSignIn() override {
    calls.push_back("cancel sign in");
    signInDone = nullptr;
  }
  bool KeepsRefreshToken() const override { return keepsRefreshToken; }
  void UseAccessToken(const std::string& token, std::int64_t expires_in) override {
    calls.push_back("use token " + token + " " + std::to_string(expires_in));
  }
  // The sign-in under way ends so.
  void FinishSignIn(const SignInResult& result) {
    auto done = std::move(signInDone);
    signInDone = nullptr;
    if (done) done(result);
  }

  unsigned interval = 0;
  bool timerEnabled = false;
  std::string toolTip = "No Hay Mensajes";
  std::string saveError;  // when set, Save throws it
  std::vector<Settings> saved;
  std::vector<std::string> calls;
  ProviderRegistrations registrations;
  std::function<void(const SignInResult&)> signInDone;
  bool keepsRefreshToken = true;
};

}  // namespace buzonix::testing
