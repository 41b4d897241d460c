// Hit bounds of planes and spheres: every hit that a 16-ray bundle test accepts lies inside them
// (the traversal skips objects whose bounds miss a bundle), and they stay tight enough to skip.
#include <gtest/gtest.h>

#include <random>

#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "tests/scene/rtobjtesthelpers.h"

using namespace objtest;

namespace {

bool inside(const BoundingBox& b, const D3& p) {
    return p.x >= b.min.x && p.x <= b.max.x && p.y >= b.min.y && p.y <= b.max.y &&
           p.z >= b.min.z && p.z <= b.max.z;
}

Vec4f randomUnit(std::mt19937& rng) {
    std::normal_distribution<float> n(0.0f, 1.0f);
    return unitDir(n(rng), n(rng), n(rng));
}

struct Tally {
    int accepted = 0;
    int outsideBox = 0;  // accepted hits outside the object's own bounding box
};

// Sixteen rays from origin towards targets; checks every accepted hit against the hit bounds.
void shoot(const rtObjBase& obj, const Vec4f& origin, const Vec4f targets[16], Tally& tally) {
    Vec4f dirs[16];
    for (int i = 0; i < 16; ++i) {
        const Vec4f d = targets[i] - origin;
        dirs[i] = unitDir(d.x, d.y, d.z);
    }
    RayBundle16 b;
    makeBundle16(b, origin, dirs);
    LaneMask4 hits[4];
    obj.intersect16(b, hits);
    for (int i = 0; i < 16; ++i) {
        if (!hits[i / 4].lane(i % 4)) continue;
        ++tally.accepted;
        const D3 p = d3(origin) + d3(dirs[i]) * double(b.tHit[i / 4][i % 4]);
        EXPECT_TRUE(inside(obj.hitBounds, p))
            << "hit (" << p.x << ", " << p.y << ", " << p.z << ") outside the hit bounds";
        if (!inside(obj.box, p)) ++tally.outsideBox;
    }
}

}  // namespace

// Planes with perpendicular and with skewed edges. For skewed edges the bundle test's region
// (0 < (p - pos).xs < sx, 0 < (p - pos).ys < sy) is not the parallelogram itself, so some
// accepted hits lie outside the plane's own box: the hit bounds must cover them.
TEST(HitBounds, AcceptedPlaneHitsLieInsideForPerpendicularAndSkewedEdges) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> coord(-50.0f, 50.0f), len(0.5f, 20.0f),
        angle(0.35f, 2.8f), unit(0.0f, 1.0f), reps(1.0f, 6.0f);
    Tally skewed, square;
    for (int k = 0; k < 200; ++k) {
        rtObjPlane plane;
        plane.pos = Vec4f(coord(rng), coord(rng), coord(rng), 0.0f);
        const Vec4f a = randomUnit(rng);
        Vec4f c = cross3(a, randomUnit(rng));
        c = c * (1.0f / std::sqrt(dot3(c, c)));
        const Vec4f b = cross3(c, a);  // a, b perpendicular unit vectors in the plane
        const bool skew = k % 2 == 1;
        const float phi = skew ? angle(rng) : 1.5707964f;
        plane.x = a * len(rng);
        plane.y = (a * std::cos(phi) + b * std::sin(phi)) * len(rng);
        plane.x.w = plane.y.w = 0.0f;
        plane.sx = reps(rng);
        plane.sy = reps(rng);
        plane.update();
        const Vec4f origin(coord(rng), coord(rng), coord(rng), 0.0f);
        plane.prepareForOrigin(origin);
        for (int shot = 0; shot < 8; ++shot) {
            Vec4f targets[16];
            for (Vec4f& t : targets) {
                // Around and beyond the parallelogram, up to half an edge outside it.
                const float u = 2.0f * unit(rng) - 0.5f, v = 2.0f * unit(rng) - 0.5f;
                t = plane.pos + plane.x * u + plane.y * v;
            }
            shoot(plane, origin, targets, skew ? skewed : square);
        }
    }
    EXPECT_GT(square.accepted, 1000);
    EXPECT_GT(skewed.accepted, 1000);
    EXPECT_GT(skewed.outsideBox, 0);
}

TEST(HitBounds, AcceptedSphereHitsLieInsideEvenForGrazingRays) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> coord(-200.0f, 200.0f), radius(0.01f, 30.0f),
        jitter(-1e-5f, 1e-5f);
    Tally tally;
    for (int k = 0; k < 300; ++k) {
        rtObjSphere<1> s;
        s.center = Vec4f(coord(rng), coord(rng), coord(rng), 0.0f);
        s.radius = radius(rng);
        s.update();
        const Vec4f origin(coord(rng), coord(rng), coord(rng), 0.0f);
        const Vec4f toCenter = s.center - origin;
        if (std::sqrt(dot3(toCenter, toCenter)) < 2.0f * s.radius) continue;
        Vec4f targets[16];
        for (Vec4f& t : targets) {
            // Points on the silhouette circle seen from the origin, pushed out or in by 1e-5
            // of the radius: rays that touch the sphere at its rim.
            Vec4f side = cross3(toCenter, randomUnit(rng));
            side = side * (1.0f / std::sqrt(dot3(side, side)));
            t = s.center + side * (s.radius * (1.0f + jitter(rng)));
        }
        shoot(s, origin, targets, tally);
    }
    EXPECT_GT(tally.accepted, 500);
}

// Bundles meet a moving sphere along its whole path: its hit bounds cover the swept box.
TEST(HitBounds, MovingSphereBoundsCoverTheSweptBox) {
    rtObjSphere<0> s;
    s.center = Vec4f(1, 2, 3, 0);
    s.radius = 0.5f;
    s.mov = Vec4f(10, 0, 0, 0);
    s.tmin = 0.0f;
    s.tmax = 2.0f;
    s.update();
    for (int k = 0; k < 3; ++k) {
        EXPECT_LE(s.hitBounds.min[k], s.box.min[k]);
        EXPECT_GE(s.hitBounds.max[k], s.box.max[k]);
    }
    EXPECT_GT(s.hitBounds.max.x, 21.5f);
    EXPECT_LT(s.hitBounds.max.x, 21.6f);  // still tight
}

// Tight enough to skip: an axis-aligned plane's bounds are its rectangle grown by the margin;
// time components in the edges, or nearly parallel edges, give no bounds at all.
TEST(HitBounds, PlaneBoundsAreTightOrAbsent) {
    rtObjPlane p;
    p.pos = Vec4f(1, 2, 3, 0);
    p.x = Vec4f(2, 0, 0, 0);
    p.y = Vec4f(0, 0, 3, 0);
    p.update();
    const float m = kHitBoundsMargin * (1.0f + 6.0f);
    EXPECT_NEAR(p.hitBounds.min.x, 1.0f - m, 1e-4f);
    EXPECT_NEAR(p.hitBounds.max.x, 3.0f + m, 1e-4f);
    EXPECT_NEAR(p.hitBounds.min.y, 2.0f - m, 1e-4f);
    EXPECT_NEAR(p.hitBounds.max.y, 2.0f + m, 1e-4f);
    EXPECT_NEAR(p.hitBounds.max.z, 6.0f + m, 1e-4f);

    rtObjPlane timed = p;
    timed.x.w = 1.0f;
    timed.update();
    EXPECT_TRUE(std::isinf(timed.hitBounds.min.x) && std::isinf(timed.hitBounds.max.z));

    rtObjPlane sliver = p;
    sliver.y = Vec4f(2, 0, 0.001f, 0);
    sliver.update();
    EXPECT_TRUE(std::isinf(sliver.hitBounds.min.x));
}
