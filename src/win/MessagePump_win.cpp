#include "win/MessagePump_win.h"

#include <algorithm>
#include <vector>

#include "win/WinWindow.h"

namespace buzonix {
namespace {

std::vector<KeyboardTarget*>& Targets() {
  static std::vector<KeyboardTarget*> targets;
  return targets;
}

void Deliver(MSG& msg) {
  if (PreTranslateMessage(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace

KeyboardRegistration::KeyboardRegistration(KeyboardTarget& target) : target_(target) {
  Targets().push_back(&target_);
}

KeyboardRegistration::~KeyboardRegistration() {
  auto& targets = Targets();
  targets.erase(std::remove(targets.begin(), targets.end(), &target_), targets.end());
}

bool PreTranslateMessage(MSG& msg) {
  // By index, read afresh each turn: a target may open or close a window,
  // and so register or unregister one, while it handles a key.
  const auto& targets = Targets();
  for (std::size_t i = 0; i < targets.size(); ++i) {
    KeyboardTarget* const target = targets[i];
    if (target->PreTranslate(msg)) return true;
  }
  return false;
}

bool PumpOneMessage(int& exitCode) {
  MSG msg;
  const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0) {
    exitCode = static_cast<int>(msg.wParam);
    return false;
  }
  if (got > 0) Deliver(msg);
  return true;
}

bool PumpQueuedMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    Deliver(msg);
  }
  return true;
}

}  // namespace buzonix
