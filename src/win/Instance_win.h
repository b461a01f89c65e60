// The Windows side of one program per user session: a mutex in the session's
// own namespace, named for the user, held by the running copy; and a hidden
// top-level window of the class BuzonixInstancia that a second start, or the
// installer, finds. A registered message to that window opens the
// configuration dialog; WM_CLOSE ends the program as "Salir" does.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "controller/Instance.h"
#include "win/WinWindow.h"

namespace buzonix {

inline constexpr char kInstanceWindowClass[] = "BuzonixInstancia";
inline constexpr wchar_t kOpenConfigMessageName[] = L"Buzonix.AbrirConfiguracion";

// A kernel handle, closed when it goes.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  HANDLE Get() const { return handle_; }
  void Reset(HANDLE handle) {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

class WinInstanceChannel final : public InstanceChannel {
 public:
  WinInstanceChannel();
  ~WinInstanceChannel();
  WinInstanceChannel(const WinInstanceChannel&) = delete;
  WinInstanceChannel& operator=(const WinInstanceChannel&) = delete;

  bool AskRunningToOpenConfig() override;
  bool Claim() override;
  void Pause(unsigned milliseconds) override { Sleep(milliseconds); }

 private:
  OwnedHandle mutex_;
  bool owned_ = false;
};

// The running copy's window for the requests.
class InstanceWindow final : public WinWindow {
 public:
  struct Requests {
    std::function<void()> openConfig, end;
  };
  explicit InstanceWindow(Requests requests);
  ~InstanceWindow() override { Destroy(); }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

  Requests requests_;
  UINT open_config_message_;
};

}  // namespace buzonix
