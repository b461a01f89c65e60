#pragma once
// Pixel containers shared by the drawing code, the file encoders and the checks.
#include <cstdint>
#include <vector>

namespace buzonix::artgen {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

using Palette = std::vector<Rgb>;

// A palette-indexed picture, top row first.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    IndexedImage() = default;
    IndexedImage(int w, int h, std::uint8_t fill = 0)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}

    std::uint8_t at(int x, int y) const { return pixels[index(x, y)]; }
    void set(int x, int y, std::uint8_t v) { pixels[index(x, y)] = v; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }

private:
    std::size_t index(int x, int y) const { return static_cast<std::size_t>(y) * width + x; }
};

// A true-colour picture, top row first; used for previews.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;

    RgbImage() = default;
    RgbImage(int w, int h, Rgb fill = {})
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}

    Rgb at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    void set(int x, int y, Rgb v) { pixels[static_cast<std::size_t>(y) * width + x] = v; }
};

// A true-colour picture with straight (not premultiplied) alpha, top row
// first: the icons' 32-bit images.
struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};

struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;

    RgbaImage() = default;
    RgbaImage(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h) {}

    Rgba at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    void set(int x, int y, Rgba v) { pixels[static_cast<std::size_t>(y) * width + x] = v; }
};

} // namespace buzonix::artgen
