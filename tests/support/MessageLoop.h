// A single-threaded message loop for native builds: window-style timers, posted
// tasks, and waits on a socket that keep running them, so that handlers can run
// nested inside a waiting call as they do on Windows.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>

#include "posix/EventLoop.h"

namespace buzonix {

class MessageLoop final : public EventLoop {
 public:
  using Clock = std::chrono::steady_clock;

  // Periodic timer like a window timer: fires every `milliseconds` until killed.
  // Setting an existing id restarts it.
  void SetTimer(int id, unsigned milliseconds, Callback callback) override;
  void KillTimer(int id) override;
  bool HasTimer(int id) const { return timers_.count(id) != 0; }

  void Post(Callback task);

  // Calls `callback(revents)` whenever `fd` is ready for `events`, from the loop.
  void Watch(int fd, short events, std::function<void(short)> callback) override;
  void Unwatch(int fd) override;

  // Runs due timers and posted tasks until `fd` is ready for `events` (poll
  // flags) or `stop()` says so. Returns the poll revents, 0 when stopped.
  short WaitFor(int fd, short events, const std::function<bool()>& stop) override;

  // Runs timers and tasks until `done()` or the loop is told to quit.
  void RunUntil(const std::function<bool()>& done);
  void Quit() { quit_ = true; }
  bool QuitRequested() const { return quit_; }

 private:
  struct Timer {
    unsigned period_ms;
    Clock::time_point due;
    Callback callback;
  };
  // Runs every due timer and queued task once; returns true when any ran.
  bool RunDueWork();
  int MillisecondsToNextTimer() const;

  struct Watcher {
    short events;
    std::function<void(short)> callback;
  };
  // Polls `extra` (if >= 0) with the watched fds; runs ready watchers.
  // Returns the revents of `extra`.
  short PollOnce(int extra, short extra_events, int timeout_ms);

  std::map<int, Timer> timers_;
  std::map<int, Watcher> watchers_;
  std::deque<Callback> tasks_;
  bool quit_ = false;
};

}  // namespace buzonix
