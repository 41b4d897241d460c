// The contract every scene object keeps at every packet size: seeded random objects of each kind,
// sixteen rays from one origin per object, traced one by one (both single-ray forms and the
// occlusion test), as four 2 x 2 bundles (both forms) and as one 4 x 4 bundle (both forms), all
// checked against a closed-form reference solved in double precision: hits, distances, surface
// coordinates, shading factors and hit offsets. Rays too close to an edge, a tangent or an
// interval end for float to decide are left out.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "tests/scene/rtobjtesthelpers.h"

using namespace objtest;

namespace {

// What the reference says of one ray: undecidable, a miss, or a hit at t with surface
// coordinates u, v where the kind has them.
struct Expected {
    bool undecidable = false, hit = false, hasUV = false;
    double t = 0, u = 0, v = 0;
};

// Parallelogram: t from the plane equation, then the projections a, b of q = p - pos onto the
// edges, q.x / |x|^2 and q.y / |y|^2. The hit region is 0 <= a < 1, 0 <= b < 1, t in
// [tMin, tMax]; u = a sx, v = b sy.
Expected planeReference(const rtObjPlane& p, const SingleRay& r) {
    Expected e;
    const D3 x = d3(p.x), y = d3(p.y), o = d3(r.origin), d = d3(r.dir), pos = d3(p.pos);
    const D3 n = cross(x, y);
    const double dn = dot(d, n);
    if (std::fabs(dn / (len(n) * len(d))) < 1e-3) {
        e.undecidable = true;
        return e;
    }
    const double t = dot(pos - o, n) / dn;
    const D3 q = o + d * t - pos;
    const double a = dot(q, x) / dot(x, x), b = dot(q, y) / dot(y, y);
    const double m = 1e-4;
    e.undecidable = std::fabs(a) < m || std::fabs(a - 1) < m || std::fabs(b) < m ||
                    std::fabs(b - 1) < m || std::fabs(t - r.tMin) < m * (1 + std::fabs(t)) ||
                    std::fabs(t - r.tMax) < m * (1 + std::fabs(t));
    e.hit = t >= r.tMin && t <= r.tMax && a >= 0 && a < 1 && b >= 0 && b < 1;
    e.hasUV = true;
    e.t = t;
    e.u = a * p.sx;
    e.v = b * p.sy;
    return e;
}

// Sphere: closest approach tc along the ray, half chord from Pythagoras; the near root when
// inside the interval, else the far one.
Expected sphereReference(const rtObjSphere<1>& s, const SingleRay& ray) {
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

// One kind: a random object with an origin (its rays aim near the object from there) and the
// reference for one ray.
struct Kind {
    const char* name;
    std::function<std::unique_ptr<rtObjBase>(Rng&, Vec4f& origin, Vec4f aims[16])> make;
    std::function<Expected(const rtObjBase&, const SingleRay&)> reference;
    // |cos| between the ray and the surface normal at distance t.
    std::function<double(const rtObjBase&, const SingleRay&, double t)> cosine;
};

std::unique_ptr<rtObjBase> randomPlane(Rng& rng, Vec4f& origin, Vec4f aims[16]) {
    auto p = std::make_unique<rtObjPlane>();
    for (;;) {
        p->pos = rng.point(5.0);
        p->x = rng.direction() * float(rng.uni(0.5, 4.0));
        p->y = rng.direction() * float(rng.uni(0.5, 4.0));
        const D3 c = cross(d3(p->x), d3(p->y));
        if (len(c) > 0.3 * len(d3(p->x)) * len(d3(p->y))) break;
    }
    p->sx = float(rng.uni(0.5, 6.0));
    p->sy = float(rng.uni(0.5, 6.0));
    p->update();
    origin = rng.point(12.0, 3.0);
    for (int i = 0; i < 16; ++i)
        aims[i] = p->pos + p->x * float(rng.uni(-0.3, 1.3)) + p->y * float(rng.uni(-0.3, 1.3));
    return p;
}

// The observer's time is the sphere's own (bundles and single rays agree only there; the time
// offset has its own test). One object in eight is seen from inside.
std::unique_ptr<rtObjBase> randomSphere(Rng& rng, Vec4f& origin, Vec4f aims[16]) {
    auto s = std::make_unique<rtObjSphere<1>>();
    s->center = rng.point(5.0, 5.0);
    s->radius = float(rng.uni(0.2, 3.0));
    s->update();
    origin = rng.uni(0, 1) < 0.125 ? s->center + rng.direction() * float(rng.uni(0, 0.9) * s->radius)
                                   : rng.point(12.0);
    origin.w = s->center.w;
    for (int i = 0; i < 16; ++i)
        aims[i] = s->center + rng.direction() * float(rng.uni(0, 1.5) * s->radius);
    return s;
}

const Kind kKinds[] = {
    {"plane", randomPlane,
     [](const rtObjBase& o, const SingleRay& r) {
         return planeReference(static_cast<const rtObjPlane&>(o), r);
     },
     [](const rtObjBase& o, const SingleRay& r, double) {
         const auto& p = static_cast<const rtObjPlane&>(o);
         const D3 n = cross(d3(p.x), d3(p.y));
         return std::fabs(dot(n, d3(r.dir))) / len(n);
     }},
    {"sphere", randomSphere,
     [](const rtObjBase& o, const SingleRay& r) {
         return sphereReference(static_cast<const rtObjSphere<1>&>(o), r);
     },
     [](const rtObjBase& o, const SingleRay& r, double t) {
         const auto& s = static_cast<const rtObjSphere<1>&>(o);
         const D3 p = d3(r.origin) + d3(r.dir) * t;
         return std::fabs(dot(p - d3(s.center), d3(r.dir))) / s.radius;
     }},
};

// Distances of float computations agree with the double reference to this relative tolerance.
bool closeTo(float got, double want) { return std::fabs(got - want) <= 2e-4 * (1 + std::fabs(want)); }

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
            alignas(16) RayBundle16 b16, b16alt;
            makeBundle16(b16, origin, dirs, tMin, tMax);
            makeBundle16(b16alt, origin, dirs, tMin, tMax);
            LaneMask4 h16[4], h16alt[4];
            obj->intersect16(b16, h16);
            obj->intersect16Alt(b16alt, h16alt);
            obj->shade16(b16, h16);
            EXPECT_EQ(tex.mask16, combineMasks(h16));
            const RecordingTexture shaded16 = tex;
            for (int g = 0; g < 4; ++g) {
                alignas(16) RayBundle4 b4, b4alt;
                makeBundle4(b4, origin, &dirs[4 * g], tMin, tMax);
                makeBundle4(b4alt, origin, &dirs[4 * g], tMin, tMax);
                const LaneMask4 hit4 = obj->intersect4(b4);
                const int m4 = movemask(hit4);
                const int m4alt = movemask(obj->intersect4Alt(b4alt));
                obj->shade4(b4, hit4);
                EXPECT_EQ(tex.mask4, m4);
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
                    EXPECT_PRED2(closeTo, t, e.t);
                    EXPECT_PRED2(closeTo, b4.tHit[l], e.t);
                    EXPECT_PRED2(closeTo, b4alt.tHit[l], e.t);
                    EXPECT_PRED2(closeTo, b16.tHit[g][l], e.t);
                    EXPECT_PRED2(closeTo, b16alt.tHit[g][l], e.t);
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
                    const double u = e.hasUV ? e.u : 0.0, v = e.hasUV ? e.v : 0.0;
                    for (float got : {tex.u1, shaded4.u4[l], shaded16.u16[g][l], b4alt.u[l]})
                        EXPECT_NEAR(got, u, 1e-3);
                    for (float got : {tex.v1, shaded4.v4[l], shaded16.v16[g][l], b4alt.v[l]})
                        EXPECT_NEAR(got, v, 1e-3);
                }
            }
        }
        EXPECT_GT(decided, 1500);
        EXPECT_GT(hits, 500);
    }
}

// A sphere's roots count strictly inside the interval, at both ends: a ray that leaves the
// sphere from a point of its surface (a bent path's next piece) does not meet it again at
// distance 0, and one whose interval ends exactly on the surface does not reach it.
TEST(RtObjContract, SphereRootsAtTheIntervalEndsAreNotHits) {
    rtObjSphere<1> s;
    s.center = Vec4f(0, 0, 0, 0);
    s.radius = 1.0f;
    s.update();
    SingleRay leaving = makeRay(Vec4f(0, 0, -1, 0), Vec4f(0, 0, -1, 0));
    EXPECT_EQ(hit1(s, leaving), kNoDistance);
    EXPECT_FALSE(s.occluded1(leaving));
    SingleRay ending = makeRay(Vec4f(0, 0, 0, 0), Vec4f(0, 0, 1, 0), 0.0f, 1.0f);
    EXPECT_EQ(hit1(s, ending), kNoDistance);
    EXPECT_FALSE(s.occluded1(ending));
}
