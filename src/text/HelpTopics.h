// The program's own help: one topic for each context number it opens.
#pragma once

#include <string>

namespace buzonix {

// The context numbers the program opens.
inline constexpr int kHelpPrograma = 1;
inline constexpr int kHelpMenu = 2;
inline constexpr int kHelpPaginas = 13;
inline constexpr int kHelpConfiguracion = 14;

struct HelpTopic {
  int context;
  const char* title;  // Windows-1252
  const char* text;   // Windows-1252, lines separated by CR LF
};

// The topic of `context`, or the program's topic when there is none.
const HelpTopic& FindHelpTopic(int context);

// The help window's caption for a topic: "Ayuda - " and its title.
std::string HelpWindowTitle(const HelpTopic& topic);

}  // namespace buzonix
