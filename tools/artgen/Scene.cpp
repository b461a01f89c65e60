#include "Scene.h"

#include <algorithm>
#include <limits>

namespace buzonix::artgen {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Clips a ray against the half-spaces and curved sides of one convex solid,
// remembering which boundary the ray entered through.
class ConvexClip {
public:
    explicit ConvexClip(const Ray& ray) : ray_(ray) {}

    // The slab lo <= component <= hi along `axis` (0 x, 1 y, 2 z).
    void slab(int axis, double lo, double hi) {
        const double o = component(ray_.origin, axis);
        const double d = component(ray_.direction, axis);
        if (d == 0) {
            if (o < lo || o > hi) empty_ = true;
            return;
        }
        double tLo = (lo - o) / d, tHi = (hi - o) / d;
        Vec3 normal = axisVector(axis, d > 0 ? -1.0 : 1.0);
        if (tLo > tHi) std::swap(tLo, tHi);
        enter(tLo, normal);
        exit(tHi);
    }

    // The inside of the cylinder y^2 + z^2 <= r^2 about the x axis.
    void cylinderAboutX(double r) {
        const Vec3 o = ray_.origin, d = ray_.direction;
        const double a = d.y * d.y + d.z * d.z;
        const double c = o.y * o.y + o.z * o.z - r * r;
        if (a == 0) {
            if (c > 0) empty_ = true;
            return;
        }
        const double b = o.y * d.y + o.z * d.z;
        const double disc = b * b - a * c;
        if (disc < 0) {
            empty_ = true;
            return;
        }
        const double root = std::sqrt(disc);
        const double t0 = (-b - root) / a, t1 = (-b + root) / a;
        const Vec3 p = o + d * t0;
        enter(t0, Vec3{0, p.y / r, p.z / r});
        exit(t1);
    }

    std::optional<SurfaceHit> hit() const {
        if (empty_ || tEnter_ > tExit_ || tEnter_ <= 1e-9 || tEnter_ == -kInfinity) return std::nullopt;
        SurfaceHit h;
        h.distance = tEnter_;
        h.localPoint = ray_.origin + ray_.direction * tEnter_;
        h.localNormal = normal_;
        return h;
    }

private:
    static double component(Vec3 v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }
    static Vec3 axisVector(int axis, double sign) {
        return axis == 0 ? Vec3{sign, 0, 0} : axis == 1 ? Vec3{0, sign, 0} : Vec3{0, 0, sign};
    }
    void enter(double t, Vec3 normal) {
        if (t > tEnter_) {
            tEnter_ = t;
            normal_ = normal;
        }
    }
    void exit(double t) { tExit_ = std::min(tExit_, t); }

    Ray ray_;
    double tEnter_ = -kInfinity, tExit_ = kInfinity;
    Vec3 normal_;
    bool empty_ = false;
};

std::optional<SurfaceHit> intersectBox(const BoxShape& box, const Ray& ray) {
    ConvexClip clip(ray);
    clip.slab(0, -box.half.x, box.half.x);
    clip.slab(1, -box.half.y, box.half.y);
    clip.slab(2, -box.half.z, box.half.z);
    return clip.hit();
}

// The union of the walls and the arched roof: both are convex and the roof
// covers the top of the walls, so the nearer entry is the visible one.
std::optional<SurfaceHit> intersectArched(const ArchedShape& shape, const Ray& ray) {
    ConvexClip walls(ray);
    walls.slab(0, -shape.halfLength, shape.halfLength);
    walls.slab(1, -shape.wallHeight, 0);
    walls.slab(2, -shape.radius, shape.radius);
    ConvexClip roof(ray);
    roof.slab(0, -shape.halfLength, shape.halfLength);
    roof.slab(1, 0, shape.radius);
    roof.cylinderAboutX(shape.radius);
    std::optional<SurfaceHit> a = walls.hit(), b = roof.hit();
    if (!a) return b;
    if (!b) return a;
    return a->distance <= b->distance ? a : b;
}

Solid placeSolid(std::function<std::optional<SurfaceHit>(const Ray&)> intersect, Mat3 rotation,
                 Vec3 position, Shader shader) {
    Solid solid;
    solid.rotation = rotation;
    solid.position = position;
    solid.intersect = std::move(intersect);
    solid.shader = std::move(shader);
    return solid;
}

std::optional<SurfaceHit> hitSolid(const Solid& solid, const Ray& ray) {
    const Mat3 toLocal = solid.rotation.transposed();
    const Ray local{toLocal * (ray.origin - solid.position), toLocal * ray.direction};
    std::optional<SurfaceHit> hit = solid.intersect(local);
    if (hit) hit->worldNormal = solid.rotation * hit->localNormal;
    return hit;
}

} // namespace

Solid makeSolid(BoxShape shape, Mat3 rotation, Vec3 position, Shader shader) {
    return placeSolid([shape](const Ray& r) { return intersectBox(shape, r); }, rotation, position,
                      std::move(shader));
}

Solid makeSolid(ArchedShape shape, Mat3 rotation, Vec3 position, Shader shader) {
    return placeSolid([shape](const Ray& r) { return intersectArched(shape, r); }, rotation,
                      position, std::move(shader));
}

Camera Camera::lookingAt(Vec3 eye, Vec3 target, double focal, double centreX, double centreY) {
    Camera camera;
    camera.eye = eye;
    camera.forward = normalized(target - eye);
    camera.right = normalized(cross(camera.forward, Vec3{0, 1, 0}));
    camera.up = cross(camera.right, camera.forward);
    camera.focal = focal;
    camera.centreX = centreX;
    camera.centreY = centreY;
    return camera;
}

Ray Camera::rayThrough(double px, double py) const {
    const Vec3 d = forward * focal + right * (px - centreX) + up * (centreY - py);
    return {eye, normalized(d)};
}

std::optional<SceneHit> nearestHit(const std::vector<Solid>& solids, const Ray& ray) {
    std::optional<SceneHit> nearest;
    for (const Solid& solid : solids) {
        std::optional<SurfaceHit> hit = hitSolid(solid, ray);
        if (hit && (!nearest || hit->distance < nearest->hit.distance)) nearest = SceneHit{&solid, *hit};
    }
    return nearest;
}

CoverageImage renderScene(const std::vector<Solid>& solids, const Camera& camera, int width,
                          int height, int samplesPerAxis) {
    CoverageImage out;
    out.width = width;
    out.height = height;
    out.colour.assign(static_cast<std::size_t>(width) * height, Colour{});
    out.coverage.assign(static_cast<std::size_t>(width) * height, 0.0);
    const double step = 1.0 / samplesPerAxis;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Colour sum;
            int hits = 0;
            for (int j = 0; j < samplesPerAxis; ++j) {
                for (int i = 0; i < samplesPerAxis; ++i) {
                    const Ray ray = camera.rayThrough(x + (i + 0.5) * step, y + (j + 0.5) * step);
                    const std::optional<SceneHit> seen = nearestHit(solids, ray);
                    if (!seen) continue;
                    const Colour c = seen->solid->shader(seen->hit, -ray.direction);
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                    ++hits;
                }
            }
            const std::size_t at = static_cast<std::size_t>(y) * width + x;
            if (hits > 0) {
                out.colour[at] = {sum.r / hits, sum.g / hits, sum.b / hits};
                out.coverage[at] = static_cast<double>(hits) / (samplesPerAxis * samplesPerAxis);
            }
        }
    }
    return out;
}

std::uint8_t ditherToCube(Colour c, int x, int y) {
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    const double threshold = (bayer[y & 3][x & 3] + 0.5) / 16.0;
    auto level = [threshold](double v) {
        const int l = static_cast<int>(std::floor(v / 51.0 + threshold));
        return std::clamp(l, 0, 5);
    };
    return cubeIndex(level(c.r), level(c.g), level(c.b));
}

} // namespace buzonix::artgen
