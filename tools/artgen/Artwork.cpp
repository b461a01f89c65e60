#include "Artwork.h"

#include <cstdio>

#include "Envelope.h"
#include "Icons.h"
#include "InfoPicture.h"
#include "Palettes.h"

namespace buzonix::artgen {
namespace {

constexpr char kArtFolder[] = "art/";

std::string resourceScript(const std::vector<IconArt>& icons) {
    std::string rc =
        "// Icons and bitmaps of the program, drawn by tools/artgen.\n"
        "// Regenerate with scripts/make-art.sh; do not edit the pictures by hand.\n\n";
    for (const IconArt& icon : icons)
        rc += icon.resourceName + " ICON \"" + kArtFolder + icon.fileName + "\"\n";
    rc += "\n";
    for (int k = 0; k < kNoticeFrameCount; ++k)
        rc += "AVISO" + std::to_string(k) + " BITMAP \"" + kArtFolder + noticeFrameFileName(k) + "\"\n";
    rc += "\nINFO BITMAP \"" + std::string(kArtFolder) + "info.bmp\"\n";
    return rc;
}

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Pixels exactly black are shown navy by the notice window.
RgbImage asShownInNotice(const IndexedImage& frame) {
    RgbImage shown = toRgb(frame, cubePalette());
    for (std::size_t i = 0; i < frame.pixels.size(); ++i)
        if (shown.pixels[i] == Rgb{0, 0, 0}) shown.pixels[i] = Rgb{0, 0, 128};
    return shown;
}

RgbImage contactSheet(const std::vector<RgbImage>& frames, int columns, int gap) {
    const int rows = (static_cast<int>(frames.size()) + columns - 1) / columns;
    const int w = frames.front().width, h = frames.front().height;
    RgbImage sheet(columns * w + (columns + 1) * gap, rows * h + (rows + 1) * gap, Rgb{255, 255, 255});
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const int left = gap + static_cast<int>(k) % columns * (w + gap);
        const int top = gap + static_cast<int>(k) / columns * (h + gap);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) sheet.set(left + x, top + y, frames[k].at(x, y));
    }
    return sheet;
}

std::vector<RgbaImage> smoothImages(const IconArt& icon) {
    std::vector<RgbaImage> images;
    for (int size : kSmoothIconSizes) images.push_back(drawSmoothIcon(icon.picture, size));
    return images;
}

} // namespace

std::string noticeFrameFileName(int frame) {
    char name[16];
    std::snprintf(name, sizeof name, "aviso%02d.bmp", frame);
    return name;
}

std::vector<OutputFile> buildResources() {
    std::vector<OutputFile> files;
    const std::vector<IconArt> icons = drawIcons();
    for (const IconArt& icon : icons)
        files.push_back({kArtFolder + icon.fileName, encodeIcon({icon.large, icon.small}, windows16Palette(), smoothImages(icon))});
    for (int k = 0; k < kNoticeFrameCount; ++k)
        files.push_back({kArtFolder + noticeFrameFileName(k), encodeBmp8Rle(renderNoticeFrame(k), cubePalette())});
    files.push_back({std::string(kArtFolder) + "info.bmp", encodeBmp8(renderInfoPicture(), cubePalette())});
    files.push_back({"artwork.rc", textBytes(resourceScript(icons))});
    return files;
}

std::vector<OutputFile> buildPreviews() {
    std::vector<OutputFile> files;
    for (const IconArt& icon : drawIcons()) {
        const std::string stem = icon.fileName.substr(0, icon.fileName.find('.'));
        files.push_back({stem + "-32.ppm", encodePpm(toRgb(icon.large, windows16Palette()))});
        files.push_back({stem + "-16.ppm", encodePpm(toRgb(icon.small, windows16Palette()))});
        for (const RgbaImage& image : smoothImages(icon))
            files.push_back({stem + "-rgba" + std::to_string(image.width) + ".png", encodePng(image)});
    }
    std::vector<RgbImage> frames;
    for (int k = 0; k < kNoticeFrameCount; ++k) frames.push_back(asShownInNotice(renderNoticeFrame(k)));
    files.push_back({"aviso-frames.ppm", encodePpm(contactSheet(frames, 4, 2))});
    files.push_back({"info.ppm", encodePpm(toRgb(renderInfoPicture(), cubePalette()))});
    return files;
}

} // namespace buzonix::artgen
