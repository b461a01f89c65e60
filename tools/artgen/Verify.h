#pragma once
// Checks of the committed artwork against what the Windows program relies on:
// icon sizes, colour depth and opacity; frame size, palette, black field and
// the shape of the turning envelope; the information picture's format.
#include <filesystem>
#include <ostream>

namespace buzonix::artgen {

// Reports one line per check to `report`; true when every check passed.
bool verifyArtwork(const std::filesystem::path& resourceFolder, std::ostream& report);

} // namespace buzonix::artgen
