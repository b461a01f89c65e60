// "Ejecutar siempre" on a Linux desktop: a desktop entry in the user's
// autostart folder ($XDG_CONFIG_HOME/autostart), the counterpart of the
// Windows Run key.
#pragma once

#include <string>

namespace buzonix {

class Autostart {
 public:
  // entryPath: the desktop entry's file.
  explicit Autostart(std::string entryPath) : path_(std::move(entryPath)) {}

  // The default place: $XDG_CONFIG_HOME/autostart/buzonix.desktop.
  static std::string DefaultEntryPath();

  // Whether the entry exists and starts this very program.
  bool StartsProgram(const std::string& programPath) const;
  // Writes the entry; false when the file cannot be written.
  bool Write(const std::string& programPath) const;
  // Removes the entry; a missing entry is not an error.
  bool Remove() const;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The Exec value that runs `programPath` with no arguments, quoted and
// escaped as desktop entries require.
std::string DesktopExecValue(const std::string& programPath);

}  // namespace buzonix
