#pragma once
// The two palettes of the artwork: the 16 standard Windows colours of the
// icons and the 256-entry colour cube shared by all bitmaps.
#include "Image.h"

namespace buzonix::artgen {

// Index names of the standard 16-colour Windows palette.
enum Vga : std::uint8_t {
    Black, Maroon, Green, Olive, Navy, Purple, Teal, Silver,
    Grey, Red, Lime, Yellow, Blue, Fuchsia, Cyan, White
};

const Palette& windows16Palette();

// Entries 0..215: the 6x6x6 cube (entry 36r + 6g + b, each level times 51);
// entries 216..255: black.
const Palette& cubePalette();

constexpr int kCubeLevels = 6;
constexpr int kCubeStep = 51;
constexpr int kCubeEntries = 216;

constexpr std::uint8_t cubeIndex(int r, int g, int b) {
    return static_cast<std::uint8_t>(36 * r + 6 * g + b);
}

} // namespace buzonix::artgen
