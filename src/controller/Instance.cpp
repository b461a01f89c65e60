#include "controller/Instance.h"

namespace buzonix {
namespace {

constexpr unsigned kRetryMs = 100;
constexpr int kTries = 50;  // 5 s for a copy that is starting or ending

}  // namespace

StartDecision DecideStart(InstanceChannel& channel) {
  for (int attempt = 0; attempt < kTries; ++attempt) {
    if (channel.AskRunningToOpenConfig()) return StartDecision::kHandedOver;
    if (channel.Claim()) return StartDecision::kRun;
    channel.Pause(kRetryMs);
  }
  return StartDecision::kNoAnswer;
}

}  // namespace buzonix
