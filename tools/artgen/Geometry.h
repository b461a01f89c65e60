#pragma once
// Minimal 3-D maths for the ray-cast artwork. Rotations are given by their
// cosine and sine, built only from + - * / and sqrt, so the output is the same
// bit for bit wherever IEEE doubles are used (no libm transcendental calls).
#include <cmath>

namespace buzonix::artgen {

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(Vec3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(Vec3 a) { return std::sqrt(dot(a, a)); }
inline Vec3 normalized(Vec3 a) { return a * (1.0 / length(a)); }

// A rotation angle held as its cosine and sine.
struct Turn {
    double c = 1, s = 0;
};

// The angle of the direction (x, y), measured from the x axis.
inline Turn turnToward(double x, double y) {
    const double r = std::sqrt(x * x + y * y);
    return {x / r, y / r};
}

// Multiples of 30 degrees, exactly as the frame table steps them.
inline Turn turnOfSteps30(int steps) {
    const double h = std::sqrt(3.0) / 2;
    static const double cosines[12] = {1, h, 0.5, 0, -0.5, -h, -1, -h, -0.5, 0, 0.5, h};
    const int k = ((steps % 12) + 12) % 12;
    return {cosines[k], cosines[(k + 9) % 12]};    // sin(a) = cos(a - 90)
}

struct Mat3 {
    Vec3 row0{1, 0, 0}, row1{0, 1, 0}, row2{0, 0, 1};

    Vec3 operator*(Vec3 v) const { return {dot(row0, v), dot(row1, v), dot(row2, v)}; }
    Mat3 transposed() const {
        return {{row0.x, row1.x, row2.x}, {row0.y, row1.y, row2.y}, {row0.z, row1.z, row2.z}};
    }
    Mat3 operator*(const Mat3& m) const {
        const Mat3 t = m.transposed();
        return {{dot(row0, t.row0), dot(row0, t.row1), dot(row0, t.row2)},
                {dot(row1, t.row0), dot(row1, t.row1), dot(row1, t.row2)},
                {dot(row2, t.row0), dot(row2, t.row1), dot(row2, t.row2)}};
    }
};

// Turn about the vertical axis; a positive turn swings +z toward +x.
inline Mat3 aboutVertical(Turn t) { return {{t.c, 0, t.s}, {0, 1, 0}, {-t.s, 0, t.c}}; }
// Turn about the viewing axis; a positive turn swings +x toward +y.
inline Mat3 aboutDepth(Turn t) { return {{t.c, -t.s, 0}, {t.s, t.c, 0}, {0, 0, 1}}; }
// Turn about the horizontal axis; a positive turn swings +y toward +z.
inline Mat3 aboutHorizontal(Turn t) { return {{1, 0, 0}, {0, t.c, -t.s}, {0, t.s, t.c}}; }

} // namespace buzonix::artgen
