// The Linux program's settings: $XDG_CONFIG_HOME/buzonix/buzonix.conf, an INI
// file with the registry's sections and value names ("Version" and
// "Configuracion"). It is read as the registry is read on Windows: a damaged
// or mistyped file never stops the program, a missing value reads "Error",
// and values the program does not know are left in the file untouched.
#pragma once

#include <string>

#include "config/settings.h"
#include "linux/Autostart.h"
#include "linux/PasswordStore.h"

namespace buzonix {

// Where the password is saved.
enum class PasswordPlace {
  Keyring,  // the Secret Service
  File,     // scrambled in the settings file: the user's choice without a Secret Service
  Nowhere,  // used for this run only
};

class SettingsFile {
 public:
  SettingsFile(std::string path, Autostart& autostart, PasswordStore& passwords)
      : path_(std::move(path)), autostart_(autostart), passwords_(passwords) {}

  // $XDG_CONFIG_HOME/buzonix/buzonix.conf
  static std::string DefaultPath();

  // The start-up load. On a first run (no stored version) nothing is written:
  // sound, animation and "Ejecutar siempre" are proposed and help topic 14 and
  // the dialog open; otherwise it reads the settings (the password from the
  // Secret Service, or scrambled from the file where the user chose so),
  // sets and enables the timer and runs one check.
  void Load(Settings& settings, LoadHost& host);

  // Writes every setting and writes or removes the autostart entry. The
  // password goes where `place` says. Throws ERegistryException when a step
  // fails.
  void Save(const Settings& settings, const std::string& programPath, PasswordPlace place);

  // Whether the stored password lives in the file (the user's earlier choice).
  bool PasswordInFile() const;

  // Before a check. When the load could not read the Secret Service, reads it
  // again; false while it still cannot be read (no check should run: an
  // empty password would read as a wrong one), with `tell` true the first
  // time of each run of such failures.
  bool PasswordAtHand(Settings& settings, bool& tell);

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  Autostart& autostart_;
  PasswordStore& passwords_;
  bool password_unread_ = false;  // the Secret Service could not be read
  bool unread_told_ = false;
};

inline constexpr char kClaveIlegible[] =
    "No se pudo leer la clave del servicio de claves (Secret Service). "
    "Se volver\xE1 a intentar en la pr\xF3xima comprobaci\xF3n";

}  // namespace buzonix
