// The program's help: one small window showing one topic at a time.
#pragma once

#include <windows.h>

#include <memory>

#include "win/Dpi_win.h"
#include "win/MessagePump_win.h"
#include "win/WinWindow.h"

namespace buzonix {

class HelpWindow final : public WinWindow, private KeyboardTarget {
 public:
  // Shows topic `context`, reusing the open help window if there is one.
  static void ShowTopic(int context, HWND owner);
  static void CloseAll();
  ~HelpWindow() override;

 private:
  explicit HelpWindow(HWND owner);
  void Display(int context);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  // KeyboardTarget: Escape closes the help window.
  bool PreTranslate(MSG& msg) override;
  // The text's font, 8 points at `dpi`.
  void UseFontFor(int dpi);

  HWND text_ = nullptr;
  HFONT font_ = nullptr;  // owned
  KeyboardRegistration keys_{*this};  // last: registered once all of the above exists
  static std::unique_ptr<HelpWindow> current_;
};

}  // namespace buzonix
