#pragma once
// Everything artgen writes: the files under res/ and the preview pictures.
#include <string>
#include <vector>

#include "Formats.h"

namespace buzonix::artgen {

struct OutputFile {
    std::string path;   // relative to the output folder
    Bytes bytes;
};

// The icons, the notice frames, the information picture (under art/) and the
// resource script that declares them (artwork.rc), as the Windows build
// expects them under res/.
std::vector<OutputFile> buildResources();

// Previews for reviewing the artwork by eye (PPM, converted to PNG later):
// every icon at 32 and 16 pixels, a 4 x 3 sheet of the notice frames as the
// window shows them (black replaced by navy) and the information picture.
std::vector<OutputFile> buildPreviews();

std::string noticeFrameFileName(int frame);

} // namespace buzonix::artgen
