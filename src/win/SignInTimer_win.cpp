#include "win/SignInTimer_win.h"

#include <windows.h>

#include "win/WinWindow.h"

namespace buzonix {
namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr char kWindowClass[] = "BuzonixSignInTimer";

}  // namespace

class WinOneShotTimer::TimerWindow final : public WinWindow {
 public:
  explicit TimerWindow(std::function<void()>& fired) : fired_(fired) { CreateMessageOnly(kWindowClass); }
  ~TimerWindow() override { Destroy(); }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message != WM_TIMER || wparam != kTimerId) return WinWindow::HandleMessage(message, wparam, lparam);
    KillTimer(Handle(), kTimerId);
    fired_();
    return 0;
  }

  std::function<void()>& fired_;
};

WinOneShotTimer::WinOneShotTimer(std::function<void()> fired) : fired_(std::move(fired)) {}

WinOneShotTimer::~WinOneShotTimer() = default;

void WinOneShotTimer::Start(unsigned milliseconds) {
  if (!window_) window_ = std::make_unique<TimerWindow>(fired_);
  SetTimer(window_->Handle(), kTimerId, milliseconds, nullptr);
}

void WinOneShotTimer::Stop() {
  if (window_) KillTimer(window_->Handle(), kTimerId);
}

// GetTickCount64 where the system has it; else the 32-bit count, whose
// wrap after 49 days is carried here.
std::int64_t SecondsSinceStart() {
  using TickCount64 = ULONGLONG(WINAPI*)();
  static const auto tick64 = reinterpret_cast<TickCount64>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
  if (tick64 != nullptr) return static_cast<std::int64_t>(tick64() / 1000);
  static DWORD last = 0;
  static std::int64_t wraps = 0;
  const DWORD now = GetTickCount();
  if (now < last) ++wraps;
  last = now;
  return (wraps * (std::int64_t{1} << 32) + now) / 1000;
}

}  // namespace buzonix
