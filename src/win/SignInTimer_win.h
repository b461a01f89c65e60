// The sign-in's one-shot wait, on a message-only window made at its first
// start; and the clock the token keeper reads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "signin/Ports.h"

namespace buzonix {

class WinOneShotTimer final : public OneShotTimer {
 public:
  explicit WinOneShotTimer(std::function<void()> fired);
  ~WinOneShotTimer();
  WinOneShotTimer(const WinOneShotTimer&) = delete;
  WinOneShotTimer& operator=(const WinOneShotTimer&) = delete;

  void Start(unsigned milliseconds) override;
  void Stop() override;

 private:
  class TimerWindow;
  std::function<void()> fired_;
  std::unique_ptr<TimerWindow> window_;
};

// Seconds since the system started, never going back.
std::int64_t SecondsSinceStart();

}  // namespace buzonix
