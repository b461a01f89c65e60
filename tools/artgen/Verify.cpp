#include "Verify.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "Artwork.h"
#include "Envelope.h"
#include "Formats.h"
#include "InfoPicture.h"
#include "Palettes.h"
#include "SmoothIcons.h"

namespace buzonix::artgen {
namespace {

namespace fs = std::filesystem;

class Report {
public:
    explicit Report(std::ostream& out) : out_(out) {}

    void check(bool ok, const std::string& what, const std::string& detail = {}) {
        out_ << (ok ? "ok   " : "FAIL ") << what;
        if (!detail.empty()) out_ << " (" << detail << ")";
        out_ << "\n";
        passed_ = passed_ && ok;
    }
    bool passed() const { return passed_; }

private:
    std::ostream& out_;
    bool passed_ = true;
};

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FormatError("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string percent(double share) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", share * 100);
    return text;
}

int count(const IndexedImage& image, std::uint8_t index) {
    return static_cast<int>(std::count(image.pixels.begin(), image.pixels.end(), index));
}

bool hasColourInRows(const IndexedImage& image, std::uint8_t index, int fromRow, int toRow) {
    for (int y = fromRow; y < toRow; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.at(x, y) == index) return true;
    return false;
}

// ---- icons --------------------------------------------------------------

struct IconPair {
    IndexedImage large, small;
};

// The 32-bit images: every size once, transparent outside the rounded
// backdrop's corner, opaque in the middle.
bool smoothImagesOk(const std::vector<DecodedIconImage>& images, std::string& detail) {
    std::vector<int> sizes;
    for (const DecodedIconImage& i : images) {
        if (!i.png) continue;
        const RgbaImage& p = i.trueColour;
        const int last = p.width - 1;
        if (p.at(0, 0).a != 0 || p.at(last, last).a != 0 || p.at(last / 2, last / 2).a != 255) {
            detail = "alpha of the " + std::to_string(p.width) + " pixel image";
            return false;
        }
        sizes.push_back(p.width);
    }
    if (sizes != kSmoothIconSizes) {
        detail = std::to_string(sizes.size()) + " true-colour images";
        return false;
    }
    return true;
}

std::optional<IconPair> checkIconFile(Report& report, const fs::path& folder, const std::string& name) {
    const std::string what = name + ": opaque 16-colour images of 32 and 16, then 32-bit ones with alpha of 20 to 64";
    try {
        const std::vector<DecodedIconImage> images = decodeIcon(readFile(folder / name));
        IconPair pair;
        bool has32 = false, has16 = false, palettesOk = true, opaque = true;
        int indexed = 0;
        for (const DecodedIconImage& i : images) {
            if (i.png) continue;
            ++indexed;
            palettesOk = palettesOk && i.palette == windows16Palette();
            opaque = opaque && i.maskAllZero;
            if (i.image.width == 32 && i.image.height == 32) has32 = true, pair.large = i.image;
            if (i.image.width == 16 && i.image.height == 16) has16 = true, pair.small = i.image;
        }
        std::string smoothDetail;
        // The 16-colour images come first, 32 then 16, where old readers look.
        const bool ordered = images.size() >= 2 && !images[0].png && images[0].image.width == 32 && !images[1].png;
        const bool smoothOk = smoothImagesOk(images, smoothDetail);
        const bool ok = indexed == 2 && has32 && has16 && palettesOk && opaque && ordered && smoothOk;
        report.check(ok, what,
                     ok ? "" : "images " + std::to_string(images.size()) + (palettesOk ? "" : ", palette differs") +
                                   (opaque ? "" : ", mask has transparent pixels") + (ordered ? "" : ", order") +
                                   (smoothOk ? "" : ", " + smoothDetail));
        if (ok) return pair;
    } catch (const FormatError& e) {
        report.check(false, what, e.what());
    }
    return std::nullopt;
}

// True when `b` equals `a` except that some pixels of colour `from` in `a`
// became `to` in `b` (for a backdrop swap), or became `to` anywhere when
// `from` is kAnyColour (for an overlay).
constexpr int kAnyColour = -1;

bool sameExcept(const IndexedImage& a, const IndexedImage& b, int from, std::uint8_t to) {
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        const bool changeAllowed = b.pixels[i] == to && (from == kAnyColour || a.pixels[i] == from);
        if (a.pixels[i] != b.pixels[i] && !changeAllowed) return false;
    }
    return true;
}

void checkMailboxContent(Report& report, const IconPair& down, const IconPair& up,
                         const IconPair& crossed, const IconPair& apop) {
    for (IndexedImage IconPair::*size : {&IconPair::large, &IconPair::small}) {
        const IndexedImage& d = down.*size;
        const IndexedImage& u = up.*size;
        const IndexedImage& x = crossed.*size;
        const IndexedImage& a = apop.*size;
        const std::string px = std::to_string(d.width);
        const int quarter = d.height / 4;
        report.check(d.at(0, 0) == Silver && u.at(0, 0) == White && a.at(0, 0) == Cyan &&
                         x.at(d.width / 2, 0) == Silver,
                     "mailbox backdrops at " + px + ": light grey, white, cyan, light grey");
        report.check(!hasColourInRows(d, Red, 0, quarter) && hasColourInRows(u, Red, 0, quarter) &&
                         hasColourInRows(d, Red, quarter, d.height),
                     "flag at " + px + ": lowered on bandera0, raised above the box on bandera1");
        report.check(sameExcept(u, a, White, Cyan),
                     "bandera5 at " + px + " is bandera1 on a cyan backdrop");
        const int last = d.width - 1, mid = d.width / 2;
        const bool bothDiagonals = x.at(1, 1) == Red && x.at(last - 1, last - 1) == Red &&
                                   x.at(last - 1, 1) == Red && x.at(1, last - 1) == Red &&
                                   x.at(mid, mid) == Red;
        report.check(bothDiagonals && sameExcept(d, x, kAnyColour, Red),
                     "bandera2 at " + px + " is bandera0 crossed corner to corner in red");
    }
}

void checkEnvelopeIcon(Report& report, const IconPair& icon) {
    for (const IndexedImage* image : {&icon.large, &icon.small}) {
        const double total = image->width * image->height;
        const double white = count(*image, White) / total, navy = count(*image, Navy) / total;
        const bool ok = image->at(0, 0) == Navy && white > 0.15 && navy > 0.25;
        report.check(ok, "mainicon at " + std::to_string(image->width) + ": white envelope on navy",
                     "white " + percent(white) + ", navy " + percent(navy));
    }
}

// ---- notice frames ------------------------------------------------------

struct FrameFacts {
    double blackShare = 0;
    bool onlyCubeColours = true;
    bool blackOnlyInField = true;   // every index-0 pixel reaches the border
    int left = 0, right = -1, top = 0, bottom = -1;
    int width() const { return right - left + 1; }
    // Envelope pixels in the columns just inside the left and right ends:
    // in perspective the nearer end looks taller.
    int leftEndHeight = 0, rightEndHeight = 0;
    // Dark lilac-blue fold-line pixels away from the silhouette's rim.
    std::vector<std::pair<int, int>> foldPixels;
};

bool reachesBorderBlack(const IndexedImage& image, std::vector<bool>& field) {
    std::vector<std::pair<int, int>> todo;
    for (int x = 0; x < image.width; ++x) todo.insert(todo.end(), {{x, 0}, {x, image.height - 1}});
    for (int y = 0; y < image.height; ++y) todo.insert(todo.end(), {{0, y}, {image.width - 1, y}});
    field.assign(image.pixels.size(), false);
    while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        if (!image.contains(x, y) || image.at(x, y) != 0) continue;
        const std::size_t at = static_cast<std::size_t>(y) * image.width + x;
        if (field[at]) continue;
        field[at] = true;
        todo.insert(todo.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
    }
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        if (image.pixels[i] == 0 && !field[i]) return false;
    return true;
}

bool farFromField(const IndexedImage& image, int x, int y) {
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if (!image.contains(x + dx, y + dy) || image.at(x + dx, y + dy) == 0) return false;
    return true;
}

bool isFoldColour(Rgb c) {
    const double luminance = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
    return luminance < 140 && c.b >= c.r + 60 && c.b >= c.g + 60;
}

FrameFacts measureFrame(const IndexedImage& image) {
    FrameFacts facts;
    std::vector<bool> field;
    facts.blackOnlyInField = reachesBorderBlack(image, field);
    facts.left = image.width;
    facts.top = image.height;
    int black = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t v = image.at(x, y);
            if (v >= kCubeEntries) facts.onlyCubeColours = false;
            if (v == 0) {
                ++black;
                continue;
            }
            facts.left = std::min(facts.left, x);
            facts.right = std::max(facts.right, x);
            facts.top = std::min(facts.top, y);
            facts.bottom = std::max(facts.bottom, y);
            if (farFromField(image, x, y) && isFoldColour(cubePalette()[v])) facts.foldPixels.push_back({x, y});
        }
    }
    facts.blackShare = static_cast<double>(black) / (image.width * image.height);
    for (int y = 0; y < image.height; ++y) {
        facts.leftEndHeight += image.at(facts.left + 1, y) != 0;
        facts.rightEndHeight += image.at(facts.right - 1, y) != 0;
    }
    return facts;
}

// The frame in indexes of the shared cube palette, when every colour of its
// own (trimmed) table is one of the cube's.
std::optional<IndexedImage> inCubeIndexes(const DecodedBitmap& bmp) {
    const Palette& cube = cubePalette();
    std::vector<std::uint8_t> map;
    for (const Rgb& colour : bmp.palette) {
        const auto at = std::find(cube.begin(), cube.end(), colour);
        if (at == cube.end()) return std::nullopt;
        map.push_back(static_cast<std::uint8_t>(at - cube.begin()));
    }
    IndexedImage image = bmp.image;
    for (std::uint8_t& v : image.pixels) {
        if (v >= map.size()) return std::nullopt;
        v = map[v];
    }
    return image;
}

std::optional<IndexedImage> loadFrame(Report& report, const fs::path& folder, int k) {
    const std::string name = noticeFrameFileName(k);
    const std::string what = name + ": 148 x 112, 8 bits, colours of the shared cube palette";
    try {
        const DecodedBitmap bmp = decodeBmp8(readFile(folder / name));
        const auto image = inCubeIndexes(bmp);
        const bool ok = bmp.image.width == kNoticeFrameWidth && bmp.image.height == kNoticeFrameHeight && image;
        report.check(ok, what,
                     ok ? "" : std::to_string(bmp.image.width) + " x " + std::to_string(bmp.image.height) +
                                   (image ? "" : ", a colour outside the palette"));
        if (!ok) return std::nullopt;
        // The compressed file holds exactly the picture drawn.
        report.check(image->pixels == renderNoticeFrame(k).pixels, name + ": pixel for pixel the drawn frame");
        return image;
    } catch (const FormatError& e) {
        report.check(false, what, e.what());
    }
    return std::nullopt;
}

void checkFrameField(Report& report, int k, const FrameFacts& f) {
    const std::string name = noticeFrameFileName(k);
    report.check(f.blackShare >= 0.8, name + ": at least 80% black field",
                 percent(f.blackShare));
    report.check(f.onlyCubeColours && f.blackOnlyInField,
                 name + ": no black pixel inside the envelope");
}

// The V of the flap: fold pixels across the upper half, meeting near the middle.
bool showsFlap(const FrameFacts& f, int minimumPixels) {
    if (static_cast<int>(f.foldPixels.size()) < minimumPixels) return false;
    const int middle = (f.top + f.bottom) / 2;
    return std::all_of(f.foldPixels.begin(), f.foldPixels.end(),
                       [middle](const auto& p) { return p.second < middle; });
}

void checkTurn(Report& report, const std::vector<FrameFacts>& frames) {
    auto width = [&](int k) { return frames[k].width(); };
    std::string widths = "widths";
    for (const FrameFacts& f : frames) widths.append(" ").append(std::to_string(f.width()));
    report.check(width(3) < 20 && width(9) < 20, "frames 3 and 9 are thin edge-on slivers", widths);
    report.check(width(0) >= 50 && width(6) >= 50, "frames 0 and 6 show the envelope face-on", widths);
    report.check(width(0) > width(1) && width(1) > width(2) && width(2) > width(3) &&
                     width(3) < width(4) && width(4) < width(5) && width(5) < width(6),
                 "the envelope narrows toward edge-on and widens toward the back", widths);
    bool symmetric = true;
    for (int k = 1; k < 6; ++k) symmetric = symmetric && std::abs(width(k) - width(12 - k)) <= 2;
    report.check(symmetric, "the second half of the turn mirrors the first", widths);

    // One direction all round: the left end is the nearer one while the
    // front turns away to the right (1, 2) and while the back does (7, 8);
    // the right end in the quarters between (4, 5 and 10, 11).
    bool oneDirection = true;
    std::string ends = "left-right end heights";
    for (int k : {1, 2, 4, 5, 7, 8, 10, 11}) {
        const bool leftNearer = k == 1 || k == 2 || k == 7 || k == 8;
        const int nearer = leftNearer ? frames[k].leftEndHeight : frames[k].rightEndHeight;
        const int farther = leftNearer ? frames[k].rightEndHeight : frames[k].leftEndHeight;
        oneDirection = oneDirection && nearer > farther + 1;
        ends.append(" ").append(std::to_string(frames[k].leftEndHeight)).append("-").append(
            std::to_string(frames[k].rightEndHeight));
    }
    report.check(oneDirection, "the envelope turns the same way all round", ends);

    const FrameFacts& front = frames[0];
    bool tipCentred = false;
    if (!front.foldPixels.empty()) {
        const auto tip = std::max_element(front.foldPixels.begin(), front.foldPixels.end(),
                                          [](const auto& a, const auto& b) { return a.second < b.second; });
        tipCentred = std::abs(tip->first - (front.left + front.right) / 2) <= 3;
    }
    report.check(showsFlap(front, 40) && tipCentred, "frame 0: the V of the flap in the upper half",
                 std::to_string(front.foldPixels.size()) + " fold pixels");
    bool frontsShowFlap = true, backsPlain = true;
    for (int k : {1, 2, 10, 11}) frontsShowFlap = frontsShowFlap && showsFlap(frames[k], 15);
    for (int k : {4, 5, 6, 7, 8}) backsPlain = backsPlain && frames[k].foldPixels.empty();
    report.check(frontsShowFlap, "frames 1, 2, 10, 11 show the front with its flap");
    report.check(backsPlain, "frames 4 to 8 show the plain back");
}

void checkInfoPicture(Report& report, const fs::path& folder) {
    const std::string what = "info.bmp: 89 x 79, 8 bits, 256 colours";
    try {
        const DecodedBitmap bmp = decodeBmp8(readFile(folder / "info.bmp"));
        report.check(bmp.image.width == kInfoWidth && bmp.image.height == kInfoHeight &&
                         bmp.palette.size() == 256,
                     what);
    } catch (const FormatError& e) {
        report.check(false, what, e.what());
    }
}

} // namespace

bool verifyArtwork(const fs::path& resourceFolder, std::ostream& out) {
    Report report(out);
    const fs::path art = resourceFolder / "art";

    const auto mainIcon = checkIconFile(report, art, "mainicon.ico");
    const auto down = checkIconFile(report, art, "bandera0.ico");
    const auto up = checkIconFile(report, art, "bandera1.ico");
    const auto crossed = checkIconFile(report, art, "bandera2.ico");
    const auto apop = checkIconFile(report, art, "bandera5.ico");
    if (mainIcon) checkEnvelopeIcon(report, *mainIcon);
    if (down && up && crossed && apop) checkMailboxContent(report, *down, *up, *crossed, *apop);

    std::vector<FrameFacts> frames;
    for (int k = 0; k < kNoticeFrameCount; ++k) {
        const auto frame = loadFrame(report, art, k);
        if (!frame) continue;
        frames.push_back(measureFrame(*frame));
        checkFrameField(report, k, frames.back());
    }
    if (frames.size() == kNoticeFrameCount) checkTurn(report, frames);

    checkInfoPicture(report, art);
    return report.passed();
}

} // namespace buzonix::artgen
