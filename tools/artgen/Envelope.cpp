#include "Envelope.h"

#include <algorithm>
#include <cmath>

namespace buzonix::artgen {
namespace {

// Colours of the envelope: each surface fades from its lit colour toward its
// shade colour as it turns away from the viewer. Lit colours sit exactly on
// the colour cube so surfaces seen face-on come out clean, without dither.
constexpr Colour kFrontLit{255, 255, 255};        // white
constexpr Colour kFlapLit{204, 204, 204};         // light grey
constexpr Colour kFrontShade{150, 140, 235};      // lilac-blue
constexpr Colour kFoldLine{102, 102, 204};
constexpr Colour kBackLit{204, 204, 204};
constexpr Colour kBackShade{150, 206, 160};       // pale green
constexpr Colour kEdgeLit{204, 255, 204};
constexpr Colour kEdgeShade{130, 190, 150};

// The notice window paints exactly-black pixels navy: edge pixels are blended
// toward that navy so the envelope is smooth where it is actually shown.
constexpr Colour kShownBackground{0, 0, 128};
constexpr double kMinimumCoverage = 0.2;

// Where the tip of the flap's V sits, as a share of the height from the top.
constexpr double kFlapDepth = 0.42;
constexpr double kFoldHalfWidth = 0.011;

double distanceToSegment(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    const double ex = px - (ax + t * dx), ey = py - (ay + t * dy);
    return std::sqrt(ex * ex + ey * ey);
}

// Seen from above, even a face turned straight at the camera meets the view
// at a slant: anything within that slant counts as fully lit. 0.3 keeps a
// face seen edge-on from going dark.
constexpr double kFullyLitFacing = 0.93;

double brightness(const SurfaceHit& hit, Vec3 toEye) {
    const double facing = std::max(0.0, dot(hit.worldNormal, toEye));
    return 0.3 + 0.7 * std::min(1.0, facing / kFullyLitFacing);
}

Colour frontColour(EnvelopeSize size, double x, double y, double lit) {
    const double top = size.height / 2;
    const double tipY = top - kFlapDepth * size.height;
    const double half = size.width / 2;
    const double fold = std::min(distanceToSegment(x, y, -half, top, 0, tipY),
                                 distanceToSegment(x, y, half, top, 0, tipY));
    if (fold < kFoldHalfWidth) return mix(mix(kFoldLine, kFrontShade, 0.3), kFoldLine, lit);
    const double flapEdgeY = tipY + (top - tipY) * std::abs(x) / half;
    const Colour base = y > flapEdgeY ? kFlapLit : kFrontLit;
    return mix(kFrontShade, base, lit);
}

Shader envelopeShader(EnvelopeSize size) {
    return [size](const SurfaceHit& hit, Vec3 toEye) {
        const double lit = brightness(hit, toEye);
        if (hit.localNormal.z > 0.5) return frontColour(size, hit.localPoint.x, hit.localPoint.y, lit);
        if (hit.localNormal.z < -0.5) return mix(kBackShade, kBackLit, lit);
        return mix(kEdgeShade, kEdgeLit, lit);
    };
}

std::uint8_t frameIndexFor(const CoverageImage& render, int x, int y) {
    const std::size_t at = static_cast<std::size_t>(y) * render.width + x;
    if (render.coverage[at] < kMinimumCoverage) return 0;
    const Colour shown = mix(kShownBackground, render.colour[at], render.coverage[at]);
    const std::uint8_t index = ditherToCube(shown, x, y);
    // Index 0 is the black the window replaces with navy: never use it inside.
    return index == 0 ? cubeIndex(0, 0, 1) : index;
}

} // namespace

Solid makeEnvelope(EnvelopeSize size, Mat3 rotation, Vec3 position) {
    const BoxShape box{{size.width / 2, size.height / 2, size.thickness / 2}};
    return makeSolid(box, rotation, position, envelopeShader(size));
}

IndexedImage renderNoticeFrame(int frame) {
    // Seen from a little above (about 18 degrees) and close enough for the
    // near end to loom when the envelope is edge-on.
    const Camera camera = Camera::lookingAt(Vec3{0, 1.05, 3.2}, Vec3{0, 0, 0}, 225.0,
                                            kNoticeFrameWidth / 2.0, kNoticeFrameHeight / 2.0);
    const std::vector<Solid> scene = {
        makeEnvelope(EnvelopeSize{}, aboutVertical(turnOfSteps30(frame)), Vec3{0, 0, 0})};
    const CoverageImage render = renderScene(scene, camera, kNoticeFrameWidth, kNoticeFrameHeight, 4);
    IndexedImage image(kNoticeFrameWidth, kNoticeFrameHeight);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) image.set(x, y, frameIndexFor(render, x, y));
    return image;
}

} // namespace buzonix::artgen
