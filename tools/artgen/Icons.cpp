#include "Icons.h"

#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "Palettes.h"

namespace buzonix::artgen {
namespace {

// Pixel maps, one string per row. Letters name Windows colours; '.' is the
// icon's backdrop; ' ' leaves the pixel below unchanged (overlays).
using PixelMap = std::vector<std::string_view>;

std::uint8_t colourOf(char c) {
    switch (c) {
    case 'k': return Black;
    case 'm': return Maroon;
    case 'o': return Olive;
    case 'n': return Navy;
    case 's': return Silver;
    case 'd': return Grey;
    case 'r': return Red;
    case 'y': return Yellow;
    case 'c': return Cyan;
    case 'w': return White;
    default: throw std::logic_error(std::string("unknown colour letter ") + c);
    }
}

void paint(IndexedImage& image, const PixelMap& map, std::uint8_t backdrop) {
    if (static_cast<int>(map.size()) != image.height) throw std::logic_error("pixel map height");
    for (int y = 0; y < image.height; ++y) {
        if (static_cast<int>(map[y].size()) != image.width) throw std::logic_error("pixel map width");
        for (int x = 0; x < image.width; ++x) {
            const char c = map[y][x];
            if (c == ' ') continue;
            image.set(x, y, c == '.' ? backdrop : colourOf(c));
        }
    }
}

// A bold red X from corner to corner; `reach` is how far from the diagonal
// (in pixels along a row) the stroke extends.
void crossOut(IndexedImage& image, int reach) {
    const int last = image.width - 1;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (std::abs(x - y) <= reach || std::abs(x + y - last) <= reach) image.set(x, y, Red);
}

// ---- 32 x 32 ------------------------------------------------------------

// Side view: grey box whose arched top shows as white and silver bands, the
// door (silver, with its handle) at the right end, the olive post below.
const PixelMap kMailbox32 = {
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "..........................kk....",
    ".........................kwwk...",
    "....kkkkkkkkkkkkkkkkkkkkkswwsk..",
    "...kwwwwwwwwwwwwwwwwwwwwkssssk..",
    "..kssssssssssssssssssssskssssk..",
    "..kssssssssssssssssssssskssssk..",
    "..kdddddddddddddddddddddkssssk..",
    "..kdddddddddddddddddddddkssssk..",
    "..kdddddddddddddddddddddkssskkk.",
    "..kdddddddddddddddddddddkssskkk.",
    "..kdddddddddddddddddddddkssssk..",
    "..kdddddddddddddddddddddkssssk..",
    "..kdddddddddddddddddddddkssssk..",
    "..kdddddddddddddddddddddkssssk..",
    "..kkkkkkkkkkkkkkkkkkkkkkkssssk..",
    "...........kooook.......kkkkkk..",
    "...........kooook...............",
    "...........kooook...............",
    "...........kooook...............",
    "...........kooook...............",
    "...........kooook...............",
    "...........kooook...............",
    "...........kooook...............",
    "...........kooook...............",
    "...........kooook...............",
};

const PixelMap kFlagDown32 = {
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "              rrrrrr            ",
    "    rkrrrrrrrrrrrrrr            ",
    "    rkrrrrrrrrrrrrrr            ",
    "              rrrrrr            ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
};

const PixelMap kFlagUp32 = {
    "                                ",
    "                                ",
    "    rrrrrrrrr                   ",
    "    rrrrrrrrr                   ",
    "    rrrrrrrrr                   ",
    "    rrrrrrrrr                   ",
    "    rr                          ",
    "    rr                          ",
    "    rr                          ",
    "    rr                          ",
    "    rr                          ",
    "    rr                          ",
    "    rr                          ",
    "    rr                          ",
    "    rk                          ",
    "    rk                          ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
};

// The door hangs open below the box; two letters stick out of the mouth.
const PixelMap kLetters32 = {
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                          kk    ",
    "                         kkkk   ",
    "                         kkkk   ",
    "                         kkkkkkk",
    "                         wwwwwwk",
    "                         wwwwwwk",
    "                         kkkkkkk",
    "                         wwwwwk ",
    "                         wwwwwk ",
    "                         kkkkkk ",
    "                         kkkk   ",
    "                         kkkk   ",
    "                         kkkk   ",
    "                         kkkk   ",
    "                        kkkkkk  ",
    "                        kssssk  ",
    "                        kssssk  ",
    "                        kssssk  ",
    "                        kssssk  ",
    "                        kssssk  ",
    "                        kssssk  ",
    "                        kssssk  ",
    "                         kssk   ",
    "                          kk    ",
};

// White envelope, flap V in grey over a silver flap, on navy.
const PixelMap kEnvelope32 = {
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    "..kddssssssssssssssssssssssddk..",
    "..kwdddssssssssssssssssssdddwk..",
    "..kwwwddssssssssssssssssddwwwk..",
    "..kwwwwdddssssssssssssdddwwwwk..",
    "..kwwwwwwddssssssssssddwwwwwwk..",
    "..kwwwwwwwdddssssssdddwwwwwwwk..",
    "..kwwwwwwwwwddssssddwwwwwwwwwk..",
    "..kwwwwwwwwwwddddddwwwwwwwwwwk..",
    "..kwwwwwwwwwwwwddwwwwwwwwwwwwk..",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwk..",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwk..",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwk..",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwk..",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwk..",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwk..",
    "..kwwwwwwwwwwwwwwwwwwwwwwwwwwk..",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
};

// ---- 16 x 16 ------------------------------------------------------------

const PixelMap kMailbox16 = {
    "................",
    "................",
    "................",
    "............kk..",
    "..kkkkkkkkkkwwk.",
    ".kwwwwwwwwwkssk.",
    ".kssssssssskssk.",
    ".kdddddddddkssk.",
    ".kdddddddddkskkk",
    ".kdddddddddkssk.",
    ".kdddddddddkssk.",
    ".kkkkkkkkkkkssk.",
    ".....kook..kkkk.",
    ".....kook.......",
    ".....kook.......",
    ".....kook.......",
};

const PixelMap kFlagDown16 = {
    "                ",
    "                ",
    "                ",
    "                ",
    "                ",
    "                ",
    "                ",
    "      rrrr      ",
    "  rkrrrrrr      ",
    "      rrrr      ",
    "                ",
    "                ",
    "                ",
    "                ",
    "                ",
    "                ",
};

const PixelMap kFlagUp16 = {
    "                ",
    "  rrrrr         ",
    "  rrrrr         ",
    "  rrrrr         ",
    "  r             ",
    "  r             ",
    "  r             ",
    "  r             ",
    "  r             ",
    "                ",
    "                ",
    "                ",
    "                ",
    "                ",
    "                ",
    "                ",
};

const PixelMap kLetters16 = {
    "                ",
    "                ",
    "                ",
    "                ",
    "            kk  ",
    "            kk  ",
    "            kkkk",
    "            wwwk",
    "            wwwk",
    "            kkkk",
    "            kk  ",
    "            kk  ",
    "                ",
    "           kssk ",
    "           kssk ",
    "           kkkk ",
};

const PixelMap kEnvelope16 = {
    "................",
    "................",
    "................",
    ".kkkkkkkkkkkkkk.",
    ".kddssssssssddk.",
    ".kwddssssssddwk.",
    ".kwwddssssddwwk.",
    ".kwwwwddddwwwwk.",
    ".kwwwwwddwwwwwk.",
    ".kwwwwwwwwwwwwk.",
    ".kwwwwwwwwwwwwk.",
    ".kwwwwwwwwwwwwk.",
    ".kkkkkkkkkkkkkk.",
    "................",
    "................",
    "................",
};

struct MailboxState {
    std::uint8_t backdrop;
    bool flagUp;
    bool crossed;
};

IndexedImage drawMailbox(int size, MailboxState state) {
    const bool large = size == 32;
    IndexedImage image(size, size);
    paint(image, large ? kMailbox32 : kMailbox16, state.backdrop);
    if (state.flagUp) {
        paint(image, large ? kLetters32 : kLetters16, state.backdrop);
        paint(image, large ? kFlagUp32 : kFlagUp16, state.backdrop);
    } else {
        paint(image, large ? kFlagDown32 : kFlagDown16, state.backdrop);
    }
    if (state.crossed) crossOut(image, large ? 2 : 1);
    return image;
}

IconArt mailboxIcon(std::string resourceName, std::string fileName, MailboxState state, IconPicture picture) {
    return {std::move(resourceName), std::move(fileName), drawMailbox(32, state), drawMailbox(16, state), picture};
}

IconArt envelopeIcon() {
    IconArt icon{"MAINICON", "mainicon.ico", IndexedImage(32, 32), IndexedImage(16, 16), IconPicture::Envelope};
    paint(icon.large, kEnvelope32, Navy);
    paint(icon.small, kEnvelope16, Navy);
    return icon;
}

} // namespace

std::vector<IconArt> drawIcons() {
    return {
        envelopeIcon(),
        mailboxIcon("BANDERA0", "bandera0.ico", {Silver, false, false}, IconPicture::MailboxEmpty),
        mailboxIcon("BANDERA1", "bandera1.ico", {White, true, false}, IconPicture::MailboxMail),
        mailboxIcon("BANDERA2", "bandera2.ico", {Silver, false, true}, IconPicture::MailboxError),
        mailboxIcon("BANDERA5", "bandera5.ico", {Cyan, true, false}, IconPicture::MailboxApop),
    };
}

} // namespace buzonix::artgen
