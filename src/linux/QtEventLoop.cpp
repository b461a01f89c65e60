#include "linux/QtEventLoop.h"

#include <poll.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <vector>

namespace buzonix {
namespace {

// Readiness notifiers for the poll flags asked; each adds its flag to `seen`.
class Notifiers {
 public:
  Notifiers(int fd, short events, std::function<void(short)> on_ready) {
    if (events & POLLIN) Add(fd, QSocketNotifier::Read, POLLIN, on_ready);
    if (events & POLLOUT) Add(fd, QSocketNotifier::Write, POLLOUT, on_ready);
    // Errors and hang-ups show as readable or writable on POSIX; the caller
    // learns the rest from the socket call it makes next.
  }

 void Disable() {
    for (auto& notifier : list_) notifier->setEnabled(false);
  }

 private:
  void Add(int fd, QSocketNotifier::Type type, short flag, const std::function<void(short)>& on_ready) {
    auto notifier = std::make_unique<QSocketNotifier>(fd, type);
    QObject::connect(notifier.get(), &QSocketNotifier::activated,
                     [on_ready, flag] { on_ready(flag); });
    list_.push_back(std::move(notifier));
  }
  std::vector<std::unique_ptr<QSocketNotifier>> list_;
};

}  // namespace

struct QtEventLoop::Watcher {
  std::unique_ptr<Notifiers> notifiers;
};

QtEventLoop::QtEventLoop() = default;
QtEventLoop::~QtEventLoop() = default;

void QtEventLoop::SetTimer(int id, unsigned milliseconds, Callback callback) {
  auto timer = std::make_unique<QTimer>();
  timer->setInterval(static_cast<int>(milliseconds));
  QObject::connect(timer.get(), &QTimer::timeout, std::move(callback));
  timer->start();
  timers_[id] = std::move(timer);
}

void QtEventLoop::KillTimer(int id) {
  // A timer may kill itself from its own callback: let Qt delete it later.
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  it->second->stop();
  it->second.release()->deleteLater();
  timers_.erase(it);
}

void QtEventLoop::Watch(int fd, short events, std::function<void(short)> callback) {
  Unwatch(fd);
  auto watcher = std::make_unique<Watcher>();
  watcher->notifiers = std::make_unique<Notifiers>(fd, events, std::move(callback));
  watchers_[fd] = std::move(watcher);
}

void QtEventLoop::Unwatch(int fd) {
  auto it = watchers_.find(fd);
  if (it == watchers_.end()) return;
  // The callback that unwatches may be running inside the notifier's signal.
  Watcher* watcher = it->second.release();
  watchers_.erase(it);
  watcher->notifiers->Disable();
  QTimer::singleShot(0, [watcher] { delete watcher; });
}

short QtEventLoop::WaitFor(int fd, short events, const std::function<bool()>& stop) {
  short ready = 0;
  Notifiers notifiers(fd, events, [&ready](short flag) { ready |= flag; });
  while (ready == 0 && !(stop && stop()))
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return ready;
}

}  // namespace buzonix
