#pragma once
// A tiny ray caster: solids placed in a scene, each with its own shader,
// seen through a pinhole camera and sampled several times per pixel.
#include <functional>
#include <optional>
#include <vector>

#include "Geometry.h"
#include "Image.h"
#include "Palettes.h"

namespace buzonix::artgen {

struct Colour {
    double r = 0, g = 0, b = 0;
};

inline Colour mix(Colour from, Colour to, double k) {
    return {from.r + (to.r - from.r) * k, from.g + (to.g - from.g) * k, from.b + (to.b - from.b) * k};
}

struct Ray {
    Vec3 origin;
    Vec3 direction;
};

struct SurfaceHit {
    double distance = 0;     // along the ray, in units of its direction
    Vec3 localPoint;         // in the solid's own frame
    Vec3 localNormal;
    Vec3 worldNormal;
};

// What a shader sees: the hit and the unit vector from the surface to the eye.
using Shader = std::function<Colour(const SurfaceHit&, Vec3 toEye)>;

// A box centred on its origin with the given half extents.
struct BoxShape {
    Vec3 half;
};

// A mailbox body: a box of half length `halfLength` along x and half width
// `radius` along z, from y = -`wallHeight` up to y = 0, topped by a half
// cylinder of `radius` about the x axis.
struct ArchedShape {
    double halfLength = 1;
    double radius = 1;
    double wallHeight = 1;
};

struct Solid {
    Mat3 rotation;           // local to world
    Vec3 position;
    std::function<std::optional<SurfaceHit>(const Ray& local)> intersect;
    Shader shader;
};

Solid makeSolid(BoxShape shape, Mat3 rotation, Vec3 position, Shader shader);
Solid makeSolid(ArchedShape shape, Mat3 rotation, Vec3 position, Shader shader);

struct Camera {
    Vec3 eye;
    Vec3 forward, right, up;
    double focal = 1;        // pixels per unit of sideways offset at unit distance
    double centreX = 0, centreY = 0;

    static Camera lookingAt(Vec3 eye, Vec3 target, double focal, double centreX, double centreY);
    Ray rayThrough(double px, double py) const;
};

// Average colour of the samples that hit a solid, and the share that did.
struct CoverageImage {
    int width = 0, height = 0;
    std::vector<Colour> colour;
    std::vector<double> coverage;
};

// The nearest solid the ray meets, if any, with its hit.
struct SceneHit {
    const Solid* solid = nullptr;
    SurfaceHit hit;
};
std::optional<SceneHit> nearestHit(const std::vector<Solid>& solids, const Ray& ray);

CoverageImage renderScene(const std::vector<Solid>& solids, const Camera& camera, int width,
                          int height, int samplesPerAxis);

// Ordered (4x4 Bayer) dithering of a colour in 0..255 onto the colour cube.
std::uint8_t ditherToCube(Colour c, int x, int y);

} // namespace buzonix::artgen
