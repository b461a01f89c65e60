// The sign-in's wait as a single-shot QTimer.
#pragma once

#include <QTimer>

#include <functional>

#include "signin/Ports.h"

namespace buzonix {

class QtOneShotTimer final : public OneShotTimer {
 public:
  explicit QtOneShotTimer(std::function<void()> fired);
  void Start(unsigned milliseconds) override;
  void Stop() override { timer_.stop(); }

 private:
  QTimer timer_;
};

}  // namespace buzonix
