#include "Palettes.h"

namespace buzonix::artgen {

const Palette& windows16Palette() {
    static const Palette palette = {
        {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
        {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
        {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
        {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
    };
    return palette;
}

const Palette& cubePalette() {
    static const Palette palette = [] {
        Palette p(256, Rgb{0, 0, 0});
        for (int r = 0; r < kCubeLevels; ++r)
            for (int g = 0; g < kCubeLevels; ++g)
                for (int b = 0; b < kCubeLevels; ++b)
                    p[cubeIndex(r, g, b)] = Rgb{static_cast<std::uint8_t>(r * kCubeStep),
                                                static_cast<std::uint8_t>(g * kCubeStep),
                                                static_cast<std::uint8_t>(b * kCubeStep)};
        return p;
    }();
    return palette;
}

} // namespace buzonix::artgen
