#include "support/MessageLoop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace buzonix {

void MessageLoop::SetTimer(int id, unsigned milliseconds, Callback callback) {
  timers_[id] = Timer{milliseconds, Clock::now() + std::chrono::milliseconds(milliseconds),
                      std::move(callback)};
}

void MessageLoop::KillTimer(int id) { timers_.erase(id); }

void MessageLoop::Post(Callback task) { tasks_.push_back(std::move(task)); }

void MessageLoop::Watch(int fd, short events, std::function<void(short)> callback) {
  watchers_[fd] = Watcher{events, std::move(callback)};
}

void MessageLoop::Unwatch(int fd) { watchers_.erase(fd); }

short MessageLoop::PollOnce(int extra, short extra_events, int timeout_ms) {
  std::vector<pollfd> fds;
  if (extra >= 0) fds.push_back({extra, extra_events, 0});
  for (const auto& [fd, watcher] : watchers_) fds.push_back({fd, watcher.events, 0});
  const int n = ::poll(fds.data(), fds.size(), timeout_ms);
  if (n <= 0) return (n < 0 && errno != EINTR) ? POLLERR : 0;
  short extra_revents = 0;
  for (const pollfd& p : fds) {
    if (p.revents == 0) continue;
    if (extra >= 0 && p.fd == extra && &p == &fds.front()) {
      extra_revents = p.revents;
      continue;
    }
    auto it = watchers_.find(p.fd);
    if (it != watchers_.end()) {
      auto callback = it->second.callback;  // may unwatch itself
      callback(p.revents);
    }
  }
  return extra_revents;
}

bool MessageLoop::RunDueWork() {
  bool ran = false;
  while (!tasks_.empty()) {
    Callback task = std::move(tasks_.front());
    tasks_.pop_front();
    task();
    ran = true;
  }
  const auto now = Clock::now();
  std::vector<int> due;
  for (const auto& [id, timer] : timers_)
    if (timer.due <= now) due.push_back(id);
  for (int id : due) {
    auto it = timers_.find(id);
    if (it == timers_.end() || it->second.due > now) continue;  // killed or reset meanwhile
    it->second.due = now + std::chrono::milliseconds(it->second.period_ms);
    Callback callback = it->second.callback;  // the callback may kill its own timer
    callback();
    ran = true;
  }
  return ran;
}

int MessageLoop::MillisecondsToNextTimer() const {
  if (!tasks_.empty()) return 0;
  if (timers_.empty()) return -1;
  auto next = Clock::time_point::max();
  for (const auto& entry : timers_) next = std::min(next, entry.second.due);
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(wait, 0, 60'000));
}

short MessageLoop::WaitFor(int fd, short events, const std::function<bool()>& stop) {
  for (;;) {
    if (stop && stop()) return 0;
    const short revents = PollOnce(fd, events, MillisecondsToNextTimer());
    if (revents != 0) return revents;
    RunDueWork();
  }
}

void MessageLoop::RunUntil(const std::function<bool()>& done) {
  while (!quit_ && !(done && done())) {
    if (RunDueWork()) continue;
    const int wait = MillisecondsToNextTimer();
    if (wait < 0 && watchers_.empty()) return;  // nothing could ever happen
    PollOnce(-1, 0, wait);
  }
}

}  // namespace buzonix
