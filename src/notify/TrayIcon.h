#pragma once
// TTrayIcon: one icon in the notification area of the taskbar, with its
// tooltip, its mouse events and its pop-up menu. It shows what it is given and
// knows nothing of what the program does with it.

#include "notify/PopupMenu.h"
#include "notify/TrayShell.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace buzonix {

class TTrayIcon;

enum class TMouseButton { Left, Right, Middle };

// The modifier keys and buttons held during a mouse event, a set of bits:
// shift 1, alt 2, ctrl 4, left 8, right 16, middle 32, double click 64. The
// tray's events always pass the empty set.
using TShiftState = unsigned;

using TTrayNotifyEvent = std::function<void(TTrayIcon& sender)>;
using TTrayMouseEvent =
    std::function<void(TTrayIcon& sender, TMouseButton button, TShiftState shift, int x, int y)>;

class TTrayIcon final : public TrayShellClient {
 public:
  // A failed add (the shell not yet up at log-on) is tried again this often.
  static constexpr unsigned AddRetryIntervalMs = 2000;
  static constexpr int MaxAddRetries = 10;

  // The icon lives in the notification area only while Active is true.
  explicit TTrayIcon(std::unique_ptr<TrayShell> shell);
  ~TTrayIcon();
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  bool Active() const { return active_; }
  void SetActive(bool active);

  // Only a form designer shows the icon through this flag; in the running
  // program a write is ignored and the value stays false.
  bool ShowDesigning() const { return false; }
  void SetShowDesigning(bool) {}

  // The component's own copy (0 when empty); it stays owned by the component.
  ShellHandle Icon() const { return icon_.Get(); }
  // Copies the picture: the caller keeps and still owns source.
  void SetIcon(ShellHandle source);

  const std::string& ToolTip() const { return toolTip_; }
  // Stores the text cut to the shell's MaxToolTipLength and shows it, even
  // when unchanged.
  void SetToolTip(std::string text);

  TTrayNotifyEvent OnClick;
  TTrayNotifyEvent OnDblClick;
  TTrayMouseEvent OnRightClick;
  PopupMenuBase* PopupMenu = nullptr;  // not owned; must outlive the clicks

  TrayShell& Shell() { return *shell_; }

  // Events of the shell (called by the shell layer).
  void HandleClick() override;
  void HandleDoubleClick() override;
  void HandleMenuRequest(ScreenPoint at) override;
  void HandleRefresh() override;
  void HandleTaskbarCreated() override;
  void HandleRetryTimer() override;

 private:
  // The component's icon copy, freed through the shell that made it.
  class OwnedIcon {
   public:
    OwnedIcon(TrayShell& shell, ShellHandle handle) : shell_(&shell), handle_(handle) {}
    ~OwnedIcon();
    OwnedIcon(const OwnedIcon&) = delete;
    OwnedIcon& operator=(const OwnedIcon&) = delete;
    ShellHandle Get() const { return handle_; }
    void Swap(OwnedIcon& other) noexcept;

   private:
    TrayShell* shell_;
    ShellHandle handle_;
  };

  void AddIcon();
  void ModifyIcon();
  void DeleteIcon();
  bool SendAdd();
  TrayLook Look() const;
  void StartRetrying();
  void StopRetrying();

  std::unique_ptr<TrayShell> shell_;
  OwnedIcon icon_;
  std::string toolTip_;
  bool active_ = false;
  bool retrying_ = false;
  int addRetriesLeft_ = 0;
};

}  // namespace buzonix
