#pragma once
// Windows icon and bitmap files, written and read back byte by byte so the
// output does not depend on any imaging library.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "Image.h"

namespace buzonix::artgen {

using Bytes = std::vector<std::uint8_t>;

struct FormatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An 8-bit bottom-up BMP with a full 256-entry colour table.
Bytes encodeBmp8(const IndexedImage& image, const Palette& palette);

// An 8-bit bottom-up BMP compressed with RLE8, whose colour table holds only
// the colours the picture uses (in the order of the palette).
Bytes encodeBmp8Rle(const IndexedImage& image, const Palette& palette);

// An icon file holding one 4-bit image per picture, all with the
// given 16-colour palette and an all-zero AND mask (fully opaque), then one
// PNG-compressed 32-bit image with alpha per true-colour picture.
Bytes encodeIcon(const std::vector<IndexedImage>& images, const Palette& palette,
                 const std::vector<RgbaImage>& trueColour = {});

// A PNG of 8-bit RGBA, unfiltered rows, deflated by zlib at its best.
Bytes encodePng(const RgbaImage& image);
// Reads what encodePng writes (8-bit RGBA, filter 0); throws FormatError otherwise.
RgbaImage decodePng(const Bytes& file);

// Binary PPM (P6), the preview format handed to the image converter.
Bytes encodePpm(const RgbImage& image);

struct DecodedBitmap {
    IndexedImage image;
    Palette palette;
    int bitsPerPixel = 0;
};

// Reads a BMP of 8 bits per pixel, uncompressed or RLE8; throws FormatError
// otherwise. An RLE8 picture must set every pixel.
DecodedBitmap decodeBmp8(const Bytes& file);

struct DecodedIconImage {
    IndexedImage image;         // a 4-bit DIB
    Palette palette;
    int bitsPerPixel = 0;
    bool maskAllZero = false;
    bool png = false;           // a 32-bit PNG image, in `trueColour`
    RgbaImage trueColour;
};

// Reads an icon file whose images are uncompressed 4-bit DIBs or 32-bit
// PNGs; throws FormatError on anything else or on inconsistent directory
// entries.
std::vector<DecodedIconImage> decodeIcon(const Bytes& file);

RgbImage toRgb(const IndexedImage& image, const Palette& palette);

} // namespace buzonix::artgen
