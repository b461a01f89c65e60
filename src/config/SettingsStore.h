// Where the settings live between runs: the registry on Windows, a settings
// file with the desktop's Secret Service on Linux. The start-up load's rules
// (config/settings.h) are written once over it.
#pragma once

#include <string>

#include "state/unit.h"
#include "text/Failure.h"

namespace buzonix {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // No earlier run stored settings (or the stored version cannot be read).
  virtual bool FirstRun() = 0;
  // Every stored setting into `settings`, "Ejecutar siempre" included (the
  // start entry names `programPath`). Damaged or missing values read as
  // missing; only a write the read makes on the way (moving an old value)
  // can fail, and it stops the read there.
  virtual MaybeFailure Read(Settings& settings, const std::string& programPath) = 0;
  // A first run's start entry: true when the program will start with the
  // session (registered now, or proposed for the save to write).
  virtual bool RegisterFirstRun(const std::string& programPath) = 0;
  // Before each check: a password the read could not fetch (a locked
  // keyring) is fetched again. False while it still cannot be had, with the
  // text that says why.
  virtual bool PasswordAtHand(Settings& settings, std::string& problem) {
    (void)settings;
    (void)problem;
    return true;
  }
  // Stores a refresh token the provider just rotated, at once and alone, so
  // that a restart still signs in.
  virtual MaybeFailure SaveRefreshToken(const Settings& settings) = 0;
  // True when a refresh token can outlive this run (the Linux program
  // without a Secret Service keeps it for the run only).
  virtual bool KeepsRefreshToken() const { return true; }
  // Writes every setting and writes or removes the start entry; stops at the
  // first step that fails, and what it wrote before stays written.
  virtual MaybeFailure Save(const Settings& settings, const std::string& programPath) = 0;
};

}  // namespace buzonix
