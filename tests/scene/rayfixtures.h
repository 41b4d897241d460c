// Rays, bundles and random directions for the scene objects' tests.
#pragma once

#include <cmath>
#include <cstring>
#include <random>

#include "geometry/raybundle.h"

namespace testrays {

constexpr float kFar = 1e6f;

// Unit x, y, z with w = 0.
inline Vec4f unitDir(const Vec4f& d) {
    const float l = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    return Vec4f(d.x / l, d.y / l, d.z / l, 0.0f);
}

inline SingleRay makeRay(const Vec4f& origin, const Vec4f& dir, float tMin = 0.0f,
                         float tMax = kFar) {
    SingleRay r;
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    r.origin = origin;
    r.dir = Vec4f(dir.x, dir.y, dir.z, 1.0f);
    r.invDir = Vec4f(1.0f / dir.x, 1.0f / dir.y, 1.0f / dir.z, 1.0f);
    r.tMin = tMin;
    r.tMax = tMax;
    r.doppler = 1.0f;
    return r;
}

// Four rays, each with its own origin; all lanes live, tHit = kNoHit.
inline void makeBundle4(RayBundle4& b, const Vec4f origins[4], const Vec4f dirs[4],
                        float tMin = 0.0f, float tMax = kFar) {
    std::memset(static_cast<void*>(&b), 0, sizeof b);
    for (int l = 0; l < 4; ++l) {
        b.origin[l] = origins[l];
        for (int c = 0; c < 4; ++c) b.originSoA[c][l] = origins[l][c];
        for (int c = 0; c < 3; ++c) {
            b.dir[c][l] = dirs[l][c];
            b.invDir[c][l] = 1.0f / dirs[l][c];
        }
    }
    b.dir[3] = b.invDir[3] = Vec4f(1.0f);
    b.live = LaneMask4(true);
    b.tHit = Vec4f(kNoHit);
    b.tMin = Vec4f(tMin);
    b.tMax = Vec4f(tMax);
    b.doppler = Vec4f(1.0f);
}

// Sixteen rays from one origin (a camera bundle); ray i is lane i % 4 of group i / 4.
inline void makeBundle16(RayBundle16& b, const Vec4f& origin, const Vec4f dirs[16],
                         float tMin = 0.0f, float tMax = kFar) {
    std::memset(static_cast<void*>(&b), 0, sizeof b);
    for (int i = 0; i < 16; ++i) {
        const int g = i / 4, l = i % 4;
        b.origin[i] = origin;
        for (int c = 0; c < 4; ++c) b.originSoA[g][c][l] = origin[c];
        b.dir[g].x[l] = dirs[i].x;
        b.dir[g].y[l] = dirs[i].y;
        b.dir[g].z[l] = dirs[i].z;
        b.invDir[g].x[l] = 1.0f / dirs[i].x;
        b.invDir[g].y[l] = 1.0f / dirs[i].y;
        b.invDir[g].z[l] = 1.0f / dirs[i].z;
    }
    for (int g = 0; g < 4; ++g) {
        b.live[g] = LaneMask4(true);
        b.tHit[g] = Vec4f(kNoHit);
        b.tMin[g] = Vec4f(tMin);
        b.tMax[g] = Vec4f(tMax);
        b.doppler[g] = Vec4f(1.0f);
    }
}

// Uniform doubles, points and unit directions from a seeded engine.
struct Rng {
    std::mt19937 engine;
    double uni(double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(engine);
    }
    Vec4f point(double extent, double wExtent = 0.0) {
        return Vec4f(float(uni(-extent, extent)), float(uni(-extent, extent)),
                     float(uni(-extent, extent)), float(wExtent > 0 ? uni(-wExtent, wExtent) : 0));
    }
    Vec4f direction() {
        for (;;) {
            const Vec4f d(float(uni(-1, 1)), float(uni(-1, 1)), float(uni(-1, 1)), 0.0f);
            const float l2 = d.x * d.x + d.y * d.y + d.z * d.z;
            if (l2 > 0.01f && l2 <= 1.0f) return unitDir(d);
        }
    }
};

}  // namespace testrays
