// The start's decision between running and handing over, over a scripted
// channel.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controller/Instance.h"

namespace buzonix {
namespace {

// Answers from `answers` and claims from `claims` in turn (each false once
// they run out); records the calls.
class ScriptedChannel final : public InstanceChannel {
 public:
  bool AskRunningToOpenConfig() override { return Next(answers, "ask"); }
  bool Claim() override { return Next(claims, "claim"); }
  void Pause(unsigned) override { calls.push_back("pause"); }

  std::vector<bool> answers, claims;
  std::vector<std::string> calls;

 private:
  bool Next(std::vector<bool>& script, const char* call) {
    calls.push_back(call);
    if (script.empty()) return false;
    const bool value = script.front();
    script.erase(script.begin());
    return value;
  }
};

TEST(StartDecision, RunsAloneHandsOverToARunningCopyAndWaitsForOneStartingOrEnding) {
  ScriptedChannel alone;
  alone.claims = {true};
  EXPECT_EQ(DecideStart(alone), StartDecision::kRun);
  EXPECT_EQ(alone.calls, (std::vector<std::string>{"claim"}));  // asks no one: another user's copy may listen

  ScriptedChannel running;
  running.answers = {true};
  EXPECT_EQ(DecideStart(running), StartDecision::kHandedOver);
  EXPECT_EQ(running.calls, (std::vector<std::string>{"claim", "ask"}));

  // A copy still starting: its lock is held before it listens.
  ScriptedChannel starting;
  starting.answers = {false, false, true};
  EXPECT_EQ(DecideStart(starting), StartDecision::kHandedOver);

  // A copy ending: it no longer answers, and then its lock goes.
  ScriptedChannel ending;
  ending.claims = {false, false, true};
  EXPECT_EQ(DecideStart(ending), StartDecision::kRun);

  // One that holds the lock and never answers: the start gives up, bounded.
  ScriptedChannel hung;
  EXPECT_EQ(DecideStart(hung), StartDecision::kNoAnswer);
  EXPECT_LE(std::count(hung.calls.begin(), hung.calls.end(), "pause"), 50);
}

}  // namespace
}  // namespace buzonix
