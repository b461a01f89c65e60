// The Linux program's settings: $XDG_CONFIG_HOME/buzonix/buzonix.conf, an INI
// file with the registry's sections and value names ("Version" and
// "Configuracion"). It is read as the registry is read on Windows: a damaged
// or mistyped file never stops the program, a missing value reads "Error",
// and values the program does not know are left in the file untouched.
#pragma once

#include <functional>
#include <string>

#include "config/SettingsStore.h"
#include "config/settings.h"
#include "linux/Autostart.h"
#include "linux/PasswordStore.h"

namespace buzonix {

// Where the password is saved. The provider's refresh token goes to the
// Secret Service only; without one it lives for this run.
enum class PasswordPlace {
  Keyring,  // the Secret Service
  File,     // scrambled in the settings file: the user's choice without a Secret Service
  Nowhere,  // used for this run only
};

class SettingsFile final : public SettingsStore {
 public:
  // Where a save puts the password when there is no Secret Service: the
  // program asks the user.
  using PasswordPlaceChooser = std::function<PasswordPlace(const Settings&)>;

  SettingsFile(std::string path, Autostart& autostart, PasswordStore& passwords,
               PasswordStore& refresh_tokens, PasswordPlaceChooser choose = {})
      : path_(std::move(path)),
        autostart_(autostart),
        passwords_(passwords),
        refresh_tokens_(refresh_tokens),
        choose_(std::move(choose)) {}

  // $XDG_CONFIG_HOME/buzonix/buzonix.conf
  static std::string DefaultPath();

  bool FirstRun() override;
  // The password from the Secret Service, or scrambled from the file where
  // the user chose so.
  MaybeFailure Read(Settings& settings, const std::string& programPath) override;
  // Nothing is written on a first run: the autostart entry is proposed, and
  // written by the save.
  bool RegisterFirstRun(const std::string&) override { return true; }
  // The password goes to the Secret Service when there is one, else where
  // the chooser says.
  MaybeFailure Save(const Settings& settings, const std::string& programPath) override;
  // Writes every setting and writes or removes the autostart entry, the
  // password where `place` says; stops at the first step that fails.
  MaybeFailure Save(const Settings& settings, const std::string& programPath, PasswordPlace place);

  // Whether the stored password lives in the file (the user's earlier choice).
  bool PasswordInFile() const;

  // Before a check. When the load could not read the Secret Service, reads it
  // again; false while it still cannot be read (no check should run: an
  // empty password would read as a wrong one).
  bool PasswordAtHand(Settings& settings, std::string& problem) override;

  // The refresh token to the Secret Service, or for this run where there is
  // none.
  MaybeFailure SaveRefreshToken(const Settings& settings) override;
  bool KeepsRefreshToken() const override { return refresh_tokens_.Available(); }

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  Autostart& autostart_;
  PasswordStore& passwords_;
  void ReadRefreshToken(Settings& settings);
  MaybeFailure StoreRefreshToken(const Settings& settings);

  PasswordStore& refresh_tokens_;
  PasswordPlaceChooser choose_;
  bool password_unread_ = false;  // the Secret Service could not be read
  bool refresh_token_unread_ = false;
  std::string run_refresh_token_;  // without a Secret Service: this run's only
};

}  // namespace buzonix
