// GoogleTest's own start signal for the threads it makes, over a Windows
// event: its stock one needs std::mutex, which the Windows build's runtime
// (mingw-w64's win32 threads) does not have. Included ahead of every
// GoogleTest source and test of the Windows build.
#pragma once

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
 public:
  Notification();
  ~Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify();
  void WaitForNotification();

 private:
  void* event_;
};

}  // namespace testing::internal
