// Process-wide state of the main form's unit: the settings, the check's state
// and the byte of window flags that the notice window and the configuration
// dialog share with the main form.
#pragma once

#include <cstdint>

#include "config/settings.h"
#include "mailcheck/CheckMail.h"

namespace buzonix {

// Bits of VentanasAbiertas.
inline constexpr std::uint8_t kNoticeWindowOpen = 1;
inline constexpr std::uint8_t kConfigDialogOpen = 2;

struct Pop3Unit {
  Settings settings;
  CheckState check;
  std::uint8_t VentanasAbiertas = 0;
};

}  // namespace buzonix
