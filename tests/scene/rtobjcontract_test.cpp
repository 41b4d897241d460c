// The contract every scene object keeps at every packet size: seeded random objects of each kind
// (plane, sphere, accretion disk), sixteen rays from one origin per object, traced one by one
// (both single-ray forms and the occlusion test), as four 2 x 2 bundles (both forms) and as one
// 4 x 4 bundle (both forms), all checked against a closed-form reference solved in double
// precision: hits, distances, surface coordinates, shading factors and hit offsets. Rays too close
// to an edge, a tangent or an interval end for float to decide are left out; hand-worked rays
// check those ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "geometry/raybundle.h"
#include "scene/rendersettings.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjdisk.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "scene/texture.h"
#include "tests/scene/rtobjtesthelpers.h"

using namespace rtobjtest;

namespace {

// What the reference says of one ray: undecidable, a miss, or a hit at t with surface
// coordinates u, v (0 where the kind has none).
struct Expected {
    bool undecidable = false, hit = false;
    double t = 0, u = 0, v = 0;
};

// The plane through centre with normal n at t, then a test of the hit point; margins m keep
// float's undecidable cases (edges, interval ends) out. Without n the ray is taken as parallel.
Expected planeHit(const D3& centre, const D3& n, const SingleRay& r, D3& q) {
    Expected e;
    const D3 o = d3(r.origin), d = d3(r.dir);
    const double dn = dot(d, n) / (len(n) * len(d));
    if (std::fabs(dn) < 1e-3) {
        e.undecidable = true;
        return e;
    }
    e.t = dot(centre - o, n) / dot(d, n);
    q = o + d * e.t - centre;
    const double m = 1e-4 * (1 + std::fabs(e.t));
    e.undecidable = std::fabs(e.t - r.tMin) < m || std::fabs(e.t - r.tMax) < m;
    e.hit = e.t >= r.tMin && e.t <= r.tMax;
    return e;
}

// Parallelogram: q = p - pos = a x + b y, the coordinates from areas (a = [q, y] / [x, y] and
// b = [x, q] / [x, y], [.,.] the signed area along the normal). The hit region is 0 <= a < 1,
// 0 <= b < 1; u = a sx, v = b sy. The random edges are skewed: projecting q onto them instead
// gives another region, partly outside the parallelogram.
Expected planeReference(const rtObjBase& o, const SingleRay& r) {
    const auto& p = static_cast<const rtObjPlane&>(o);
    const D3 x = d3(p.x), y = d3(p.y), n = cross(x, y);
    D3 q{};
    Expected e = planeHit(d3(p.pos), n, r, q);
    const double area = dot(n, n), m = 1e-4;
    const double a = dot(cross(q, y), n) / area, b = dot(cross(x, q), n) / area;
    e.undecidable = e.undecidable || std::fabs(a) < m || std::fabs(a - 1) < m || std::fabs(b) < m ||
                    std::fabs(b - 1) < m;
    e.hit = e.hit && a >= 0 && a < 1 && b >= 0 && b < 1;
    e.u = a * p.sx;
    e.v = b * p.sy;
    return e;
}

// Annulus: the distance of the hit point from the centre between the inner and outer radius.
Expected diskReference(const rtObjBase& o, const SingleRay& r) {
    const auto& disk = static_cast<const rtObjDisk&>(o);
    D3 q{};
    Expected e = planeHit(d3(disk.centre), d3(disk.normal), r, q);
    const double rad = len(q), inner = disk.innerRadius(), m = 1e-4 * (1 + disk.rout);
    e.undecidable = e.undecidable || std::fabs(rad - inner) < m || std::fabs(rad - disk.rout) < m;
    e.hit = e.hit && rad >= inner && rad <= disk.rout;
    return e;
}

// Sphere: closest approach tc along the ray, half chord from Pythagoras; the near root when
// inside the interval, else the far one.
Expected sphereReference(const rtObjBase& o, const SingleRay& ray) {
    const auto& s = static_cast<const rtObjSphere<1>&>(o);
    Expected e;
    const double r2 = double(s.radius) * s.radius;
    const D3 d = d3(ray.dir), L = d3(s.center) - d3(ray.origin);
    const double dd = dot(d, d), tc = dot(L, d) / dd;
    const double closest2 = dot(L, L) - tc * tc * dd;
    if (std::fabs(closest2 - r2) < 1e-3 * r2) e.undecidable = true;
    if (closest2 > r2) return e;
    const double half = std::sqrt((r2 - closest2) / dd);
    const double roots[2] = {tc - half, tc + half};
    const double m = 1e-3 * (1 + std::fabs(roots[1]));
    for (double t : roots)
        if (std::fabs(t - ray.tMin) < m || std::fabs(t - ray.tMax) < m) e.undecidable = true;
    for (double t : roots)
        if (ray.tMin < t && t < ray.tMax) {
            e.hit = true;
            e.t = t;
            return e;
        }
    return e;
}

std::unique_ptr<rtObjBase> randomPlane(Rng& rng, Vec4f& origin, Vec4f aims[16]) {
    auto p = std::make_unique<rtObjPlane>();
    do {
        p->pos = rng.point(5.0);
        p->x = rng.direction() * float(rng.uni(0.5, 4.0));
        p->y = rng.direction() * float(rng.uni(0.5, 4.0));
    } while (len(cross(d3(p->x), d3(p->y))) < 0.3 * len(d3(p->x)) * len(d3(p->y)));
    p->sx = float(rng.uni(0.5, 6.0));
    p->sy = float(rng.uni(0.5, 6.0));
    p->update();
    origin = rng.point(12.0, 3.0);
    for (int i = 0; i < 16; ++i)
        aims[i] = p->pos + p->x * float(rng.uni(-0.3, 1.3)) + p->y * float(rng.uni(-0.3, 1.3));
    return p;
}

// The observer's time is the sphere's own (one case off it is worked by hand below). One object
// in eight is seen from inside.
std::unique_ptr<rtObjBase> randomSphere(Rng& rng, Vec4f& origin, Vec4f aims[16]) {
    auto s = std::make_unique<rtObjSphere<1>>();
    s->center = rng.point(5.0, 5.0);
    s->radius = float(rng.uni(0.2, 3.0));
    s->update();
    origin = rng.uni(0, 1) < 0.125
                 ? s->center + rng.direction() * float(rng.uni(0, 0.9) * s->radius)
                 : rng.point(12.0);
    origin.w = s->center.w;
    for (int i = 0; i < 16; ++i)
        aims[i] = s->center + rng.direction() * float(rng.uni(0, 1.5) * s->radius);
    return s;
}

// One disk in three with an inner radius of its own, else the innermost stable orbit.
std::unique_ptr<rtObjBase> randomDisk(Rng& rng, Vec4f& origin, Vec4f aims[16]) {
    auto disk = std::make_unique<rtObjDisk>();
    disk->normal = rng.direction() * float(rng.uni(0.2, 3.0));
    disk->rout = float(rng.uni(2.0, 8.0));
    disk->rin = rng.uni(0, 1) < 0.33 ? float(rng.uni(0.5, 1.5)) : 0.0f;
    disk->placeAtHole(rng.point(4.0), float(rng.uni(0.1, 0.5)));
    origin = rng.point(20.0);
    for (int i = 0; i < 16; ++i)
        aims[i] = disk->centre + rng.direction() * float(rng.uni(0, 1.2) * disk->rout);
    return disk;
}

// A kind: a random object with an origin (its rays aim near the object from there), the
// reference for one ray and, for the textured kinds, |cos| between the ray and the normal at t.
// The disk draws with its own colour; its pixels at every packet size are compared with whole
// pictures (tests/engine/packetagreement_test.cpp).
struct Kind {
    const char* name;
    std::unique_ptr<rtObjBase> (*make)(Rng&, Vec4f& origin, Vec4f aims[16]);
    Expected (*reference)(const rtObjBase&, const SingleRay&);
    double (*cosine)(const rtObjBase&, const SingleRay&, double t);
};

const Kind kKinds[] = {
    {"plane", randomPlane, planeReference,
     [](const rtObjBase& o, const SingleRay& r, double) {
         const auto& p = static_cast<const rtObjPlane&>(o);
         const D3 n = cross(d3(p.x), d3(p.y));
         return std::fabs(dot(n, d3(r.dir))) / len(n);
     }},
    {"sphere", randomSphere, sphereReference,
     [](const rtObjBase& o, const SingleRay& r, double t) {
         const auto& s = static_cast<const rtObjSphere<1>&>(o);
         const D3 p = d3(r.origin) + d3(r.dir) * t;
         return std::fabs(dot(p - d3(s.center), d3(r.dir))) / s.radius;
     }},
    {"disk", randomDisk, diskReference, nullptr},
};

// Distances of float computations agree with the double reference to this relative tolerance.
bool closeTo(float got, double want) {
    return std::fabs(got - want) <= 2e-4 * (1 + std::fabs(want));
}

}  // namespace

// The shading factor is |cos| between ray and normal at every packet size, seen from either side
// (a sphere seen from inside is lit like its outside; a signed factor once drew it black at some
// packet sizes). Planes hand the texture the hit's u, v (one ray recomputes them from t),
// spheres 0. Single rays also hand the shading a surface offset: a plane's own, a sphere's
// pointing from the centre to the hit point, 2^-19 as long.
TEST(RtObjContract, EveryKindAtEveryPacketSizeMatchesTheDoubleReference) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        Rng rng(2024);
        RecordingTexture tex;
        int decided = 0, hits = 0;
        for (int k = 0; k < 150; ++k) {
            Vec4f origin, aims[16], dirs[16];
            std::unique_ptr<rtObjBase> obj = kind.make(rng, origin, aims);
            auto* sphere = dynamic_cast<rtObjSphere<1>*>(obj.get());
            if (sphere)
                sphere->texture = &tex;  // a sphere keeps a texture of its own
            else
                obj->texture = &tex;
            obj->prepareForOrigin(origin);
            const float tMin = k % 4 == 0 ? float(rng.uni(0, 8)) : 0.0f;
            const float tMax = k % 3 == 0 ? float(rng.uni(3, 30)) : kFar;
            for (int i = 0; i < 16; ++i) {
                dirs[i] = unitDir(aims[i] - origin);
                if (i % 7 == 3) dirs[i] = -dirs[i];  // most of these point away
            }
            const Vec4f origins[4] = {origin, origin, origin, origin};
            alignas(16) RayBundle16 b16, b16alt;
            makeBundle16(b16, origin, dirs, tMin, tMax);
            makeBundle16(b16alt, origin, dirs, tMin, tMax);
            LaneMask4 h16[4], h16alt[4];
            obj->intersect16(b16, h16);
            obj->intersect16Alt(b16alt, h16alt);
            if (kind.cosine) obj->shade16(b16, h16);
            EXPECT_EQ(tex.mask16, kind.cosine ? combineMasks(h16) : 0);
            const RecordingTexture shaded16 = tex;
            for (int g = 0; g < 4; ++g) {
                alignas(16) RayBundle4 b4, b4alt;
                makeBundle4(b4, origins, &dirs[4 * g], tMin, tMax);
                makeBundle4(b4alt, origins, &dirs[4 * g], tMin, tMax);
                const LaneMask4 hit4 = obj->intersect4(b4);
                const int m4 = movemask(hit4);
                const int m4alt = movemask(obj->intersect4Alt(b4alt));
                if (kind.cosine) obj->shade4(b4, hit4);
                EXPECT_EQ(tex.mask4, kind.cosine ? m4 : 0);
                const RecordingTexture shaded4 = tex;
                for (int l = 0; l < 4; ++l) {
                    SingleRay r = makeRay(origin, dirs[4 * g + l], tMin, tMax);
                    const Expected e = kind.reference(*obj, r);
                    if (e.undecidable) continue;
                    ++decided;
                    hits += e.hit;
                    SCOPED_TRACE(testing::Message() << "object " << k << " ray " << 4 * g + l);
                    float t = hit1(*obj, r), tAlt = kNoDistance;
                    SingleRay rAlt = makeRay(origin, dirs[4 * g + l], tMin, tMax);
                    obj->intersect1Alt(rAlt, tAlt);
                    ASSERT_EQ(t != kNoDistance, e.hit) << t << " reference " << e.t;
                    EXPECT_EQ(tAlt, t);
                    EXPECT_EQ(obj->occluded1(r), e.hit);
                    EXPECT_EQ((m4 >> l & 1) != 0, e.hit);
                    EXPECT_EQ((m4alt >> l & 1) != 0, e.hit);
                    EXPECT_EQ(h16[g].lane(l), e.hit);
                    EXPECT_EQ(h16alt[g].lane(l), e.hit);
                    EXPECT_EQ(b4.live.lane(l), !e.hit);
                    EXPECT_EQ(b16.live[g].lane(l), !e.hit);
                    if (!e.hit) {
                        EXPECT_EQ(b16.tHit[g][l], kNoHit);
                        continue;
                    }
                    for (float got :
                         {t, b4.tHit[l], b4alt.tHit[l], b16.tHit[g][l], b16alt.tHit[g][l]})
                        EXPECT_PRED2(closeTo, got, e.t);
                    if (!kind.cosine) continue;
                    if (sphere) {
                        const D3 rel = d3(r.origin) + d3(r.dir) * double(t) - d3(sphere->center);
                        const D3 off = d3(r.hitOffset) * (1.0 / hitOffsetScale);
                        EXPECT_LT(len(off - rel), 1e-5 * (1 + len(d3(r.origin)) + t));
                        EXPECT_EQ(r.hitOffset.w, 0.0f);
                    } else {
                        const auto& p = static_cast<const rtObjPlane&>(*obj);
                        for (int c = 0; c < 3; ++c) EXPECT_EQ(r.hitOffset[c], p.hitOffset[c]);
                    }
                    r.u = r.v = -7;
                    obj->shade1(r, t);
                    const double cosine = kind.cosine(*obj, r, e.t);
                    for (float f : {tex.factor1, shaded4.factor4[l], shaded16.factor16[g][l]})
                        EXPECT_NEAR(f, cosine, 5e-3);
                    for (float got : {tex.u1, shaded4.u4[l], shaded16.u16[g][l], b4alt.u[l]})
                        EXPECT_NEAR(got, e.u, 1e-3);
                    for (float got : {tex.v1, shaded4.v4[l], shaded16.v16[g][l], b4alt.v[l]})
                        EXPECT_NEAR(got, e.v, 1e-3);
                }
            }
        }
        EXPECT_GT(decided, 1200);
        EXPECT_GT(hits, 300);
    }
}

// Hand-worked rays at the ends the random rays leave out, each traced at every packet size (one
// ray, both single-ray forms, occlusion, both 4-ray forms and both 16-ray forms):
// - a parallelogram's edges are half-open: u = 0 belongs to it, u = sx does not, so two tiles
//   sharing an edge are hit exactly once there (the default plane is 1 wide, sx = 5);
// - a sphere's roots count strictly inside the interval: a ray leaving the sphere from its
//   surface (a bent path's next piece) does not meet it again at 0, nor one whose interval ends
//   exactly on the surface;
// - a static sphere exists at all times: an observer 0.6 away from its time sees it whole (the
//   time difference takes no part in the constant term); for the grazing ray
//   t = 10 cos - sqrt(1 - 100 sin^2).
TEST(RtObjContract, HandWorkedRaysAtEveryPacketSize) {
    rtObjPlane plane;
    plane.pos = Vec4f(0, 0, 5, 0);
    plane.update();
    rtObjSphere<1> unit, ahead;
    unit.center = Vec4f(0, 0, 0, 0);
    unit.radius = 1.0f;
    unit.update();
    ahead.center = Vec4f(0, 0, 10, 0);
    ahead.radius = 1.0f;
    ahead.update();
    const double sinA = 0.9 / std::sqrt(100.81), cosA = 10 / std::sqrt(100.81);
    const struct {
        const char* what;
        rtObjBase* obj;
        Vec4f origin, dir;
        float tMax;
        double t;  // 0: a miss
        float u = 0, v = 0;
    } cases[] = {
        {"plane edge u = 0", &plane, Vec4f(0, 0.3f, 0, 0), Vec4f(0, 0, 1, 0), kFar, 5, 0, 1.5f},
        {"plane edge u = sx", &plane, Vec4f(1, 0.3f, 0, 0), Vec4f(0, 0, 1, 0), kFar, 0},
        {"leaving a sphere", &unit, Vec4f(0, 0, -1, 0), Vec4f(0, 0, -1, 0), kFar, 0},
        {"ending on a sphere", &unit, Vec4f(0, 0, 0, 0), Vec4f(0, 0, 1, 0), 1.0f, 0},
        {"central, 0.6 later", &ahead, Vec4f(0, 0, 0, 0.6f), Vec4f(0, 0, 1, 0), kFar, 9},
        {"grazing, 0.6 later", &ahead, Vec4f(0, 0, 0, 0.6f), unitDir(Vec4f(0, 0.9f, 10, 0)), kFar,
         10 * cosA - std::sqrt(1 - 100 * sinA * sinA)},
        {"outside, 0.6 later", &ahead, Vec4f(0, 0, 0, 0.6f), unitDir(Vec4f(0, 1.1f, 10, 0)), kFar,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.obj->prepareForOrigin(c.origin);
        const bool hit = c.t != 0;
        SingleRay r = makeRay(c.origin, c.dir, 0, c.tMax), rAlt = r;
        const float t = hit1(*c.obj, r);
        float tAlt = kNoDistance;
        c.obj->intersect1Alt(rAlt, tAlt);
        EXPECT_EQ(c.obj->occluded1(r), hit);
        const Vec4f origins[4] = {c.origin, c.origin, c.origin, c.origin};
        const Vec4f dirs[16] = {c.dir, c.dir, c.dir, c.dir, c.dir, c.dir, c.dir, c.dir,
                                c.dir, c.dir, c.dir, c.dir, c.dir, c.dir, c.dir, c.dir};
        alignas(16) RayBundle4 b4, b4alt;
        makeBundle4(b4, origins, dirs, 0, c.tMax);
        makeBundle4(b4alt, origins, dirs, 0, c.tMax);
        EXPECT_EQ(movemask(c.obj->intersect4(b4)), hit ? 0xf : 0);
        EXPECT_EQ(movemask(c.obj->intersect4Alt(b4alt)), hit ? 0xf : 0);
        alignas(16) RayBundle16 b16, b16alt;
        makeBundle16(b16, c.origin, dirs, 0, c.tMax);
        makeBundle16(b16alt, c.origin, dirs, 0, c.tMax);
        LaneMask4 h16[4], h16alt[4];
        EXPECT_EQ(c.obj->intersect16(b16, h16), hit);
        EXPECT_EQ(c.obj->intersect16Alt(b16alt, h16alt), hit);
        EXPECT_EQ(combineMasks(h16), hit ? 0xffff : 0);
        EXPECT_EQ(combineMasks(h16alt), hit ? 0xffff : 0);
        if (!hit) {
            EXPECT_EQ(t, kNoDistance);
            EXPECT_EQ(tAlt, kNoDistance);
            continue;
        }
        for (float got : {t, tAlt, b4.tHit[0], b4alt.tHit[3], b16.tHit[1][1], b16alt.tHit[3][2]})
            EXPECT_NEAR(got, c.t, 1e-4);
        EXPECT_EQ(r.u, c.u);
        EXPECT_FLOAT_EQ(r.v, c.v);
    }
}

// intersect4 takes the distance from the prepared common origin and u, v from each lane's own
// origin; intersect4Alt (light bending, whose lanes start from their own path points) takes both
// from each lane's own origin.
TEST(RtObjContract, PlaneFourRayFormsDifferInWhichOriginTheyUse) {
    rtObjPlane p;
    p.pos = Vec4f(0, 0, 5, 0);
    p.update();
    const Vec4f o(0.1f, 0.1f, 0, 0), d(0, 0, 1, 0);
    p.prepareForOrigin(o);
    // Lane 2 starts 2 nearer the plane, lane 3 beside it.
    const Vec4f origins[4] = {o, Vec4f(0.5f, 0.1f, 0, 0), Vec4f(0.1f, 0.7f, 2, 0),
                              Vec4f(3.0f, 0.1f, 0, 0)};
    const Vec4f dirs[4] = {d, d, d, d};
    alignas(16) RayBundle4 common, own;
    makeBundle4(common, origins, dirs);
    makeBundle4(own, origins, dirs);
    EXPECT_EQ(movemask(p.intersect4(common)), 0x7);
    EXPECT_EQ(movemask(p.intersect4Alt(own)), 0x7);
    EXPECT_FLOAT_EQ(common.u[1], 2.5f);
    EXPECT_FLOAT_EQ(common.tHit[2], 5.0f);  // from the prepared origin's distance
    EXPECT_FLOAT_EQ(own.u[1], 2.5f);
    EXPECT_FLOAT_EQ(own.v[2], 3.5f);
    EXPECT_FLOAT_EQ(own.tHit[2], 3.0f);  // from its own origin
}
