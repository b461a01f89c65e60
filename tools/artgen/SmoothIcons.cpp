#include "SmoothIcons.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace buzonix::artgen {
namespace {

// A shape on the 32-unit grid and its colour; later shapes cover earlier ones.
struct Shape {
    std::function<bool(double, double)> contains;
    Rgba colour;
};

constexpr Rgba kBlack{0, 0, 0, 255};
constexpr Rgba kWhite{255, 255, 255, 255};
constexpr Rgba kSilver{192, 192, 192, 255};
constexpr Rgba kGrey{128, 128, 128, 255};
constexpr Rgba kRed{224, 0, 0, 255};
constexpr Rgba kOlive{128, 128, 0, 255};
constexpr Rgba kNavy{0, 0, 128, 255};
constexpr Rgba kCyan{0, 224, 224, 255};

// A rectangle with corners rounded by `radius`.
std::function<bool(double, double)> box(double left, double top, double right, double bottom, double radius = 0) {
    return [=](double x, double y) {
        if (x < left || x > right || y < top || y > bottom) return false;
        const double cx = std::clamp(x, left + radius, right - radius);
        const double cy = std::clamp(y, top + radius, bottom - radius);
        return std::hypot(x - cx, y - cy) <= radius;
    };
}

// A stroke of the given width from (x0, y0) to (x1, y1).
std::function<bool(double, double)> line(double x0, double y0, double x1, double y1, double width) {
    return [=](double x, double y) {
        const double dx = x1 - x0, dy = y1 - y0;
        const double t = std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        return std::hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= width / 2;
    };
}

// A filled shape with a black outline of one unit.
void outlined(std::vector<Shape>& shapes, double left, double top, double right, double bottom, double radius,
              Rgba fill) {
    shapes.push_back({box(left, top, right, bottom, radius), kBlack});
    shapes.push_back({box(left + 1, top + 1, right - 1, bottom - 1, std::max(0.0, radius - 1)), fill});
}

std::vector<Shape> envelope() {
    std::vector<Shape> shapes;
    shapes.push_back({box(0.5, 0.5, 31.5, 31.5, 5), kNavy});
    outlined(shapes, 2.5, 7, 29.5, 25, 1.5, kWhite);
    // The flap: a silver V from the top corners to the middle, edged in grey.
    shapes.push_back({[](double x, double y) { return y >= 8 && y <= 17.5 - std::abs(x - 16) * 0.7; }, kGrey});
    shapes.push_back({[](double x, double y) { return y >= 8 && y <= 16 - std::abs(x - 16) * 0.7; }, kSilver});
    return shapes;
}

std::vector<Shape> mailbox(Rgba backdrop, bool mail, bool crossed) {
    std::vector<Shape> shapes;
    shapes.push_back({box(0.5, 0.5, 31.5, 31.5, 5), backdrop});
    outlined(shapes, 11, 21, 17, 32, 0, kOlive);                  // the post
    outlined(shapes, 2, 9, 26, 23, 3, kGrey);                     // the box, arched top
    shapes.push_back({box(3, 10, 25, 11.5, 1.5), kWhite});         // light on the arch
    shapes.push_back({box(3, 11.5, 25, 13, 0), kSilver});
    if (mail) {
        // The door hangs open below the mouth; two letters stick out.
        outlined(shapes, 25, 8, 31, 12, 0, kBlack);
        outlined(shapes, 24.5, 11, 31.5, 14.5, 0, kWhite);
        outlined(shapes, 24.5, 14, 30.5, 17.5, 0, kWhite);
        outlined(shapes, 25, 17, 29.5, 30, 2, kSilver);
        // The flag raised.
        shapes.push_back({box(4, 2, 6.5, 16), kRed});
        shapes.push_back({box(4, 2, 13.5, 6.5, 0.5), kRed});
    } else {
        outlined(shapes, 24, 7, 30.5, 23, 3, kSilver);             // the closed door
        shapes.push_back({box(29, 15, 31.5, 17), kBlack});          // its handle
        // The flag down along the side.
        shapes.push_back({box(4, 14, 20.5, 16.5, 0.5), kRed});
        shapes.push_back({box(14, 13, 20.5, 17.5, 0.5), kRed});
        shapes.push_back({box(5, 14, 6, 16.5), kBlack});            // its pivot
    }
    if (crossed) {
        shapes.push_back({line(3, 3, 29, 29, 4), kRed});
        shapes.push_back({line(29, 3, 3, 29, 4), kRed});
    }
    return shapes;
}

std::vector<Shape> shapesOf(IconPicture picture) {
    switch (picture) {
    case IconPicture::Envelope: return envelope();
    case IconPicture::MailboxEmpty: return mailbox(kSilver, false, false);
    case IconPicture::MailboxMail: return mailbox(kWhite, true, false);
    case IconPicture::MailboxError: return mailbox(kSilver, false, true);
    case IconPicture::MailboxApop: return mailbox(kCyan, true, false);
    }
    return {};
}

} // namespace

RgbaImage drawSmoothIcon(IconPicture picture, int size) {
    const std::vector<Shape> shapes = shapesOf(picture);
    constexpr int kSamples = 4;  // a side
    RgbaImage image(size, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            // Averaged with premultiplied alpha, so edges against nothing keep their colour.
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double gx = (x + (sx + 0.5) / kSamples) * 32.0 / size;
                    const double gy = (y + (sy + 0.5) / kSamples) * 32.0 / size;
                    for (auto shape = shapes.rbegin(); shape != shapes.rend(); ++shape) {
                        if (!shape->contains(gx, gy)) continue;
                        r += shape->colour.r;
                        g += shape->colour.g;
                        b += shape->colour.b;
                        a += 255;
                        break;
                    }
                }
            }
            constexpr double kCount = kSamples * kSamples;
            if (a == 0) continue;
            const auto channel = [&](double sum) { return static_cast<std::uint8_t>(std::lround(sum * 255 / a)); };
            image.set(x, y, {channel(r), channel(g), channel(b), static_cast<std::uint8_t>(std::lround(a / kCount))});
        }
    }
    return image;
}

} // namespace buzonix::artgen
