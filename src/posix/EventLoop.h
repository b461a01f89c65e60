// What the POSIX socket layer needs of the thread's event loop: window-style
// timers, readiness callbacks on a descriptor, and a wait on one descriptor
// that keeps the loop's other work running, so that handlers run nested inside
// a waiting call as they do on Windows. MessageLoop is the loop of its own;
// a toolkit's front end supplies one over its own loop.
#pragma once

#include <functional>

namespace buzonix {

class EventLoop {
 public:
  using Callback = std::function<void()>;

  virtual ~EventLoop() = default;

  // Periodic timer like a window timer: fires every `milliseconds` until killed.
  // Setting an existing id restarts it.
  virtual void SetTimer(int id, unsigned milliseconds, Callback callback) = 0;
  virtual void KillTimer(int id) = 0;

  // Calls `callback(revents)` whenever `fd` is ready for `events` (poll flags),
  // from the loop.
  virtual void Watch(int fd, short events, std::function<void(short)> callback) = 0;
  virtual void Unwatch(int fd) = 0;

  // Runs the loop's other work until `fd` is ready for `events` or `stop()`
  // says so. Returns the poll revents, 0 when stopped.
  virtual short WaitFor(int fd, short events, const std::function<bool()>& stop) = 0;
};

}  // namespace buzonix
