#pragma once
// The picture of the information page of the configuration dialog.
#include "Image.h"

namespace buzonix::artgen {

constexpr int kInfoWidth = 89;
constexpr int kInfoHeight = 79;

// A rural mailbox with its flag up and a letter flying in, under a sky,
// quantised to the colour cube.
IndexedImage renderInfoPicture();

} // namespace buzonix::artgen
