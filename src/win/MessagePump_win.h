// The one way the program's thread handles its messages, in every loop it
// runs: the main loop, the wait of a socket call and the dispatch after the
// tray menu. A window that wants its keys before they are dispatched (the
// modeless configuration dialog and the help) registers as a KeyboardTarget,
// so Tab, Enter, Escape and F1 work there even while a check waits on a slow
// server; the pump itself knows no window.
#pragma once

#include <windows.h>

namespace buzonix {

class KeyboardTarget {
 public:
  // Sees each message before it is translated and dispatched; true when it
  // took it, which then goes no further.
  virtual bool PreTranslate(MSG& msg) = 0;

 protected:
  ~KeyboardTarget() = default;
};

// Offers the messages of every loop to `target` while it lives. A member
// declared last in its target's class is registered once the rest of the
// object is built and unregistered before any of it goes.
class KeyboardRegistration {
 public:
  explicit KeyboardRegistration(KeyboardTarget& target);
  KeyboardRegistration(const KeyboardRegistration&) = delete;
  KeyboardRegistration& operator=(const KeyboardRegistration&) = delete;
  ~KeyboardRegistration();

 private:
  KeyboardTarget& target_;
};

// Waits for one message and handles it. False on WM_QUIT, with its exit code.
bool PumpOneMessage(int& exitCode);

// Handles the messages already queued, without waiting. A WM_QUIT is put
// back for the loop that owns it; false when one came.
bool PumpQueuedMessages();

// Offers `msg` to the registered targets in turn: true when one took it.
bool PreTranslateMessage(MSG& msg);

}  // namespace buzonix
