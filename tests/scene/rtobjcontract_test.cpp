// Every scene object kind at every packet size against closed forms solved in double, hand-worked
// ends float cannot decide, sphere boxes, and the velocity each kind holds beside its flags. (The
// accretion disk: tests/engine/accretiondisk.)
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>

#include "geometry/raybundle.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "scene/texture.h"
#include "tests/scene/rayfixtures.h"

namespace {

using namespace testrays;

struct D3 {
    double x, y, z;
};
D3 d3(const Vec4f& v) { return {v.x, v.y, v.z}; }
D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3 operator-(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 operator*(D3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3 cross(D3 a, D3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double len(D3 a) { return std::sqrt(dot(a, a)); }

// Remembers the shading factors and surface coordinates of each form's last call.
struct RecordingTexture : Texture {
    mutable float factor1 = 0, u1 = 0, v1 = 0;
    mutable int mask4 = 0, mask16 = 0;
    mutable Vec4f factor4, u4, v4;
    mutable std::array<Vec4f, 4> factor16, u16, v16;

    void shade1(SingleRay& ray, float shade) const override {
        factor1 = shade;
        u1 = ray.u;
        v1 = ray.v;
    }
    void shade4(RayBundle4& b, LaneMask4 mask, const Vec4f& shade) const override {
        mask4 = movemask(mask);
        factor4 = shade;
        u4 = b.u;
        v4 = b.v;
    }
    void shade16(RayBundle16& b, const LaneMask4 mask[4], const Vec4f shade[4]) const override {
        mask16 = combineMasks(mask);
        for (int g = 0; g < 4; ++g) {
            factor16[g] = shade[g];
            u16[g] = b.u[g];
            v16[g] = b.v[g];
        }
    }
    void resolveColors(ColorCol&) override {}
    void getProperties(Reader::PropertyList&) override {}
    Texture* clone() const override { return new RecordingTexture(*this); }
    void copyFrom(const Texture&) override {}
};

// What the reference says of one ray: undecidable, a miss, or a hit at t with surface
// coordinates u, v (0 where the kind has none).
struct Expected {
    bool undecidable = false, hit = false;
    double t = 0, u = 0, v = 0;
};

// Parallelogram: the plane's hit at t, then q = p - pos = a x + b y with the coordinates from
// areas (a = [q, y] / [x, y], b = [x, q] / [x, y], [.,.] the signed area along the normal n). The
// hit region is 0 <= a < 1, 0 <= b < 1; u = a sx, v = b sy. The random edges are skewed: projecting
// q onto them instead gives another region. Margins keep float's undecidable cases out.
Expected planeReference(const rtObjBase& o, const SingleRay& r) {
    const auto& p = static_cast<const rtObjPlane&>(o);
    const D3 x = d3(p.x), y = d3(p.y), n = cross(x, y), d = d3(r.dir);
    Expected e;
    e.t = dot(d3(p.pos) - d3(r.origin), n) / dot(d, n);
    const D3 q = d3(r.origin) + d * e.t - d3(p.pos);
    const double area = dot(n, n), m = 1e-4 * (1 + std::fabs(e.t));
    const double a = dot(cross(q, y), n) / area, b = dot(cross(x, q), n) / area;
    e.undecidable = std::fabs(dot(d, n)) < 1e-3 * len(n) * len(d) || std::fabs(e.t - r.tMin) < m ||
                    std::fabs(e.t - r.tMax) < m || std::fabs(a) < 1e-4 || std::fabs(a - 1) < 1e-4 ||
                    std::fabs(b) < 1e-4 || std::fabs(b - 1) < 1e-4;
    e.hit = e.t >= r.tMin && e.t <= r.tMax && a >= 0 && a < 1 && b >= 0 && b < 1;
    e.u = a * p.sx;
    e.v = b * p.sy;
    return e;
}

// Sphere: the first time T in (lo, hi) with |p + v T| = r, p + v T the gap from the centre to the
// ray's point (a quadratic in T); a static sphere (N = 1) exists at all times and stays put.
template <int N>
Expected sphereReference(const rtObjBase& o, const SingleRay& ray) {
    const auto& s = static_cast<const rtObjSphere<N>&>(o);
    Expected e;
    const D3 v = d3(ray.dir) - d3(s.mov);
    const D3 p =
        d3(ray.origin) - d3(ray.dir) * ray.origin.w - d3(s.center) + d3(s.mov) * (N ? 0.0 : s.tmin);
    const double r2 = double(s.radius) * s.radius;
    const double a = dot(v, v), b = dot(p, v), c = dot(p, p) - r2;
    const auto f = [&](double T) { return (a * T + 2 * b) * T + c; };
    const double lo = std::max<double>(N ? -HUGE_VAL : s.tmin, ray.origin.w + ray.tMin);
    const double hi = std::min<double>(N ? HUGE_VAL : s.tmax, ray.origin.w + ray.tMax);
    if (!(lo < hi)) return e;
    const double eps = 1e-3 * r2, disc = b * b - a * c;
    e.undecidable = std::fabs(f(lo)) < eps || std::fabs(f(hi)) < eps || std::fabs(disc / a) < eps;
    if (disc < 0) return e;
    for (double T : {(-b - std::sqrt(disc)) / a, (-b + std::sqrt(disc)) / a})
        if (lo < T && T < hi) {
            e.hit = true;
            e.t = T - ray.origin.w;
            return e;
        }
    return e;
}

std::unique_ptr<rtObjBase> randomPlane(Rng& rng, Texture* tex, Vec4f& origin, Vec4f aims[16]) {
    auto p = std::make_unique<rtObjPlane>();
    p->texture = tex;
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

// A sphere seen at a time around its lifetime (the static one's own time: a case off it is worked
// by hand below) from 3 to 12 away from where it is then, or in one case in eight from inside.
template <int N>
std::unique_ptr<rtObjBase> randomSphere(Rng& rng, Texture* tex, Vec4f& origin, Vec4f aims[16]) {
    auto s = std::make_unique<rtObjSphere<N>>();
    s->texture = tex;  // spheres keep a texture of their own
    s->center = rng.point(5.0, 5.0);
    s->radius = float(rng.uni(0.2, 3.0));
    if constexpr (!N) {
        s->mov = rng.direction() * float(rng.uni(0, 0.8));
        s->tmin = float(rng.uni(-5, 5));
        s->tmax = s->tmin + float(rng.uni(0.5, 10));
    }
    s->update();
    const double when = N ? s->center.w : rng.uni(s->tmin - 1, s->tmax + 1);
    const Vec4f middle = s->center + s->mov * float(when - s->tmin);
    const bool inside = rng.uni(0, 1) < 0.125;
    origin =
        middle + rng.direction() * float(inside ? rng.uni(0, 0.9) * s->radius : rng.uni(3, 12));
    origin.w = N ? s->center.w : float(when - len(d3(middle - origin)));
    for (int i = 0; i < 16; ++i)
        aims[i] = middle + rng.direction() * float(rng.uni(0, 1.5) * s->radius);
    return s;
}

// A kind: a random object with an origin its rays aim from, the reference for one ray, and the
// hit offset (scaled down) at t.
using Offset = D3 (*)(const rtObjBase&, const SingleRay&, double t);
struct Kind {
    const char* name;
    std::unique_ptr<rtObjBase> (*make)(Rng&, Texture*, Vec4f& origin, Vec4f aims[16]);
    Expected (*reference)(const rtObjBase&, const SingleRay&);
    Offset offset;
};

// From where a sphere's centre is when a ray meets it at t to the hit point.
template <int N>
D3 sphereOffset(const rtObjBase& o, const SingleRay& r, double t) {
    const auto& s = static_cast<const rtObjSphere<N>&>(o);
    const D3 centre = d3(s.center) + d3(s.mov) * (N ? 0.0 : r.origin.w + t - s.tmin);
    return d3(r.origin) + d3(r.dir) * t - centre;
}

D3 planeOffset(const rtObjBase& o, const SingleRay&, double) {
    return d3(static_cast<const rtObjPlane&>(o).hitOffset()) * (1.0 / hitOffsetScale);
}

const Kind kKinds[] = {
    {"plane", randomPlane, planeReference, planeOffset},
    {"sphere", randomSphere<1>, sphereReference<1>, sphereOffset<1>},
    {"moving sphere", randomSphere<0>, sphereReference<0>, sphereOffset<0>},
};

// Sixteen rays from one origin, one by one (both forms, occlusion), as 2 x 2 and 4 x 4 bundles
// (both forms) against what is expected of each. With offset, textured with tex: the shading
// factor is |cos| between ray and normal at every packet size, from either side (a signed one once
// drew a sphere seen from inside black); planes hand the texture u, v, spheres 0; single rays
// carry a surface offset 2^-19 as long (a plane's normal, a sphere's from its centre).
void expectAllForms(rtObjBase& obj, const Vec4f& origin, const Vec4f dirs[16], float tMin,
                    float tMax, const Expected e[16], Offset offset, RecordingTexture& tex) {
    obj.prepareForOrigin(origin);
    const auto* plane = dynamic_cast<const rtObjPlane*>(&obj);
    const Vec4f origins[4] = {origin, origin, origin, origin};
    alignas(16) RayBundle16 b16, b16alt;
    makeBundle16(b16, origin, dirs, tMin, tMax);
    makeBundle16(b16alt, origin, dirs, tMin, tMax);
    LaneMask4 h16[4], h16alt[4];
    const BoundingBox bounds = obj.hitBounds();
    obj.intersect16(b16, h16);
    obj.intersect16Alt(b16alt, h16alt);
    if (offset) obj.shade16(b16, h16);
    EXPECT_EQ(tex.mask16, offset ? combineMasks(h16) : 0);
    const RecordingTexture shaded16 = tex;
    for (int g = 0; g < 4; ++g) {
        alignas(16) RayBundle4 b4, b4alt;
        makeBundle4(b4, origins, &dirs[4 * g], tMin, tMax);
        makeBundle4(b4alt, origins, &dirs[4 * g], tMin, tMax);
        const LaneMask4 hit4 = obj.intersect4(b4);
        const int m4 = movemask(hit4);
        const int m4alt = movemask(obj.intersect4Alt(b4alt));
        if (offset) obj.shade4(b4, hit4);
        EXPECT_EQ(tex.mask4, offset ? m4 : 0);
        const RecordingTexture shaded4 = tex;
        for (int l = 0; l < 4; ++l) {
            const Expected& want = e[4 * g + l];
            if (want.undecidable) continue;
            SCOPED_TRACE(testing::Message() << "ray " << 4 * g + l);
            SingleRay r = makeRay(origin, dirs[4 * g + l], tMin, tMax), rAlt = r;
            float t = kNoDistance, tAlt = kNoDistance;
            obj.intersect1(r, t);
            obj.intersect1Alt(rAlt, tAlt);
            ASSERT_EQ(t != kNoDistance, want.hit) << t << " reference " << want.t;
            EXPECT_EQ(tAlt, t);
            EXPECT_EQ(obj.occluded1(r), want.hit);
            EXPECT_EQ((m4 >> l & 1) != 0, want.hit);
            EXPECT_EQ((m4alt >> l & 1) != 0, want.hit);
            EXPECT_EQ(h16[g].lane(l), want.hit);
            EXPECT_EQ(h16alt[g].lane(l), want.hit);
            EXPECT_EQ(b4.live.lane(l), !want.hit);
            EXPECT_EQ(b16.live[g].lane(l), !want.hit);
            if (!want.hit) {
                EXPECT_EQ(b16.tHit[g][l], kNoHit);
                continue;
            }
            for (float got : {t, b4.tHit[l], b4alt.tHit[l], b16.tHit[g][l], b16alt.tHit[g][l]})
                EXPECT_NEAR(got, want.t, 2e-4 * (1 + std::fabs(want.t)));
            // The traversal skips an object whose hit bounds miss a bundle: its hits lie inside.
            const D3 p = d3(origin) + d3(dirs[4 * g + l]) * double(t);
            const double at[3] = {p.x, p.y, p.z};
            for (int i = 0; i < 3; ++i)
                EXPECT_TRUE(bounds.min[i] <= at[i] && at[i] <= bounds.max[i]) << i << " " << at[i];
            if (!offset) continue;
            const D3 off = d3(r.hitOffset) * (1.0 / hitOffsetScale);
            EXPECT_LT(len(off - offset(obj, r, t)), 1e-5 * (1 + len(d3(r.origin)) + t));
            EXPECT_EQ(r.hitOffset.w, 0.0f);
            const D3 normal = plane ? cross(d3(plane->x), d3(plane->y)) : offset(obj, r, want.t);
            const double cosine = std::fabs(dot(normal, d3(r.dir))) / len(normal);
            r.u = r.v = -7;
            obj.shade1(r, t);
            for (float f : {tex.factor1, shaded4.factor4[l], shaded16.factor16[g][l]})
                EXPECT_NEAR(f, cosine, 5e-3);
            for (float got : {tex.u1, shaded4.u4[l], shaded16.u16[g][l], b4alt.u[l]})
                EXPECT_NEAR(got, want.u, 1e-3);
            for (float got : {tex.v1, shaded4.v4[l], shaded16.v16[g][l], b4alt.v[l]})
                EXPECT_NEAR(got, want.v, 1e-3);
        }
    }
}

}  // namespace

TEST(RtObjContract, EveryKindAtEveryPacketSizeMatchesTheDoubleReference) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        Rng rng{std::mt19937(2024)};
        RecordingTexture tex;
        int decided = 0, hits = 0;
        for (int k = 0; k < 150; ++k) {
            SCOPED_TRACE(testing::Message() << "object " << k);
            Vec4f origin, aims[16], dirs[16];
            std::unique_ptr<rtObjBase> obj = kind.make(rng, &tex, origin, aims);
            const float tMin = k % 4 == 0 ? float(rng.uni(0, 8)) : 0.0f;
            const float tMax = k % 3 == 0 ? float(rng.uni(3, 30)) : kFar;
            Expected e[16];
            for (int i = 0; i < 16; ++i) {
                dirs[i] = unitDir(aims[i] - origin);
                if (i % 7 == 3) dirs[i] = -dirs[i];  // most of these point away
                e[i] = kind.reference(*obj, makeRay(origin, dirs[i], tMin, tMax));
                decided += !e[i].undecidable;
                hits += !e[i].undecidable && e[i].hit;
            }
            expectAllForms(*obj, origin, dirs, tMin, tMax, e, kind.offset, tex);
        }
        EXPECT_GT(decided, 1200);
        EXPECT_GT(hits, 300);
    }
}

// Hand-worked ends: a parallelogram's edges are half-open (tiles sharing an edge are hit once;
// the default plane is 1 wide, sx = 5); a sphere's roots count strictly inside the interval (a
// bent path's next piece leaving the surface does not meet it again); a static sphere exists at
// all times (grazing: t = 10 cos - sqrt(1 - 100 sin^2)); an empty lifetime never.
TEST(RtObjContract, HandWorkedRaysAtEveryPacketSize) {
    rtObjPlane plane;
    plane.pos = Vec4f(0, 0, 5, 0);
    plane.update();
    rtObjSphere<1> unit, ahead;
    unit.radius = ahead.radius = 1.0f;
    ahead.center = Vec4f(0, 0, 10, 0);
    unit.update();
    ahead.update();
    rtObjSphere<0> never;
    never.center = ahead.center;
    never.tmin = 5;
    never.tmax = 4;
    never.update();
    const double sinA = 0.9 / std::sqrt(100.81), cosA = 10 / std::sqrt(100.81);
    const struct {
        rtObjBase* obj;
        Vec4f origin, dir;
        float tMax;
        double t;  // 0: a miss
    } cases[] = {
        {&plane, Vec4f(0, 0.3f, 0, 0), Vec4f(0, 0, 1, 0), kFar, 5},
        {&plane, Vec4f(1, 0.3f, 0, 0), Vec4f(0, 0, 1, 0), kFar, 0},
        {&unit, Vec4f(0, 0, -1, 0), Vec4f(0, 0, -1, 0), kFar, 0},
        {&unit, Vec4f(0, 0, 0, 0), Vec4f(0, 0, 1, 0), 1.0f, 0},
        {&ahead, Vec4f(0, 0, 0, 0.6f), Vec4f(0, 0, 1, 0), kFar, 9},
        {&ahead, Vec4f(0, 0, 0, 0.6f), unitDir(Vec4f(0, 0.9f, 10, 0)), kFar,
         10 * cosA - std::sqrt(1 - 100 * sinA * sinA)},
        {&never, Vec4f(0, 0, 0, 0), Vec4f(0, 0, 1, 0), kFar, 0},
    };
    RecordingTexture tex;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        Vec4f dirs[16];
        std::fill(dirs, dirs + 16, c.dir);
        Expected e[16];
        std::fill(e, e + 16, Expected{false, c.t != 0, c.t});
        expectAllForms(*c.obj, c.origin, dirs, 0, c.tMax, e, nullptr, tex);
    }
}

// A tree build may ask a render worker, which rounds down, for an object's box (spheres, planes
// and cubes work it out when asked): it must get the floats the thread that sets frames up gets.
// 1 + 0.75 ulp rounds up to nearest, down to 1.
TEST(RtObjBoxes, AreTheSameOnEveryThread) {
    volatile float one = 1.0f, tiny = 9e-8f;  // not folded by the compiler, which rounds to nearest
    const uint32_t saved = fpControl();
    setFpControl(roundingDown(saved));
    const float rawDown = one + tiny;
    setFpControl(saved);
    ASSERT_NE(rawDown, one + tiny);  // the case does round apart

    rtObjSphere<1> sphere;
    sphere.center = Vec4f(one, 0.2f, 0.3f, 0.0f);
    sphere.radius = tiny;
    rtObjSphere<0> moving;
    moving.center = Vec4f(0.0f, 0.2f, 0.3f, 0.0f);
    moving.mov = Vec4f(one, 0.0f, 0.0f, 0.0f);
    moving.tmax = 1.0f;
    moving.radius = tiny;
    rtObjPlane plane;
    plane.pos = Vec4f(one, 0.0f, 0.0f, 0.0f);
    plane.x = Vec4f(tiny, 0.0f, 0.0f, 0.0f);
    rtObjCube cube;  // its far corners are added up when its faces are built
    cube.pos = Vec4f(one, 0.0f, 0.0f, 0.0f);
    cube.x = Vec4f(tiny, 0.0f, 0.0f, 0.0f);
    std::vector<rtObjBase*> built;
    cube.collectPrimitives(built);
    const rtObjBase* objects[] = {&sphere, &moving, &plane, &cube};
    for (const rtObjBase* o : objects) {
        const_cast<rtObjBase*>(o)->update();
        const BoundingBox nearest = o->boundingBox();
        setFpControl(roundingDown(saved));
        const BoundingBox down = o->boundingBox();
        setFpControl(saved);
        EXPECT_EQ(std::memcmp(&nearest, &down, sizeof nearest), 0) << typeid(*o).name();
        EXPECT_EQ(nearest.max.x, one + tiny) << typeid(*o).name();
    }
    EXPECT_EQ(fpControl(), saved);

    // A skewed parallelogram, each of whose four corners bounds it somewhere: (1, 2, 3),
    // (3, 3, 3), (0, 2, 6) and (2, 3, 6).
    plane.pos = Vec4f(1, 2, 3, 0);
    plane.x = Vec4f(2, 1, 0, 0);
    plane.y = Vec4f(-1, 0, 3, 0);
    plane.update();
    const BoundingBox box = plane.boundingBox();
    const float want[2][3] = {{0, 2, 3}, {3, 3, 6}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(box.min[i], want[0][i]) << i;
        EXPECT_EQ(box.max[i], want[1][i]) << i;
    }
}

// Hand-worked boxes: the static sphere's for all time, the moving sphere's over its swept path
// (the centre ends at (5, 2, 1)) and lifetime. The bounds bundles test first hold the moving
// sphere at its start, half-way and end, and the static sphere with a room of 2e-3 (1 + 3 + 3 +
// 0.5): its largest coordinate, counted twice, and its radius.
TEST(RtObjSphere, BoxesCoverTheSphereAndTheSweptPath) {
    rtObjSphere<1> s;
    s.center = Vec4f(1, 2, 3, 4);
    s.update();
    rtObjSphere<0> m;
    m.center = Vec4f(1, 2, 3, 0);
    m.mov = Vec4f(2, 0, -1, 0);
    m.tmin = 1;
    m.tmax = 3;
    m.update();
    const BoundingBox sb = s.boundingBox(), mb = m.boundingBox();
    const float want[4][4] = {{0.5f, 1.5f, 2.5f, -9996},
                              {1.5f, 2.5f, 3.5f, 10004},
                              {0.5f, 1.5f, 0.5f, 1},
                              {5.5f, 2.5f, 3.5f, 3}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(sb.min[i], want[0][i]) << i;
        EXPECT_FLOAT_EQ(sb.max[i], want[1][i]) << i;
        EXPECT_FLOAT_EQ(mb.min[i], want[2][i]) << i;
        EXPECT_FLOAT_EQ(mb.max[i], want[3][i]) << i;
    }
    const BoundingBox sh = s.hitBounds();
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(sh.min[i], want[0][i] - 0.015f, 1e-6f) << i;
        EXPECT_NEAR(sh.max[i], want[1][i] + 0.015f, 1e-6f) << i;
    }
    for (const Vec4f& centre : {Vec4f(1, 2, 3, 0), Vec4f(3, 2, 2, 0), Vec4f(5, 2, 1, 0)})
        for (int i = 0; i < 3; ++i) {
            EXPECT_LE(m.hitBounds().min[i], centre[i] - 0.5f) << i;
            EXPECT_GE(m.hitBounds().max[i], centre[i] + 0.5f) << i;
        }
}

// The velocity is held apart from the object and shares a word with the flags the walks read
// (hit bounds kept, how the wide walk tests the kind): setting, clearing, copying and cloning it
// must leave each kind's flags as they were, and copies must own their velocity.
TEST(RtObjVelocity, CopiesOwnTheirVelocityAndEveryKindKeepsItsFlags) {
    using Wide = rtObjBase::WideTest;
    const struct {
        std::function<std::unique_ptr<rtObjBase>()> make;
        bool keepsBounds;
        Wide wide;
    } kinds[] = {
        {[] { return std::make_unique<rtObjSphere<1>>(); }, false, Wide::Call},
        {[] { return std::make_unique<rtObjSphere<0>>(); }, true, Wide::Call},
        {[] { return std::make_unique<rtObjPlane>(); }, true, Wide::Parallelogram},
        {[] { return std::make_unique<rtObjCube>(); }, true, Wide::Cube},
    };
    const Vec4f zero(0, 0, 0, 0), v(0.3f, -0.1f, 0.2f, 0.0f), u(0.0f, 0.5f, 0.0f, 0.0f);
    const Vec4f onlyW(0, 0, 0, 5);  // not zero: a file's fourth number is kept as written
    auto same = [](const Vec4f& a, const Vec4f& b) {
        return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
    };
    for (const auto& kind : kinds) {
        std::unique_ptr<rtObjBase> object = kind.make();
        const std::string name = typeid(*object).name();
        auto flagsHold = [&](const rtObjBase& o) {
            EXPECT_EQ(o.keepsHitBounds(), kind.keepsBounds) << name;
            EXPECT_EQ(o.wideTest(), kind.wide) << name;
        };
        flagsHold(*object);
        EXPECT_TRUE(same(object->velocity(), zero)) << name;
        for (const Vec4f& w : {v, u, onlyW, zero, v}) {
            object->setVelocity(w);
            EXPECT_TRUE(same(object->velocity(), w)) << name;
            flagsHold(*object);
        }
        std::unique_ptr<rtObjBase> copy(object->clone());
        std::unique_ptr<rtObjBase> other = kind.make();
        other->setVelocity(u);
        other->copyFrom(*object);
        object->setVelocity(u);  // the copies hold their own
        EXPECT_TRUE(same(copy->velocity(), v)) << name;
        EXPECT_TRUE(same(other->velocity(), v)) << name;
        object.reset();
        EXPECT_TRUE(same(copy->velocity(), v)) << name;
        flagsHold(*copy);
        flagsHold(*other);
        other->copyFrom(*kind.make());  // copying an object at rest frees the velocity
        EXPECT_TRUE(same(other->velocity(), zero)) << name;
        flagsHold(*other);
    }
    rtObjPlane plane;  // copy-constructed too, which clone() does not use
    plane.setVelocity(v);
    const rtObjPlane copied(plane);
    plane.setVelocity(zero);
    EXPECT_TRUE(same(copied.velocity(), v));
    EXPECT_TRUE(copied.keepsHitBounds());
    EXPECT_EQ(copied.wideTest(), Wide::Parallelogram);

    rtObjSphere<1> sphere;
    sphere.setVelocity(v);
    EXPECT_TRUE(sphere.isMoving());
    sphere.setVelocity(onlyW);
    EXPECT_FALSE(sphere.isMoving());
}
