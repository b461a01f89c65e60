#pragma once
// The program's icons: the rural mailbox of the tray in four states and the
// envelope of the program itself, each drawn by hand at 32 and at 16 pixels
// in the standard 16 Windows colours.
#include <string>
#include <vector>

#include "Image.h"
#include "SmoothIcons.h"

namespace buzonix::artgen {

struct IconArt {
    std::string resourceName;   // as declared in the resource script
    std::string fileName;
    IndexedImage large;         // 32 x 32
    IndexedImage small;         // 16 x 16
    IconPicture picture;        // the same picture in 32 bits with alpha
};

std::vector<IconArt> drawIcons();

} // namespace buzonix::artgen
