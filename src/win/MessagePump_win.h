// The one way the program's thread handles its messages, in every loop it
// runs: the main loop, the wait of a socket call and the dispatch after the
// tray menu. The modeless windows (the configuration dialog and the help)
// get their keys first in each, so Tab, Enter, Escape and F1 work there even
// while a check waits on a slow server.
#pragma once

#include <windows.h>

namespace buzonix {

// Waits for one message and handles it. False on WM_QUIT, with its exit code.
bool PumpOneMessage(int& exitCode);

// Handles the messages already queued, without waiting. A WM_QUIT is put
// back for the loop that owns it; false when one came.
bool PumpQueuedMessages();

}  // namespace buzonix
