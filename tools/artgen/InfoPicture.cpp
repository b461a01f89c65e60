#include "InfoPicture.h"

#include <algorithm>
#include <cmath>

#include "Envelope.h"
#include "Palettes.h"
#include "Scene.h"

namespace buzonix::artgen {
namespace {

// Proportions of the mailbox: a box with an arched roof along x, its door
// at the +x end, standing on a post above the ground.
constexpr double kHalfLength = 0.8;
constexpr double kRadius = 0.36;
constexpr double kWallHeight = 0.3;
constexpr double kPostHalfWidth = 0.07;
constexpr double kPostLength = 0.75;
constexpr double kGroundY = -kWallHeight - kPostLength;

constexpr Colour kSkyTop{51, 102, 204};
constexpr Colour kSkyHorizon{170, 210, 250};
constexpr Colour kMetal{168, 170, 178};
constexpr Colour kDoor{205, 206, 212};
constexpr Colour kDoorRim{92, 94, 104};
constexpr Colour kPost{128, 122, 20};          // olive, as in the tray icons
constexpr Colour kFlag{225, 30, 25};
constexpr Colour kGrassNear{51, 140, 51};
constexpr Colour kGrassFar{110, 180, 80};
constexpr Colour kShadow{40, 95, 35};

const Vec3 kLight = normalized(Vec3{0.55, 0.9, 0.6});

double power16(double v) {
    v *= v;
    v *= v;
    v *= v;
    return v * v;
}

Colour scaled(Colour c, double k) { return {c.r * k, c.g * k, c.b * k}; }
Colour plus(Colour a, double add) { return {a.r + add, a.g + add, a.b + add}; }

// Diffuse light from the upper right plus a small highlight, for the metal.
Colour lit(Colour base, const SurfaceHit& hit, Vec3 toEye, double shininess) {
    const Vec3 n = hit.worldNormal;
    const double diffuse = std::max(0.0, dot(n, kLight));
    const Vec3 reflected = n * (2 * dot(n, kLight)) - kLight;
    const double highlight = shininess * power16(std::max(0.0, dot(reflected, toEye)));
    return plus(scaled(base, 0.42 + 0.58 * diffuse), 255 * highlight);
}

// The door fills the arch at the +x end, framed by a darker rim.
Colour mailboxColour(const SurfaceHit& hit, Vec3 toEye) {
    if (hit.localNormal.x < 0.5) return lit(kMetal, hit, toEye, 0.55);
    const Vec3 p = hit.localPoint;
    const double toArch = p.y > 0 ? kRadius - std::sqrt(p.y * p.y + p.z * p.z) : kRadius - std::abs(p.z);
    const double toBottom = p.y + kWallHeight;
    const bool rim = std::min(toArch, toBottom) < 0.05;
    return lit(rim ? kDoorRim : kDoor, hit, toEye, 0.3);
}

// Grass, lighter toward the horizon, darkened where the objects above stand
// between the ground and the light.
Shader groundShader(std::vector<Solid> casters) {
    return [casters = std::move(casters)](const SurfaceHit& hit, Vec3) {
        const double far = std::clamp(-hit.localPoint.z / 6.0, 0.0, 1.0);
        const Colour grass = mix(kGrassNear, kGrassFar, far);
        const Vec3 ground{hit.localPoint.x, kGroundY, hit.localPoint.z};
        return nearestHit(casters, Ray{ground, kLight}) ? mix(grass, kShadow, 0.6) : grass;
    };
}

std::vector<Solid> buildScene() {
    const Mat3 upright;
    auto plain = [](Colour base, double shine) {
        return [base, shine](const SurfaceHit& h, Vec3 e) { return lit(base, h, e, shine); };
    };
    std::vector<Solid> scene;
    scene.push_back(makeSolid(ArchedShape{kHalfLength, kRadius, kWallHeight}, upright, Vec3{},
                              mailboxColour));
    // Door handle, post, raised flag (arm and plate) on the side facing us.
    scene.push_back(makeSolid(BoxShape{{0.03, 0.035, 0.07}}, upright, Vec3{kHalfLength + 0.03, -0.02, 0},
                              plain(kDoorRim, 0.4)));
    scene.push_back(makeSolid(BoxShape{{kPostHalfWidth, kPostLength / 2, kPostHalfWidth}}, upright,
                              Vec3{-0.1, -kWallHeight - kPostLength / 2, 0}, plain(kPost, 0.1)));
    scene.push_back(makeSolid(BoxShape{{0.035, 0.36, 0.02}}, upright, Vec3{-0.45, 0.2, kRadius + 0.02},
                              plain(kFlag, 0.3)));
    scene.push_back(makeSolid(BoxShape{{0.17, 0.1, 0.02}}, upright, Vec3{-0.31, 0.47, kRadius + 0.02},
                              plain(kFlag, 0.3)));
    // The letter flying in above the box, tilted and turned toward us.
    const Mat3 flying = aboutDepth(turnToward(0.94, 0.34)) * aboutVertical(turnToward(0.92, 0.4));
    scene.push_back(makeEnvelope(EnvelopeSize{0.66, 0.4, 0.04}, flying, Vec3{0.38, 0.86, 0.25}));
    scene.push_back(makeSolid(BoxShape{{40, 0.01, 40}}, upright, Vec3{0, kGroundY - 0.01, 0},
                              groundShader(scene)));
    return scene;
}

Colour skyAt(int y) {
    return mix(kSkyTop, kSkyHorizon, std::clamp(y / (kInfoHeight * 0.62), 0.0, 1.0));
}

} // namespace

IndexedImage renderInfoPicture() {
    const Camera camera = Camera::lookingAt(Vec3{2.1, 0.3, 3.0}, Vec3{-0.05, -0.08, 0}, 108.0,
                                            kInfoWidth / 2.0, kInfoHeight / 2.0);
    const CoverageImage render = renderScene(buildScene(), camera, kInfoWidth, kInfoHeight, 4);
    IndexedImage image(kInfoWidth, kInfoHeight);
    for (int y = 0; y < kInfoHeight; ++y) {
        for (int x = 0; x < kInfoWidth; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * kInfoWidth + x;
            const Colour c = mix(skyAt(y), render.colour[at], render.coverage[at]);
            image.set(x, y, ditherToCube(c, x, y));
        }
    }
    return image;
}

} // namespace buzonix::artgen
