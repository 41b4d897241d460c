// Moving spheres against the world-line quadratic, the boxes of spheres, and cube faces closing
// the solid.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "scene/rtobjcube.h"
#include "scene/rtobjsphere.h"
#include "tests/scene/rtobjtesthelpers.h"

using namespace rtobjtest;

namespace {

// The first time T in (lo, hi) with |p + v T| = r (p + v T the gap from the centre to the ray's
// point), in double; ambiguous too close to grazing or to the window ends for float to decide.
struct WorldLineHit {
    bool hit = false, ambiguous = false;
    double T = 0;
};

WorldLineHit movingReference(const rtObjSphere<0>& s, const SingleRay& ray) {
    WorldLineHit res;
    const D3 v = d3(ray.dir) - d3(s.mov);
    const D3 p = d3(ray.origin) - d3(ray.dir) * ray.origin.w - d3(s.center) + d3(s.mov) * s.tmin;
    const double r2 = double(s.radius) * s.radius;
    const double a = dot(v, v), b = dot(p, v), c = dot(p, p) - r2;
    const auto f = [&](double T) { return (a * T + 2 * b) * T + c; };
    const double lo = std::max<double>(s.tmin, ray.origin.w + ray.tMin);
    const double hi = std::min<double>(s.tmax, ray.origin.w + ray.tMax);
    if (!(lo < hi)) return res;
    const double eps = 1e-3 * r2, disc = b * b - a * c;
    res.ambiguous = std::fabs(f(lo)) < eps || std::fabs(f(hi)) < eps || std::fabs(disc / a) < eps;
    if (disc < 0) return res;
    for (double T : {(-b - std::sqrt(disc)) / a, (-b + std::sqrt(disc)) / a})
        if (lo < T && T < hi) {
            res.hit = true;
            res.T = T;
            return res;
        }
    return res;
}

// The shading factor of a hit at time T: |cos| between the ray and the normal there and then.
double movingCosine(const rtObjSphere<0>& s, const Vec4f& origin, const Vec4f& dir, double T) {
    const D3 p = d3(origin) + d3(dir) * (T - origin.w);
    const D3 c = d3(s.center) + d3(s.mov) * (T - s.tmin);
    return std::fabs(dot(p - c, d3(dir))) / s.radius;
}

}  // namespace

// Single rays and 4-ray packets (lanes from their own points and times) and 16-ray packets (one
// origin) hit where the closed form says and shade with the centre at each hit's time; a single
// ray's offset points from that centre. A sphere whose lifetime is empty is never there.
TEST(RtObjMovingSphere, MatchesTheClosedFormAtEveryPacketSize) {
    Rng rng(31);
    RecordingTexture tex;
    int compared = 0, hitLanes = 0;
    for (int k = 0; k < 40; ++k) {
        rtObjSphere<0> s;
        s.center = rng.point(5.0);
        s.mov = rng.direction() * float(rng.uni(0, 0.8));
        s.radius = float(rng.uni(0.3, 2.0));
        s.tmin = float(rng.uni(-5, 5));
        s.tmax = s.tmin + float(rng.uni(0.5, 10));
        s.update();
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
            const Vec4f v = middle + rng.direction() * float(rng.uni(0, 1.5) * s.radius);
            dirs[i] = unitDir(v - origins[i]);
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
                SCOPED_TRACE(testing::Message() << "sphere " << k << " ray " << i);
                const WorldLineHit own = movingReference(s, makeRay(origins[i], dirs[i]));
                const WorldLineHit common = movingReference(s, makeRay(shared, dirs[i]));
                if (!own.ambiguous) {
                    ++compared;
                    EXPECT_EQ(((m4 >> l) & 1) != 0, own.hit);
                    SingleRay r = makeRay(origins[i], dirs[i]);
                    const float t1 = hit1(s, r);
                    EXPECT_EQ(s.occluded1(r), own.hit);
                    EXPECT_EQ(t1 != kNoDistance, own.hit);
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
                    EXPECT_EQ(h16[g].lane(l), common.hit);
                    if (common.hit) {
                        const double t = common.T - shared.w;
                        EXPECT_NEAR(b16.tHit[g][l], t, 1e-3 * (1 + std::fabs(t)));
                        EXPECT_NEAR(tex.factor16[g][l], movingCosine(s, shared, dirs[i], common.T),
                                    1e-2);
                    }
                }
            }
        }
        s.tmax = s.tmin - float(k % 3) * 20.0f;  // empty lifetime
        s.update();
        SingleRay r = makeRay(origins[0], dirs[0]);
        EXPECT_EQ(hit1(s, r), kNoDistance);
        EXPECT_FALSE(s.occluded1(r));
    }
    EXPECT_GT(compared, 400);
    EXPECT_GT(hitLanes, 150);
}

// Hand-worked boxes: the static sphere's cube for the whole time range, the moving sphere's box
// over its swept path (the centre ends at (5, 2, 1)) and lifetime, and the surface areas of their
// spatial parts. The bounds bundles test first hold the sphere at its start, half-way and end.
TEST(RtObjSphere, BoxesCoverTheSphereAndTheSweptPath) {
    rtObjSphere<1> s;
    s.center = Vec4f(1, 2, 3, 4);
    s.radius = 0.5f;
    s.update();
    rtObjSphere<0> m;
    m.center = Vec4f(1, 2, 3, 0);
    m.mov = Vec4f(2, 0, -1, 0);
    m.radius = 0.5f;
    m.tmin = 1;
    m.tmax = 3;
    m.update();
    const BoundingBox sb = s.boundingBox(), mb = m.boundingBox();
    const Vec4f want[4] = {Vec4f(0.5f, 1.5f, 2.5f, 4 - 10000.0f),
                           Vec4f(1.5f, 2.5f, 3.5f, 4 + 10000.0f), Vec4f(0.5f, 1.5f, 0.5f, 1),
                           Vec4f(5.5f, 2.5f, 3.5f, 3)};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(sb.min[i], want[0][i]) << i;
        EXPECT_FLOAT_EQ(sb.max[i], want[1][i]) << i;
        EXPECT_FLOAT_EQ(mb.min[i], want[2][i]) << i;
        EXPECT_FLOAT_EQ(mb.max[i], want[3][i]) << i;
    }
    EXPECT_FLOAT_EQ(s.area, 6.0f);
    EXPECT_FLOAT_EQ(m.area, 46.0f);  // 2 (5 x 1 + 1 x 3 + 5 x 3)
    for (const Vec4f& centre : {Vec4f(1, 2, 3, 0), Vec4f(3, 2, 2, 0), Vec4f(5, 2, 1, 0)})
        for (int i = 0; i < 3; ++i) {
            EXPECT_LE(m.hitBounds.min[i], centre[i] - 0.5f) << i;
            EXPECT_GE(m.hitBounds.max[i], centre[i] + 0.5f) << i;
        }
}

// A ray from inside a random box leaves through exactly one of the six collected faces, at the
// distance of the slab method in double in the box's edge coordinates.
TEST(RtObjCube, FacesCloseTheSolid) {
    Rng rng(8);
    int checked = 0;
    for (int k = 0; k < 30; ++k) {
        rtObjCube cube;
        const Vec4f a = rng.direction();
        Vec4f b;
        do {
            b = rng.direction();
            b = b - a * dot3(a, b);
        } while (dot3(b, b) < 0.1f);
        b = unitDir(b);
        cube.pos = rng.point(4.0);
        cube.x = a * float(rng.uni(0.5, 3));
        cube.y = b * float(rng.uni(0.5, 3));
        cube.z = cross3(a, b) * float(rng.uni(0.5, 3));
        std::vector<rtObjBase*> faces;
        cube.collectPrimitives(faces);
        const D3 ex[3] = {d3(cube.x), d3(cube.y), d3(cube.z)};
        for (int i = 0; i < 100; ++i) {
            const double at[3] = {rng.uni(0.05, 0.95), rng.uni(0.05, 0.95), rng.uni(0.05, 0.95)};
            const Vec4f o =
                cube.pos + cube.x * float(at[0]) + cube.y * float(at[1]) + cube.z * float(at[2]);
            const Vec4f d = rng.direction();
            double exits[3];
            for (int e = 0; e < 3; ++e) {
                const double rate = dot(d3(d), ex[e]) / dot(ex[e], ex[e]);
                exits[e] = rate > 0 ? (1 - at[e]) / rate : -at[e] / rate;
            }
            std::sort(exits, exits + 3);
            if (exits[1] - exits[0] < 1e-3 * exits[0]) continue;  // leaves near an edge
            ++checked;
            int hitCount = 0;
            float nearest = kNoDistance;
            for (rtObjBase* f : faces) {
                SingleRay r = makeRay(o, d);
                const float t = hit1(*f, r);
                hitCount += t != kNoDistance;
                nearest = std::min(nearest, t);
            }
            EXPECT_EQ(hitCount, 1) << "cube " << k << " ray " << i;
            EXPECT_NEAR(nearest, exits[0], 1e-4 * (1 + exits[0]));
        }
    }
    EXPECT_GT(checked, 2500);
}
