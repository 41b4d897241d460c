// Single rays for the moving bodies' tests: from an event along a direction or towards a point,
// random aims inside a sphere, and random velocities for the bodies.
#pragma once

#include <cmath>
#include <random>

#include "geometry/raybundle.h"

namespace bodyrays {

// A ray from the event o along the unit direction d, over every distance ahead.
inline SingleRay rayFrom(const Vec4f& o, const Vec4f& d) {
    SingleRay ray{};
    ray.origin = o;
    ray.dir = d;
    ray.invDir = Vec4f(1.0f / d.x, 1.0f / d.y, 1.0f / d.z, 1.0f);
    ray.tMin = 0.0f;
    ray.tMax = 1e30f;
    return ray;
}

// A ray from the event `from` towards the point `to` (whose time is ignored).
inline SingleRay rayTowards(const Vec4f& from, const Vec4f& to) {
    Vec4f d = to - from;
    d.w = 0.0f;
    d = d * (1.0f / std::sqrt(dot3(d, d)));
    d.w = 1.0f;
    return rayFrom(from, d);
}

// A random offset of up to half the radius along each axis: aims inside a sphere.
inline Vec4f inside(std::mt19937& rng, float radius) {
    std::uniform_real_distribution<float> unit(-0.5f, 0.5f);
    return Vec4f(unit(rng), unit(rng), unit(rng), 0.0f) * radius;
}

// A velocity in a random direction at a random speed from slowest to fastest (in units of the
// speed of light); draws the direction first, then the speed.
inline Vec4f randomVelocity(std::mt19937& rng, double slowest, double fastest) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0), zeroOne(0.0, 1.0);
    const Vec4f v(float(unit(rng)), float(unit(rng)), float(unit(rng)), 0.0f);
    const double speed = slowest + (fastest - slowest) * zeroOne(rng);
    return v * float(speed / std::sqrt(dot3(v, v)));
}

}  // namespace bodyrays
