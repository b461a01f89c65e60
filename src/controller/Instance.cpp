#include "controller/Instance.h"

namespace buzonix {
namespace {

constexpr unsigned kRetryMs = 100;
constexpr int kTries = 50;  // 5 s for a copy that is starting or ending

}  // namespace

// The lock first: only a copy of this user holds it, so a window or socket
// that another user's copy shows to the session is never asked.
StartDecision DecideStart(InstanceChannel& channel) {
  for (int attempt = 0; attempt < kTries; ++attempt) {
    if (channel.Claim()) return StartDecision::kRun;
    if (channel.AskRunningToOpenConfig()) return StartDecision::kHandedOver;
    channel.Pause(kRetryMs);
  }
  return StartDecision::kNoAnswer;
}

}  // namespace buzonix
