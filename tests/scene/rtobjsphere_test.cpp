// Static and moving spheres: hits of moving spheres against a brute-force search along the world
// line, the bundles' time-offset rule and boxes. Static hits and shading against the double
// reference at every packet size are in the object contract test.
#include "scene/rtobjsphere.h"

#include <gtest/gtest.h>

#include "tests/scene/rtobjtesthelpers.h"

using namespace objtest;

namespace {

using StaticSphere = rtObjSphere<1>;
using MovingSphere = rtObjSphere<0>;

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

// The shading factor of a hit at absolute time T: |cos| between the ray and the normal of the
// sphere whose centre is where it is at T.
double movingCosine(const MovingSphere& s, const Vec4f& origin, const Vec4f& dir, double T) {
    const D3 p = d3(origin) + d3(dir) * (T - origin.w);
    const D3 c = d3(s.center) + d3(s.mov) * (T - s.tmin);
    return std::fabs(dot(p - c, d3(dir))) / s.radius;
}

}  // namespace

// Hand-worked boxes: the static sphere's cube around the centre for the whole time range, the
// moving sphere's box over its swept path (the centre ends at (5, 2, 1)) and lifetime.
TEST(RtObjSphere, BoxesCoverTheSphereAndTheSweptPath) {
    const auto expectBox = [](const BoundingBox& b, Vec4f lo, Vec4f hi, float area, float got) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_FLOAT_EQ(b.min[c], lo[c]) << c;
            EXPECT_FLOAT_EQ(b.max[c], hi[c]) << c;
        }
        EXPECT_FLOAT_EQ(got, area);
    };
    StaticSphere s = staticSphere(Vec4f(1, 2, 3, 4), 0.5f);
    expectBox(s.boundingBox(), Vec4f(0.5f, 1.5f, 2.5f, 4 - 10000.0f),
              Vec4f(1.5f, 2.5f, 3.5f, 4 + 10000.0f), 6.0f, s.area);
    MovingSphere m = movingSphere(Vec4f(1, 2, 3, 0), Vec4f(2, 0, -1, 0), 0.5f, 1, 3);
    expectBox(m.boundingBox(), Vec4f(0.5f, 1.5f, 0.5f, 1), Vec4f(5.5f, 2.5f, 3.5f, 3),
              46.0f /* 2 (5 x 1 + 1 x 3 + 5 x 3) */, m.area);
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
    for (int i = 0; i < 16; ++i) d16[i] = ds[i % 4];
    alignas(16) RayBundle16 b16;
    makeBundle16(b16, o, d16);
    LaneMask4 hits[4];
    EXPECT_TRUE(s.intersect16(b16, hits));
    EXPECT_EQ(combineMasks(hits), 0xbbbb);
    // Closed form for the edge ray: t = 10 cos - sqrt(1 - 100 sin^2).
    const double sinA = 0.9 / std::sqrt(100.81), cosA = 10 / std::sqrt(100.81);
    EXPECT_NEAR(b16.tHit[1][1], 10 * cosA - std::sqrt(1 - 100 * sinA * sinA), 1e-4);
}

// Single rays and bundles meet the moving sphere in space-time as the brute-force world line
// search does: single rays and 4-ray packets whose lanes start from their own points and times,
// and 16-ray packets from a shared origin, hit the same lanes at the same distances, and shade
// them with the centre at the time of each lane's hit; a single ray's offset is taken from that
// centre too.
TEST(RtObjSphere, MovingSphereMatchesBruteForceSearchAtEveryPacketSize) {
    Rng rng(31);
    RecordingTexture tex;
    int compared = 0, hitLanes = 0;
    for (int k = 0; k < 40; ++k) {
        const Vec4f center = rng.point(5.0), mov = rng.direction() * float(rng.uni(0, 0.8));
        const float radius = float(rng.uni(0.3, 2.0)), tmin = float(rng.uni(-5, 5));
        MovingSphere s = movingSphere(center, mov, radius, tmin, tmin + float(rng.uni(0.5, 10)));
        s.texture = &tex;
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
        s.shade16(b16, h16);
        for (int g = 0; g < 4; ++g) {
            alignas(16) RayBundle4 b4;
            makeBundle4(b4, &origins[4 * g], &dirs[4 * g]);
            const int m4 = movemask(s.intersect4(b4));
            s.shade4(b4, LaneMask4::fromBits(m4));
            for (int l = 0; l < 4; ++l) {
                const int i = 4 * g + l;
                const WorldLineHit own = bruteForceMoving(s, makeRay(origins[i], dirs[i]));
                const WorldLineHit common = bruteForceMoving(s, makeRay(shared, dirs[i]));
                if (!own.ambiguous) {
                    ++compared;
                    EXPECT_EQ(((m4 >> l) & 1) != 0, own.hit) << "sphere " << k << " lane " << i;
                    SingleRay r = makeRay(origins[i], dirs[i]);
                    const float t1 = hit1(s, r);
                    EXPECT_EQ(s.occluded1(r), own.hit);
                    EXPECT_EQ(t1 != kNoDistance, own.hit) << "sphere " << k << " ray " << i;
                    if (own.hit) {
                        ++hitLanes;
                        const double t = own.T - origins[i].w;
                        EXPECT_NEAR(b4.tHit[l], t, 1e-3 * (1 + std::fabs(t)));
                        EXPECT_NEAR(t1, t, 1e-3 * (1 + std::fabs(t)));
                        const double cosine = movingCosine(s, origins[i], dirs[i], own.T);
                        EXPECT_NEAR(tex.factor4[l], cosine, 1e-2);
                        const D3 p = d3(r.origin) + d3(r.dir) * t;
                        const D3 c = d3(s.center) + d3(s.mov) * (own.T - s.tmin);
                        const double gap = len(d3(r.hitOffset) * (1.0 / hitOffsetScale) - (p - c));
                        EXPECT_LT(gap, 2e-3 * (1 + std::fabs(t)));
                        s.shade1(r, t1);
                        EXPECT_NEAR(tex.factor1, cosine, 1e-2);
                    }
                }
                if (!common.ambiguous) {
                    EXPECT_EQ(h16[g].lane(l), common.hit) << "sphere " << k << " lane " << i;
                    if (common.hit) {
                        EXPECT_NEAR(b16.tHit[g][l], common.T - shared.w,
                                    1e-3 * (1 + std::fabs(common.T - shared.w)));
                        EXPECT_NEAR(tex.factor16[g][l], movingCosine(s, shared, dirs[i], common.T),
                                    1e-2);
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 400);
    EXPECT_GT(hitLanes, 150);

    // A sphere whose lifetime is empty is never there.
    MovingSphere never = movingSphere(Vec4f(0, 0, 5, 0), Vec4f(0, 0, 0, 0), 2, 3, 3);
    for (float span : {0.0f, -1.0f, -50.0f}) {
        never.tmax = 3 + span;
        never.update();
        for (int i = 0; i < 100; ++i) {
            const Vec4f o = rng.point(10.0, 10.0);
            SingleRay r = makeRay(o, unitDir(never.center + rng.direction() * 1.9f - o));
            EXPECT_EQ(hit1(never, r), kNoDistance);
            EXPECT_FALSE(never.occluded1(r));
        }
    }
}
