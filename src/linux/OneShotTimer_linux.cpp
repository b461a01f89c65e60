#include "linux/OneShotTimer_linux.h"

#include <algorithm>
#include <climits>

namespace buzonix {

QtOneShotTimer::QtOneShotTimer(std::function<void()> fired) {
  timer_.setSingleShot(true);
  QObject::connect(&timer_, &QTimer::timeout, std::move(fired));
}

void QtOneShotTimer::Start(unsigned milliseconds) {
  timer_.start(static_cast<int>(std::min<unsigned>(milliseconds, INT_MAX)));
}

}  // namespace buzonix
