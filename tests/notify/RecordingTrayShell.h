#pragma once
// A TrayShell that records what the tray icon asks of the platform, for tests
// of the component's rules without a real shell.

#include "notify/TrayShell.h"

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace buzonix::testing {

struct ShellCall {
  ShellNotifyMessage message;
  TrayLook look;
};

// Outlives the component under test, so its destruction can be checked.
struct ShellLog {
  std::vector<ShellCall> calls;
  std::vector<std::string> trace;  // every request, in order
  TrayShellClient* client = nullptr;
  int addsToFail = 0;  // the next so many adds are refused
  int pendingRefreshes = 0;
  ScreenPoint cursor{};
  std::size_t maxToolTip = 62;  // the Windows shell's
  bool timerRunning = false;
  unsigned timerInterval = 0;
  std::set<ShellHandle> liveCopies;
  std::vector<std::string> faults;  // icon misuse seen by the shell
  ShellHandle nextCopy = 500;
  std::function<void()> onDispatchPending;

  // Lets the hidden window receive what has been posted to it.
  void DeliverRefreshes() {
    for (; pendingRefreshes > 0; --pendingRefreshes) client->HandleRefresh();
  }
};

class RecordingTrayShell final : public TrayShell {
 public:
  explicit RecordingTrayShell(ShellLog& log) : log_(log) {}

  void Attach(TrayShellClient* client) override { log_.client = client; }

  bool Notify(ShellNotifyMessage message, const TrayLook& look) override {
    static const char* const names[] = {"add", "modify", "delete"};
    log_.calls.push_back({message, look});
    log_.trace.push_back(names[static_cast<int>(message)]);
    if (message == ShellNotifyMessage::Add && log_.addsToFail > 0) {
      --log_.addsToFail;
      return false;
    }
    return true;
  }
  void PostRefresh() override {
    ++log_.pendingRefreshes;
    log_.trace.push_back("post refresh");
  }
  std::size_t MaxToolTipLength() const override { return log_.maxToolTip; }
  void BringApplicationToForeground() override { log_.trace.push_back("foreground"); }
  void DispatchPendingMessages() override {
    log_.trace.push_back("dispatch");
    if (log_.onDispatchPending) log_.onDispatchPending();
  }
  ShellHandle CopyIcon(ShellHandle icon) override {
    if (icon == 0) log_.faults.push_back("copy of a null icon");
    const ShellHandle copy = log_.nextCopy++;
    log_.liveCopies.insert(copy);
    return copy;
  }
  void DestroyIcon(ShellHandle icon) override {
    if (log_.liveCopies.erase(icon) == 0)
      log_.faults.push_back("destroyed an icon it does not own: " + std::to_string(icon));
  }
  void StartRetryTimer(unsigned intervalMs) override {
    log_.timerRunning = true;
    log_.timerInterval = intervalMs;
    log_.trace.push_back("timer start");
  }
  void StopRetryTimer() override {
    log_.timerRunning = false;
    log_.trace.push_back("timer stop");
  }

 private:
  ShellLog& log_;
};

}  // namespace buzonix::testing
