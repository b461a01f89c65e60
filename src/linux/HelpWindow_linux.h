// The program's help on Linux: one small window showing one topic at a time.
#pragma once

namespace buzonix {

// Shows topic `context`, reusing the open help window if there is one.
void ShowHelpTopic(int context);
void CloseHelp();

}  // namespace buzonix
