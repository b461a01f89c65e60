// The program's own help: one topic for each context number it opens.
#pragma once

namespace buzonix {

struct HelpTopic {
  int context;
  const char* title;  // Windows-1252
  const char* text;   // Windows-1252, lines separated by CR LF
};

// The topic of `context`, or the program's topic when there is none.
const HelpTopic& FindHelpTopic(int context);

}  // namespace buzonix
