#include "GtestNotification_win.h"

#include <windows.h>

#include <cstdlib>

namespace testing::internal {

Notification::Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  if (event_ == nullptr) std::abort();  // GoogleTest's threads could never start
}

Notification::~Notification() { CloseHandle(event_); }

void Notification::Notify() { SetEvent(event_); }

void Notification::WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

}  // namespace testing::internal
