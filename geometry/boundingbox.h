// Axis-aligned box in space and time: the extent of an object for the kd-tree and of the scene
// for clipping primary rays.
#pragma once

#include <cmath>

#include "geometry/vec4f.h"

struct alignas(16) BoundingBox {
    Vec4f min;
    Vec4f max;

    BoundingBox() = default;
    BoundingBox(const Vec4f& lo, const Vec4f& hi) : min(lo), max(hi) {}

    // The box of a scene without objects.
    static BoundingBox emptyScene() {
        return BoundingBox(Vec4f(0, 0, 0, 0), Vec4f(1, 1, 1, 1));
    }

    // The box that contains every point (infinite bounds).
    static BoundingBox everywhere() {
        const float inf = __builtin_inff();
        return BoundingBox(Vec4f(-inf, -inf, -inf, -inf), Vec4f(inf, inf, inf, inf));
    }

    // Union over all four components, time included.
    void unite(const BoundingBox& o) {
        min = ::min(min, o.min);
        max = ::max(max, o.max);
    }

    // Surface area of the spatial box, 2 (dx dy + dy dz + dx dz), in double precision.
    float surfaceArea() const {
        const double dx = double(max.x) - double(min.x);
        const double dy = double(max.y) - double(min.y);
        const double dz = double(max.z) - double(min.z);
        return float(2.0 * (dx * dy + dy * dz + dx * dz));
    }
};

static_assert(sizeof(BoundingBox) == 32, "BoundingBox is min then max");

// Whether the box's spatial extent (x, y, z) is finite; the time extent w may be anything.
inline bool hasFiniteExtent(const BoundingBox& b) {
    for (int a = 0; a < 3; ++a)
        if (!std::isfinite(b.min[a]) || !std::isfinite(b.max[a])) return false;
    return true;
}
