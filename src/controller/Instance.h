// One program per user session. A start that finds the session's lock held
// asks the running copy to open its configuration dialog and, when it took
// the request, leaves at once: no tray icon, no check. The channel (a named mutex and a window on Windows, a
// lock file and a local socket on Linux) is the platform's; the decision is
// made here, once for both programs.
#pragma once

namespace buzonix {

class InstanceChannel {
 public:
  // Asks the running copy to open "Configuración" (or bring it to the front);
  // true when one took the request.
  virtual bool AskRunningToOpenConfig() = 0;
  // Takes the session's lock for this start; true when it holds it now (no
  // copy runs, or the one that held it ended, even by a crash).
  virtual bool Claim() = 0;
  virtual void Pause(unsigned milliseconds) = 0;

 protected:
  ~InstanceChannel() = default;
};

enum class StartDecision {
  kRun,         // this start is the session's program
  kHandedOver,  // the running copy opens its dialog: end with status 0
  kNoAnswer,    // a copy holds the lock but never answered
};

// A copy that holds the lock may still be starting (its window or server not
// yet there) or ending (its lock about to go): both are waited for, up to a
// few seconds.
StartDecision DecideStart(InstanceChannel& channel);

}  // namespace buzonix
