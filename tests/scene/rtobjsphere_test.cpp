// Static and moving spheres: hits against a closed-form double reference and a brute-force search
// along the world line, path agreement, the bundles' time-offset and static-drawing rules,
// shading factors, boxes and properties.
#include "scene/rtobjsphere.h"

#include <gtest/gtest.h>

#include <memory>

#include "geometry/programmingerror.h"
#include "scene/dataelem.h"
#include "scene/rtobjplane.h"
#include "tests/scene/rtobjtesthelpers.h"

using namespace objtest;

namespace {

using StaticSphere = rtObjSphere<1>;
using MovingSphere = rtObjSphere<0>;

// Geometric ray-sphere test in double: closest approach tc along the ray, half chord from
// Pythagoras. The near root when inside the interval, else the far one.
struct SphereRef {
    bool real = false;
    double t0 = 0, t1 = 0, closest2 = 0;
};

SphereRef sphereReference(const Vec4f& center, double r, const SingleRay& ray) {
    SphereRef ref;
    const D3 d = d3(ray.dir), L = d3(center) - d3(ray.origin);
    const double dd = dot(d, d);
    const double tc = dot(L, d) / dd;
    ref.closest2 = dot(L, L) - tc * tc * dd;
    if (ref.closest2 > r * r) return ref;
    const double half = std::sqrt((r * r - ref.closest2) / dd);
    ref.real = true;
    ref.t0 = tc - half;
    ref.t1 = tc + half;
    return ref;
}

// Grazing rays and roots within 1e-3 of an interval end are left out: float and double may
// decide them differently.
bool tooCloseToCall(const SphereRef& ref, double r, const SingleRay& ray) {
    const double m = 1e-3 * (1 + std::fabs(ref.t1));
    auto nearEnd = [&](double t) {
        return std::fabs(t - ray.tMin) < m || std::fabs(t - ray.tMax) < m;
    };
    return std::fabs(ref.closest2 - r * r) < 1e-3 * r * r ||
           (ref.real && (nearEnd(ref.t0) || nearEnd(ref.t1)));
}

// First time T in (lo, hi) at which the moving sphere's surface meets the ray, found by sampling
// the squared gap f(T) and bisecting the first sign change. Sets ambiguous when the case is too
// close to grazing or to the window ends for a float computation to decide.
struct WorldLineHit {
    bool hit = false, ambiguous = false;
    double T = 0;
};

WorldLineHit bruteForceMoving(const MovingSphere& s, const SingleRay& ray) {
    WorldLineHit res;
    const D3 o = d3(ray.origin), d = d3(ray.dir), c = d3(s.center), mov = d3(s.mov);
    const double ow = ray.origin.w, r2 = double(s.radius) * s.radius;
    auto f = [&](double T) {
        const D3 gap = o + d * (T - ow) - (c + mov * (T - s.tmin));
        return dot(gap, gap) - r2;
    };
    const double lo = std::max<double>(s.tmin, ow + ray.tMin);
    const double hi = std::min<double>(s.tmax, ow + ray.tMax);
    if (!(lo < hi)) return res;
    const double eps = 1e-3 * r2;
    if (std::fabs(f(lo)) < eps || std::fabs(f(hi)) < eps) res.ambiguous = true;
    const int steps = 20000;
    double prev = f(lo), minF = prev;
    for (int i = 1; i <= steps; ++i) {
        const double T = lo + (hi - lo) * i / steps;
        const double cur = f(T);
        minF = std::min(minF, cur);
        if (!res.hit && (prev > 0) != (cur > 0)) {
            double a = lo + (hi - lo) * (i - 1) / steps, b = T;
            for (int k = 0; k < 80; ++k) {
                const double m = 0.5 * (a + b);
                if ((f(m) > 0) == (prev > 0))
                    a = m;
                else
                    b = m;
            }
            res.hit = true;
            res.T = 0.5 * (a + b);
        }
        prev = cur;
    }
    if (std::fabs(minF) < eps) res.ambiguous = true;
    return res;
}

StaticSphere staticSphere(const Vec4f& center, float radius) {
    StaticSphere s;
    s.center = center;
    s.radius = radius;
    s.update();
    return s;
}

MovingSphere movingSphere(const Vec4f& center, const Vec4f& mov, float radius, float tmin,
                          float tmax) {
    MovingSphere s;
    s.center = center;
    s.mov = mov;
    s.radius = radius;
    s.tmin = tmin;
    s.tmax = tmax;
    s.update();
    return s;
}

}  // namespace

// Hand-worked boxes: the static sphere's cube around the centre for the whole time range, the
// moving sphere's box over its swept path and lifetime.
TEST(RtObjSphere, BoxesCoverTheSphereAndTheSweptPath) {
    StaticSphere s = staticSphere(Vec4f(1, 2, 3, 4), 0.5f);
    expectBox(s.boundingBox(), {0.5f, 1.5f, 2.5f, 4 - 10000.0f}, {1.5f, 2.5f, 3.5f, 4 + 10000.0f});
    EXPECT_FLOAT_EQ(s.area, 6.0f);  // a unit cube's six faces

    // The centre ends at (5, 2, 1).
    MovingSphere m = movingSphere(Vec4f(1, 2, 3, 0), Vec4f(2, 0, -1, 0), 0.5f, 1, 3);
    expectBox(m.boundingBox(), {0.5f, 1.5f, 0.5f, 1}, {5.5f, 2.5f, 3.5f, 3});
    EXPECT_FLOAT_EQ(m.area, 46.0f);  // 2 (5 x 1 + 1 x 3 + 5 x 3)
}

TEST(RtObjSphere, StaticSingleRayHitsMatchDoubleReference) {
    Rng rng(777);
    int nearHits = 0, farHits = 0, misses = 0;
    for (int k = 0; k < 50; ++k) {
        StaticSphere s = staticSphere(rng.point(5.0, 5.0), float(rng.uni(0.2, 3.0)));
        for (int i = 0; i < 200; ++i) {
            Vec4f origin = rng.point(12.0, 5.0);
            if (i % 10 == 0)  // some rays start inside the sphere
                origin = s.center + rng.direction() * float(rng.uni(0, 0.9) * s.radius);
            const Vec4f aim = s.center + rng.direction() * float(rng.uni(0, 1.5) * s.radius);
            const Vec4f d = aim - origin;
            SingleRay r = makeRay(origin, unitDir(d.x, d.y, d.z));
            if (i % 3 == 0) r.tMax = float(rng.uni(1, 15));
            if (i % 4 == 0) r.tMin = float(rng.uni(0, 8));
            const SphereRef ref = sphereReference(s.center, s.radius, r);
            if (tooCloseToCall(ref, s.radius, r)) continue;
            double expected = -1;
            if (ref.real && r.tMin < ref.t0 && ref.t0 < r.tMax)
                expected = ref.t0, ++nearHits;
            else if (ref.real && r.tMin < ref.t1 && ref.t1 < r.tMax)
                expected = ref.t1, ++farHits;
            else
                ++misses;
            float t = hit1(s, r);
            EXPECT_EQ(s.occluded1(r), expected >= 0);
            float tAlt = kNoDistance;
            s.intersect1Alt(r, tAlt);
            EXPECT_EQ(t, tAlt);
            if (expected < 0) {
                ASSERT_EQ(t, kNoDistance) << "sphere " << k << " ray " << i;
                continue;
            }
            ASSERT_NE(t, kNoDistance) << "sphere " << k << " ray " << i;
            EXPECT_NEAR(t, expected, 2e-4 * (1 + expected));
            // The offset points from the centre to the reported hit point, 2^-19 as long.
            const D3 p = d3(r.origin) + d3(r.dir) * double(t);
            const D3 rel = p - d3(s.center);
            const D3 off = d3(r.hitOffset) * (1.0 / hitOffsetScale);
            EXPECT_LT(len(off - rel), 1e-5 * (1 + len(d3(r.origin)) + t));
            EXPECT_NEAR(len(off), s.radius, 3e-3 * s.radius);
            EXPECT_EQ(r.hitOffset.w, 0.0f);
        }
    }
    EXPECT_GT(nearHits, 1500);
    EXPECT_GT(farHits, 300);
    EXPECT_GT(misses, 1500);
}

// Bundles and single rays agree when the observer's time equals the sphere's center.w.
TEST(RtObjSphere, SingleFourAndSixteenRayPathsAgreeAtTheSphereTime) {
    Rng rng(4242);
    int compared = 0, hitLanes = 0;
    for (int k = 0; k < 80; ++k) {
        StaticSphere s = staticSphere(rng.point(5.0, 5.0), float(rng.uni(0.3, 3.0)));
        Vec4f origin = rng.point(12.0);
        if (k % 8 == 0) origin = s.center + rng.direction() * (0.5f * s.radius);
        origin.w = s.center.w;
        Vec4f dirs[16];
        for (Vec4f& d : dirs) {
            const Vec4f aim = s.center + rng.direction() * float(rng.uni(0, 1.4) * s.radius);
            const Vec4f v = aim - origin;
            d = unitDir(v.x, v.y, v.z);
        }
        const float tMax = float(rng.uni(3, 25));
        alignas(16) RayBundle16 b16, b16alt;
        makeBundle16(b16, origin, dirs, 0.0f, tMax);
        makeBundle16(b16alt, origin, dirs, 0.0f, tMax);
        LaneMask4 h16[4], h16alt[4];
        s.intersect16(b16, h16);
        s.intersect16Alt(b16alt, h16alt);
        EXPECT_EQ(combineMasks(h16), combineMasks(h16alt));
        for (int g = 0; g < 4; ++g) {
            alignas(16) RayBundle4 b4, b4alt;
            makeBundle4(b4, origin, &dirs[4 * g], 0.0f, tMax);
            makeBundle4(b4alt, origin, &dirs[4 * g], 0.0f, tMax);
            const int m4 = movemask(s.intersect4(b4));
            EXPECT_EQ(movemask(s.intersect4Alt(b4alt)), m4);
            for (int l = 0; l < 4; ++l) {
                SingleRay r = makeRay(origin, dirs[4 * g + l], 0.0f, tMax);
                if (tooCloseToCall(sphereReference(s.center, s.radius, r), s.radius, r)) continue;
                ++compared;
                float t = hit1(s, r);
                const bool hitSingle = t != kNoDistance;
                EXPECT_EQ(h16[g].lane(l), hitSingle);
                EXPECT_EQ(((m4 >> l) & 1) != 0, hitSingle);
                EXPECT_EQ(b16.live[g].lane(l), !hitSingle);
                if (!hitSingle) continue;
                ++hitLanes;
                EXPECT_NEAR(b16.tHit[g][l], t, 2e-4 * (1 + t));
                EXPECT_NEAR(b4.tHit[l], t, 2e-4 * (1 + t));
            }
        }
    }
    EXPECT_GT(compared, 1000);
    EXPECT_GT(hitLanes, 500);
}

// A static sphere exists at all times: an observer dt away from center.w sees it whole at every
// packet size (the time difference takes no part in the constant term).
TEST(RtObjSphere, ObserverTimeOffsetLeavesTheSphereWholeForEveryPacketSize) {
    StaticSphere s = staticSphere(Vec4f(0, 0, 10, 0), 1);
    const Vec4f o(0, 0, 0, 0.6f);
    const Vec4f central = unitDir(0, 0, 1), edge = unitDir(0, 0.9f, 10),
                outside = unitDir(0, 1.1f, 10);

    SingleRay r = makeRay(o, central);
    EXPECT_FLOAT_EQ(hit1(s, r), 9.0f);
    r = makeRay(o, edge);
    EXPECT_NE(hit1(s, r), kNoDistance);

    const Vec4f ds[4] = {central, edge, outside, edge};
    alignas(16) RayBundle4 b4;
    makeBundle4(b4, o, ds);
    EXPECT_EQ(movemask(s.intersect4(b4)), 0xb);
    EXPECT_NEAR(b4.tHit[0], 9.0f, 1e-5f);

    Vec4f d16[16];
    repeat16(ds, d16);
    alignas(16) RayBundle16 b16;
    makeBundle16(b16, o, d16);
    LaneMask4 hits[4];
    EXPECT_TRUE(s.intersect16(b16, hits));
    EXPECT_EQ(combineMasks(hits), 0xbbbb);
    // Closed form for the edge ray: t = 10 cos - sqrt(1 - 100 sin^2).
    const double sinA = 0.9 / std::sqrt(100.81), cosA = 10 / std::sqrt(100.81);
    EXPECT_NEAR(b16.tHit[1][1], 10 * cosA - std::sqrt(1 - 100 * sinA * sinA), 1e-4);
}

TEST(RtObjSphere, BundlesRespectTheIntervalAndNearerHits) {
    StaticSphere s = staticSphere(Vec4f(0, 0, 10, 0), 1);
    const Vec4f o(0, 0, 0, 0), d = unitDir(0, 0, 1);
    const Vec4f ds[4] = {d, d, d, d};
    alignas(16) RayBundle4 b;
    makeBundle4(b, o, ds);
    b.tHit = Vec4f(kNoHit, 8.5f, kNoHit, kNoHit);  // lane 1: something nearer already
    b.tMin = Vec4f(0, 0, 9.5f, 0);                 // lane 2: starts inside -> far root 11
    b.tMax = Vec4f(kFar, kFar, kFar, 9.0f);        // lane 3: ends exactly at the near root
    EXPECT_EQ(movemask(s.intersect4(b)), 0x5);
    EXPECT_EQ(movemask(b.live), 0xa);
    EXPECT_FLOAT_EQ(b.tHit[0], 9.0f);
    EXPECT_FLOAT_EQ(b.tHit[1], 8.5f);
    EXPECT_FLOAT_EQ(b.tHit[2], 11.0f);
    EXPECT_EQ(b.tHit[3], kNoHit);

    SingleRay r = makeRay(o, d, 9.0f, kFar);  // single rays are strict at the ends too
    EXPECT_FLOAT_EQ(hit1(s, r), 11.0f);
    r = makeRay(s.center, d);  // from the centre: the far root, offset along +z
    EXPECT_FLOAT_EQ(hit1(s, r), 1.0f);
    EXPECT_FLOAT_EQ(r.hitOffset.z, hitOffsetScale);
}

TEST(RtObjSphere, ShadingFactorsAndSurfaceCoordinates) {
    RecordingTexture tex;
    StaticSphere s;
    s.center = Vec4f(0, 0, 10, 0);
    s.radius = 2;
    s.texture = &tex;
    s.update();
    const Vec4f o(0, 0, 0, 0);
    const Vec4f d0 = unitDir(0, 0, 1), d1 = unitDir(0, 1, 10);

    // One ray: |(p - c).d| / r, u = v = 0.
    SingleRay r = makeRay(o, d1);
    r.u = r.v = 3;
    float t = hit1(s, r);
    ASSERT_NE(t, kNoDistance);
    s.shade1(r, t);
    const D3 p = d3(o) + d3(d1) * t;
    const double expected = std::fabs(dot(p - d3(s.center), d3(d1))) / 2.0;
    EXPECT_NEAR(tex.factor1, expected, 1e-5);
    EXPECT_EQ(tex.u1, 0.0f);
    EXPECT_EQ(tex.v1, 0.0f);

    // Bundles: ((c - o).d - tHit) / r, the same cosine from outside; only masked lanes get
    // u = v = 0.
    const Vec4f ds[4] = {d0, d1, d0, d1};
    alignas(16) RayBundle4 b4;
    makeBundle4(b4, o, ds);
    b4.u = b4.v = Vec4f(5.0f);
    ASSERT_EQ(movemask(s.intersect4(b4)), 0xf);
    s.shade4(b4, LaneMask4::fromBits(0x3));
    EXPECT_EQ(tex.mask4, 0x3);
    EXPECT_NEAR(tex.factor4[0], 1.0f, 1e-6);
    EXPECT_NEAR(tex.factor4[1], expected, 1e-5);
    EXPECT_EQ(tex.u4[0], 0.0f);
    EXPECT_EQ(tex.v4[1], 0.0f);
    EXPECT_EQ(b4.u[2], 5.0f);

    Vec4f d16[16];

    repeat16(ds, d16);
    alignas(16) RayBundle16 b16;
    makeBundle16(b16, o, d16);
    for (Vec4f& u : b16.u) u = Vec4f(5.0f);
    LaneMask4 hits[4];
    ASSERT_TRUE(s.intersect16(b16, hits));
    hits[2] = LaneMask4(false);
    s.shade16(b16, hits);
    EXPECT_EQ(tex.mask16, 0xf0ff);
    EXPECT_NEAR(tex.factor16[3][1], expected, 1e-5);
    EXPECT_EQ(tex.u16[3][1], 0.0f);
    EXPECT_EQ(b16.u[2][1], 5.0f);

    // Seen from inside, every packet size lights the sphere as from outside: the absolute
    // cosine, 1 for a ray from the centre.
    const Vec4f inside = s.center;
    makeBundle4(b4, inside, ds);
    ASSERT_EQ(movemask(s.intersect4(b4)), 0xf);
    s.shade4(b4, LaneMask4(true));
    EXPECT_NEAR(tex.factor4[0], 1.0f, 1e-6);
    makeBundle16(b16, inside, d16);
    ASSERT_TRUE(s.intersect16(b16, hits));
    s.shade16(b16, hits);
    EXPECT_NEAR(tex.factor16[2][1], 1.0f, 1e-6);
    r = makeRay(inside, d1);
    t = hit1(s, r);
    ASSERT_NE(t, kNoDistance);
    s.shade1(r, t);
    EXPECT_NEAR(tex.factor1, 1.0f, 1e-6);
}

TEST(RtObjSphere, MovingSphereMeetsTheRayAtTheRightTime) {
    // Worked by hand: centre z = 10 - 0.5 T, the ray's point z = T; contact when T = 9 - 0.5 T.
    MovingSphere s = movingSphere(Vec4f(0, 0, 10, 0), Vec4f(0, 0, -0.5f, 0), 1, 0, 100);
    SingleRay r = makeRay(Vec4f(0, 0, 0, 0), unitDir(0, 0, 1));
    EXPECT_FLOAT_EQ(hit1(s, r), 6.0f);
    EXPECT_NEAR(r.hitOffset.z, -hitOffsetScale, 1e-5 * hitOffsetScale);
    // The same ray sent at time 2 from z = 2 is the same world line: t = 4.
    r = makeRay(Vec4f(0, 0, 2, 2), unitDir(0, 0, 1));
    EXPECT_FLOAT_EQ(hit1(s, r), 4.0f);

    // The sphere has gone by T = 5; the far contact (T = 22/3) is out of its lifetime too.
    s.tmax = 5;
    s.update();
    r = makeRay(Vec4f(0, 0, 0, 0), unitDir(0, 0, 1));
    EXPECT_EQ(hit1(s, r), kNoDistance);
    EXPECT_FALSE(s.occluded1(r));
    // Created at T = 7 in the middle of the ray's path: met from inside at the far contact.
    s.tmin = 7;
    s.tmax = 100;
    s.center = Vec4f(0, 0, 10 - 3.5f, 0);
    s.update();
    EXPECT_NEAR(hit1(s, r), 22.0 / 3.0, 1e-5);
}

TEST(RtObjSphere, MovingSingleRayHitsMatchBruteForceSearch) {
    Rng rng(2024);
    int hits = 0, misses = 0;
    for (int k = 0; k < 40; ++k) {
        const Vec4f center = rng.point(5.0), mov = rng.direction() * float(rng.uni(0, 0.8));
        const float radius = float(rng.uni(0.3, 2.0)), tmin = float(rng.uni(-5, 5));
        MovingSphere s = movingSphere(center, mov, radius, tmin, tmin + float(rng.uni(0.5, 10)));
        for (int i = 0; i < 40; ++i) {
            // Aim at the sphere's position at a time around its lifetime.
            const double Tstar = rng.uni(s.tmin - 1.5, s.tmax + 1.5);
            const Vec4f target = s.center + s.mov * float(Tstar - s.tmin) +
                                 rng.direction() * float(rng.uni(0, 1.5) * s.radius);
            Vec4f origin = target + rng.direction() * float(rng.uni(3, 15));
            const Vec4f v = target - origin;
            origin.w = float(Tstar - len(d3(v)));
            SingleRay r = makeRay(origin, unitDir(v.x, v.y, v.z));
            if (i % 4 == 0) r.tMax = float(rng.uni(2, 15));
            if (i % 5 == 0) r.tMin = float(rng.uni(0, 4));
            const WorldLineHit ref = bruteForceMoving(s, r);
            if (ref.ambiguous) continue;
            float t = hit1(s, r);
            EXPECT_EQ(s.occluded1(r), ref.hit);
            if (!ref.hit) {
                ++misses;
                EXPECT_EQ(t, kNoDistance) << "sphere " << k << " ray " << i;
                continue;
            }
            ++hits;
            ASSERT_NE(t, kNoDistance) << "sphere " << k << " ray " << i;
            const double tExpected = ref.T - r.origin.w;
            EXPECT_NEAR(t, tExpected, 1e-3 * (1 + std::fabs(tExpected)));
            // The offset is taken from the centre at the time of the hit.
            const D3 p = d3(r.origin) + d3(r.dir) * tExpected;
            const D3 c = d3(s.center) + d3(s.mov) * (ref.T - s.tmin);
            const double gap = len(d3(r.hitOffset) * (1.0 / hitOffsetScale) - (p - c));
            EXPECT_LT(gap, 2e-3 * (1 + std::fabs(tExpected)));
        }
    }
    EXPECT_GT(hits, 300);
    EXPECT_GT(misses, 300);
}

TEST(RtObjSphere, MovingSphereWithEmptyLifetimeIsNeverHitBySingleRays) {
    Rng rng(5);
    MovingSphere s;
    s.center = Vec4f(0, 0, 5, 0);
    s.radius = 2;
    for (float span : {0.0f, -1.0f, -50.0f}) {
        s.tmin = 3;
        s.tmax = 3 + span;
        s.update();
        for (int i = 0; i < 500; ++i) {
            const Vec4f aim = s.center + rng.direction() * float(rng.uni(0, 1.9));
            Vec4f o = rng.point(10.0, 10.0);
            const Vec4f v = aim - o;
            SingleRay r = makeRay(o, unitDir(v.x, v.y, v.z));
            EXPECT_EQ(hit1(s, r), kNoDistance);
            EXPECT_FALSE(s.occluded1(r));
        }
    }
}

// Bundles meet the moving sphere in space-time as single rays do: against the brute-force world
// line search, 16-ray packets from a shared origin and 4-ray packets whose lanes start from
// their own points and times hit the same lanes at the same distances.
TEST(RtObjSphere, MovingSphereBundlesMatchBruteForceSearch) {
    Rng rng(31);
    int compared = 0, hitLanes = 0;
    for (int k = 0; k < 40; ++k) {
        const Vec4f center = rng.point(5.0), mov = rng.direction() * float(rng.uni(0, 0.8));
        const float radius = float(rng.uni(0.3, 2.0)), tmin = float(rng.uni(-5, 5));
        MovingSphere s = movingSphere(center, mov, radius, tmin, tmin + float(rng.uni(0.5, 10)));
        const double Tstar = rng.uni(s.tmin - 1, s.tmax + 1);
        const Vec4f middle = s.center + s.mov * float(Tstar - s.tmin);
        Vec4f shared = middle + rng.direction() * float(rng.uni(3, 12));
        shared.w = float(Tstar - len(d3(middle - shared)));
        Vec4f origins[16], dirs[16];
        for (int i = 0; i < 16; ++i) {
            origins[i] = shared;
            if (k % 2) {  // own origins, as the lanes of a bent path have
                origins[i] = shared + rng.direction() * float(rng.uni(0, 1.5));
                origins[i].w = shared.w + float(rng.uni(-0.5, 0.5));
            }
            const Vec4f v = middle + rng.direction() * float(rng.uni(0, 1.5) * radius) - origins[i];
            dirs[i] = unitDir(v.x, v.y, v.z);
        }
        alignas(16) RayBundle16 b16;
        makeBundle16(b16, shared, dirs);
        LaneMask4 h16[4];
        s.intersect16(b16, h16);
        for (int g = 0; g < 4; ++g) {
            alignas(16) RayBundle4 b4;
            makeBundle4(b4, &origins[4 * g], &dirs[4 * g]);
            const int m4 = movemask(s.intersect4(b4));
            for (int l = 0; l < 4; ++l) {
                const int i = 4 * g + l;
                const WorldLineHit own = bruteForceMoving(s, makeRay(origins[i], dirs[i]));
                const WorldLineHit common = bruteForceMoving(s, makeRay(shared, dirs[i]));
                if (!own.ambiguous) {
                    ++compared;
                    EXPECT_EQ(((m4 >> l) & 1) != 0, own.hit) << "sphere " << k << " lane " << i;
                    if (own.hit) {
                        ++hitLanes;
                        const double t = own.T - origins[i].w;
                        EXPECT_NEAR(b4.tHit[l], t, 1e-3 * (1 + std::fabs(t)));
                    }
                }
                if (!common.ambiguous) {
                    EXPECT_EQ(h16[g].lane(l), common.hit) << "sphere " << k << " lane " << i;
                    if (common.hit)
                        EXPECT_NEAR(b16.tHit[g][l], common.T - shared.w,
                                    1e-3 * (1 + std::fabs(common.T - shared.w)));
                }
            }
        }
    }
    EXPECT_GT(compared, 400);
    EXPECT_GT(hitLanes, 150);
}

TEST(RtObjSphere, MovingShadeUsesTheCentreAtTheHitTime) {
    RecordingTexture tex;
    MovingSphere s = movingSphere(Vec4f(0, 0, 10, 0), Vec4f(0.5f, 0, 0, 0), 1, 0, 100);
    s.texture = &tex;
    // Aimed at the centre's position at T = 9: it meets the surface straight on there.
    SingleRay r = makeRay(Vec4f(4.5f, 0, 0, 0), unitDir(0, 0, 1));
    float t = hit1(s, r);
    ASSERT_NEAR(t, 9.0f, 1e-5);
    r.u = r.v = 2;
    s.shade1(r, t);
    EXPECT_NEAR(tex.factor1, 1.0f, 1e-5);  // with the centre at tmin it would be about 0.44
    EXPECT_EQ(tex.u1, 0.0f);
    EXPECT_EQ(tex.v1, 0.0f);
    // Bundles likewise.
    const Vec4f ds[4] = {r.dir, r.dir, r.dir, r.dir};
    alignas(16) RayBundle4 b4;
    makeBundle4(b4, r.origin, ds);
    ASSERT_EQ(movemask(s.intersect4(b4)), 0xf);
    s.shade4(b4, LaneMask4(true));
    EXPECT_NEAR(tex.factor4[2], 1.0f, 1e-5);
}

TEST(RtObjSphere, PropertiesInFileOrderWithDefaults) {
    StaticSphere s;
    EXPECT_EQ(propertyText(s), "name=|center=0;0;0;0|radius=0.5|texname=");
    MovingSphere m;
    EXPECT_EQ(propertyText(m),
              "name=|center=0;0;0;0|tmin=0|tmax=0|mov=0;0;0;0|radius=0.5|texname=");
}

// A clone is a separate moving sphere with the derived fields; copying between kinds is refused.
TEST(RtObjSphere, CloneIsIndependentAndCopyAcrossKindsIsRefused) {
    MovingSphere m;
    m.name = "ball";
    m.mov = Vec4f(0.1f, 0, 0, 0);
    m.tmin = -1;
    m.radius = 2;
    m.update();
    std::unique_ptr<rtObjBase> c(m.clone());
    auto* q = dynamic_cast<MovingSphere*>(c.get());
    ASSERT_NE(q, nullptr);
    m.radius = 7;
    m.update();
    EXPECT_EQ(q->name, "ball");
    EXPECT_FLOAT_EQ(q->mov.x, 0.1f);
    EXPECT_FLOAT_EQ(q->radius2, 4.0f);
    EXPECT_FLOAT_EQ(q->box.min.w, -1.0f);
    StaticSphere s;
    EXPECT_THROW(s.copyFrom(m), ProgrammingError);
    rtObjPlane p;
    EXPECT_THROW(p.copyFrom(m), ProgrammingError);
}
