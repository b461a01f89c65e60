#include "win/MessagePump_win.h"

#include "win/HelpWindow_win.h"
#include "win/configur_win.h"

namespace buzonix {
namespace {

void Deliver(MSG& msg) {
  if (TConf::PreTranslate(&msg) || HelpWindow::PreTranslate(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace

bool PumpOneMessage(int& exitCode) {
  MSG msg;
  const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0) {
    exitCode = static_cast<int>(msg.wParam);
    return false;
  }
  if (got > 0) Deliver(msg);
  return true;
}

bool PumpQueuedMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    Deliver(msg);
  }
  return true;
}

}  // namespace buzonix
