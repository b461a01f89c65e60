// The socket layer's event loop over Qt's: timers are QTimers, readiness comes
// from QSocketNotifiers, and a waiting call runs Qt's loop nested until its
// descriptor is ready, so the tray, its menu and every window keep answering
// during a check, all on the one thread.
#pragma once

#include <QObject>

#include <map>
#include <memory>

#include "posix/EventLoop.h"

class QSocketNotifier;
class QTimer;

namespace buzonix {

class QtEventLoop final : public EventLoop {
 public:
  QtEventLoop();
  ~QtEventLoop() override;

  void SetTimer(int id, unsigned milliseconds, Callback callback) override;
  void KillTimer(int id) override;
  void Watch(int fd, short events, std::function<void(short)> callback) override;
  void Unwatch(int fd) override;
  short WaitFor(int fd, short events, const std::function<bool()>& stop) override;

 private:
  struct Watcher;
  std::map<int, std::unique_ptr<QTimer>> timers_;
  std::map<int, std::unique_ptr<Watcher>> watchers_;
};

}  // namespace buzonix
