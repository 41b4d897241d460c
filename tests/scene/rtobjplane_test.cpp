// Parallelogram planes: derived fields, hits against a double-precision reference, agreement of
// the single-ray, 4-ray and 16-ray paths, their deliberate differences, shading and tracing.
#include "scene/rtobjplane.h"

#include <gtest/gtest.h>

#include <memory>

#include "scene/dataelem.h"
#include "tests/scene/rtobjtesthelpers.h"

using namespace objtest;

namespace {

// Where a ray meets the plane, solved in double: t from the plane equation, then the texture
// coordinates a, b as the projections of q = p - pos onto the edges, q.x / |x|^2 and q.y / |y|^2
// (the hit region is 0 <= a < 1, 0 <= b < 1; for rectangles exactly the parallelogram).
struct PlaneRef {
    bool parallel = false;
    double t = 0, a = 0, b = 0, cosine = 0;
};

PlaneRef planeReference(const rtObjPlane& p, const SingleRay& r) {
    PlaneRef ref;
    const D3 x = d3(p.x), y = d3(p.y), o = d3(r.origin), d = d3(r.dir), pos = d3(p.pos);
    const D3 n = cross(x, y);
    const double dn = dot(d, n);
    ref.cosine = dn / (len(n) * len(d));
    if (std::fabs(ref.cosine) < 1e-3) {
        ref.parallel = true;
        return ref;
    }
    ref.t = dot(pos - o, n) / dn;
    const D3 q = o + d * ref.t - pos;
    ref.a = dot(q, x) / dot(x, x);
    ref.b = dot(q, y) / dot(y, y);
    return ref;
}

std::unique_ptr<rtObjPlane> randomPlane(Rng& rng) {
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
    return p;
}

// A ray from a random origin aimed near the parallelogram (some inside, some outside).
SingleRay rayNear(Rng& rng, const rtObjPlane& p, const Vec4f& origin) {
    const Vec4f target = p.pos + p.x * float(rng.uni(-0.3, 1.3)) + p.y * float(rng.uni(-0.3, 1.3));
    const Vec4f d = target - origin;
    return makeRay(origin, unitDir(d.x, d.y, d.z));
}

bool nearBoundary(const PlaneRef& ref, const SingleRay& r) {
    const double m = 1e-4;
    return ref.parallel || std::fabs(ref.a) < m || std::fabs(ref.a - 1) < m ||
           std::fabs(ref.b) < m || std::fabs(ref.b - 1) < m ||
           std::fabs(ref.t - r.tMin) < m * (1 + std::fabs(ref.t)) ||
           std::fabs(ref.t - r.tMax) < m * (1 + std::fabs(ref.t));
}

}  // namespace

TEST(RtObjPlane, UpdateDerivesAxesNormalBoxAndArea) {
    rtObjPlane p;
    p.pos = Vec4f(1, 2, 3, 7);
    p.x = Vec4f(2, 0, 0, 0);
    p.y = Vec4f(0, 0, 4, 0);
    p.sx = 3;
    p.sy = 8;
    p.update();
    EXPECT_FLOAT_EQ(p.xs.x, 1.5f);  // 2 * 3 / 4
    EXPECT_FLOAT_EQ(p.ys.z, 2.0f);  // 4 * 8 / 16
    EXPECT_FLOAT_EQ(p.uLimit, 3.0f);
    EXPECT_FLOAT_EQ(p.vLimit, 8.0f);
    // x cross z = -y
    EXPECT_FLOAT_EQ(p.normal.y, -1.0f);
    EXPECT_FLOAT_EQ(p.normal.x, 0.0f);
    EXPECT_FLOAT_EQ(p.normal.w, 0.0f);
    EXPECT_FLOAT_EQ(p.hitOffset.y, -hitOffsetScale);
    EXPECT_FLOAT_EQ(p.area, 2.0f * 4.0f * 2.0f);
    // The plane exists at all times, whatever pos.w says.
    expectBox(p.boundingBox(), {1, 2, 3, -10000}, {3, 2, 7, 10000});
}

TEST(RtObjPlane, SkewedPlaneBoxCoversAllFourCorners) {
    rtObjPlane p;
    p.pos = Vec4f(0, 0, 0, 0);
    p.x = Vec4f(2, -1, 0, 0);
    p.y = Vec4f(-1, 3, 1, 0);
    p.update();
    expectBox(p.box, {-1, -1, 0, -10000}, {2, 3, 1, 10000});
}

TEST(RtObjPlane, SingleRayHitsMatchDoubleReference) {
    Rng rng(1234);
    int hits = 0, misses = 0;
    for (int k = 0; k < 40; ++k) {
        auto p = randomPlane(rng);
        for (int i = 0; i < 250; ++i) {
            SingleRay r = rayNear(rng, *p, rng.point(12.0, 3.0));
            if (i % 3 == 0) r.tMax = float(rng.uni(1.0, 20.0));
            if (i % 5 == 0) r.tMin = float(rng.uni(0.0, 10.0));
            if (i % 7 == 0) r.dir = -r.dir, r.dir.w = 1.0f;  // many of these point away
            const PlaneRef ref = planeReference(*p, r);
            if (nearBoundary(ref, r)) continue;
            const bool expected = ref.t >= r.tMin && ref.t <= r.tMax && ref.a >= 0 && ref.a < 1 &&
                                  ref.b >= 0 && ref.b < 1;
            float t = hit1(*p, r);
            ASSERT_EQ(t != kNoDistance, expected)
                << "plane " << k << " ray " << i << " t " << t << " ref " << ref.t << " a " << ref.a
                << " b " << ref.b << " u " << r.u << " v " << r.v << " tmax " << r.tMax;
            EXPECT_EQ(p->occluded1(r), expected);
            if (!expected) {
                ++misses;
                continue;
            }
            ++hits;
            EXPECT_NEAR(t, ref.t, 1e-4 * (1 + std::fabs(ref.t)));
            EXPECT_NEAR(r.u, ref.a * p->sx, 1e-3);
            EXPECT_NEAR(r.v, ref.b * p->sy, 1e-3);
            EXPECT_EQ(r.hitOffset.x, p->hitOffset.x);
            EXPECT_EQ(r.hitOffset.y, p->hitOffset.y);
            EXPECT_EQ(r.hitOffset.z, p->hitOffset.z);
        }
    }
    EXPECT_GT(hits, 1500);
    EXPECT_GT(misses, 1500);
}

// For skewed edges the accepted region is given by the projections onto the edges, not by the
// oblique edge coordinates: x = (1, 0, 0), y = (1, 1, 0) accept (0.1, 1.8) (projections 0.1 and
// 0.95) although that point lies outside the parallelogram spanned by x and y.
TEST(RtObjPlane, SkewedEdgesAcceptTheProjectionRegion) {
    rtObjPlane p;
    p.x = Vec4f(1, 0, 0, 0);
    p.y = Vec4f(1, 1, 0, 0);
    p.sx = p.sy = 1;
    p.update();
    SingleRay r = makeRay(Vec4f(0.1f, 1.8f, -1, 0), unitDir(0, 0, 1));
    EXPECT_FLOAT_EQ(hit1(p, r), 1.0f);
    EXPECT_FLOAT_EQ(r.u, 0.1f);
    EXPECT_FLOAT_EQ(r.v, 0.95f);
    r = makeRay(Vec4f(1.5f, 0.2f, -1, 0), unitDir(0, 0, 1));  // inside, but projection 1.5
    EXPECT_EQ(hit1(p, r), kNoDistance);
}

TEST(RtObjPlane, MissWritesNothing) {
    rtObjPlane p;
    p.pos = Vec4f(0, 0, 5, 0);
    p.update();
    SingleRay r = makeRay(Vec4f(-1, 0.5f, 0, 0), unitDir(0, 0, 1));  // u = -5
    r.u = 42;
    r.v = 43;
    EXPECT_EQ(hit1(p, r), kNoDistance);
    EXPECT_EQ(r.u, 42);
    EXPECT_EQ(r.v, 43);
    EXPECT_EQ(r.hitOffset.z, 0.0f);
}

// Single rays, 4-ray bundles (own origins and first origin) and 16-ray bundles compute the same
// distance and surface coordinates for every ray whose hit lies clear of the interval ends and
// edges (where inclusive and strict tests differ).
TEST(RtObjPlane, SingleFourAndSixteenRayPathsAgree) {
    Rng rng(99);
    int compared = 0, hitLanes = 0;
    for (int k = 0; k < 60; ++k) {
        auto p = randomPlane(rng);
        const Vec4f origin = rng.point(12.0, 3.0);
        p->prepareForOrigin(origin);
        SingleRay rays[16];
        Vec4f dirs[16];
        for (int i = 0; i < 16; ++i) {
            rays[i] = rayNear(rng, *p, origin);
            dirs[i] = Vec4f(rays[i].dir.x, rays[i].dir.y, rays[i].dir.z, 0);
        }
        alignas(16) RayBundle16 b16;
        makeBundle16(b16, origin, dirs, 0.0f, 30.0f);
        LaneMask4 hits16[4];
        const bool any16 = p->intersect16(b16, hits16);
        alignas(16) RayBundle16 b16alt;
        makeBundle16(b16alt, origin, dirs, 0.0f, 30.0f);
        LaneMask4 hits16alt[4];
        p->intersect16Alt(b16alt, hits16alt);
        EXPECT_EQ(combineMasks(hits16), combineMasks(hits16alt));
        bool anySingle = false;
        for (int g = 0; g < 4; ++g) {
            alignas(16) RayBundle4 b4, b4alt;
            makeBundle4(b4, origin, &dirs[4 * g], 0.0f, 30.0f);
            makeBundle4(b4alt, origin, &dirs[4 * g], 0.0f, 30.0f);
            const int m4 = movemask(p->intersect4(b4));
            const int m4alt = movemask(p->intersect4Alt(b4alt));
            for (int l = 0; l < 4; ++l) {
                SingleRay& r = rays[4 * g + l];
                r.tMax = 30.0f;
                float t = hit1(*p, r);
                const bool hitSingle = t != kNoDistance;
                anySingle |= hitSingle;
                if (hitSingle && (r.u == 0 || r.v == 0 || t == r.tMin || t == r.tMax)) continue;
                ++compared;
                const bool hit16 = hits16[g].lane(l);
                EXPECT_EQ(hit16, hitSingle);
                EXPECT_EQ(((m4 >> l) & 1) != 0, hitSingle);
                EXPECT_EQ(((m4alt >> l) & 1) != 0, hitSingle);
                EXPECT_EQ(b16.live[g].lane(l), !hitSingle);
                EXPECT_EQ(b4.live.lane(l), !hitSingle);
                if (!hitSingle) {
                    EXPECT_EQ(b16.tHit[g][l], kNoHit);
                    continue;
                }
                ++hitLanes;
                EXPECT_FLOAT_EQ(b16.tHit[g][l], t);
                EXPECT_FLOAT_EQ(b16.u[g][l], r.u);
                EXPECT_FLOAT_EQ(b16.v[g][l], r.v);
                EXPECT_FLOAT_EQ(b4.tHit[l], t);
                EXPECT_FLOAT_EQ(b4.u[l], r.u);
                EXPECT_FLOAT_EQ(b4.v[l], r.v);
                EXPECT_FLOAT_EQ(b4alt.u[l], r.u);
            }
        }
        EXPECT_EQ(any16, anySingle);
    }
    EXPECT_GT(compared, 900);
    EXPECT_GT(hitLanes, 300);
}

TEST(RtObjPlane, BundlesKeepNearerHitsAndRespectIntervals) {
    rtObjPlane p;
    p.pos = Vec4f(0, 0, 5, 0);
    p.update();
    const Vec4f o(0.5f, 0.5f, 0, 0);
    p.prepareForOrigin(o);
    const Vec4f d = unitDir(0, 0, 1);
    const Vec4f dirs[4] = {d, d, d, d};
    alignas(16) RayBundle4 b;
    makeBundle4(b, o, dirs);
    b.tHit = Vec4f(kNoHit, 4.0f, kNoHit, kNoHit);  // lane 1 already has a nearer hit
    b.tMax = Vec4f(kFar, kFar, 5.0f, kFar);        // lane 2 ends exactly at the plane
    b.tMin = Vec4f(0, 0, 0, 5.0f);                 // lane 3 starts exactly at the plane
    b.u = Vec4f(-1.0f);
    const LaneMask4 m = p.intersect4(b);
    EXPECT_EQ(movemask(m), 0x1);
    EXPECT_EQ(movemask(b.live), 0xe);
    EXPECT_FLOAT_EQ(b.tHit[0], 5.0f);
    EXPECT_FLOAT_EQ(b.tHit[1], 4.0f);
    EXPECT_FLOAT_EQ(b.u[0], 2.5f);
    EXPECT_FLOAT_EQ(b.u[1], -1.0f);  // rejected lanes keep their coordinates

    // The single ray's interval is inclusive at both ends.
    SingleRay r = makeRay(o, d, 0.0f, 5.0f);
    EXPECT_FLOAT_EQ(hit1(p, r), 5.0f);
    r = makeRay(o, d, 5.0f, kFar);
    EXPECT_FLOAT_EQ(hit1(p, r), 5.0f);
}

// Edges are half-open at every packet size: u = 0 belongs to the plane, u = sx does not, so
// that two tiles sharing an edge are hit exactly once there.
TEST(RtObjPlane, EdgeAtZeroIsAcceptedByEveryPacketSize) {
    rtObjPlane p;
    p.pos = Vec4f(0, 0, 5, 0);
    p.update();
    const Vec4f o(0, 0.3f, 0, 0);  // straight onto the edge u = 0
    p.prepareForOrigin(o);
    const Vec4f d = unitDir(0, 0, 1);
    SingleRay r = makeRay(o, d);
    EXPECT_FLOAT_EQ(hit1(p, r), 5.0f);
    EXPECT_EQ(r.u, 0.0f);
    EXPECT_FLOAT_EQ(r.v, 1.5f);
    EXPECT_TRUE(p.occluded1(r));
    const Vec4f dirs[4] = {d, d, d, d};
    alignas(16) RayBundle4 b4;
    makeBundle4(b4, o, dirs);
    EXPECT_EQ(movemask(p.intersect4(b4)), 0xf);
    EXPECT_EQ(b4.u[2], 0.0f);
    makeBundle4(b4, o, dirs);
    EXPECT_EQ(movemask(p.intersect4Alt(b4)), 0xf);
    Vec4f dirs16[16];
    for (Vec4f& x : dirs16) x = d;
    alignas(16) RayBundle16 b16;
    makeBundle16(b16, o, dirs16);
    LaneMask4 hits[4];
    EXPECT_TRUE(p.intersect16(b16, hits));
    EXPECT_EQ(combineMasks(hits), 0xffff);
    EXPECT_EQ(combineMasks(b16.live), 0);

    // The far edges u = sx are excluded by all (the plane is 1 wide, sx = 5).
    const Vec4f o2(1.0f, 0.3f, 0, 0);
    p.prepareForOrigin(o2);
    r = makeRay(o2, d);
    EXPECT_EQ(hit1(p, r), kNoDistance);
    makeBundle4(b4, o2, dirs);
    EXPECT_EQ(movemask(p.intersect4(b4)), 0);
    makeBundle16(b16, o2, dirs16);
    EXPECT_FALSE(p.intersect16(b16, hits));
}

// intersect4 measures u, v from each lane's own origin, intersect4Alt from the first origin;
// both take the distance from the prepared common origin.
TEST(RtObjPlane, FourRayFormsDifferInWhichOriginTheyUse) {
    rtObjPlane p;
    p.pos = Vec4f(0, 0, 5, 0);
    p.update();
    const Vec4f o(0.1f, 0.1f, 0, 0);
    p.prepareForOrigin(o);
    const Vec4f d = unitDir(0, 0, 1);
    const Vec4f origins[4] = {o, Vec4f(0.5f, 0.1f, 0, 0), Vec4f(0.1f, 0.7f, 0, 0),
                              Vec4f(3.0f, 0.1f, 0, 0)};
    const Vec4f dirs[4] = {d, d, d, d};
    alignas(16) RayBundle4 own, first;
    makeBundle4(own, origins, dirs);
    makeBundle4(first, origins, dirs);
    EXPECT_EQ(movemask(p.intersect4(own)), 0x7);  // lane 3 lies beside the plane
    EXPECT_EQ(movemask(p.intersect4Alt(first)), 0xf);
    EXPECT_FLOAT_EQ(own.u[1], 2.5f);
    EXPECT_FLOAT_EQ(own.v[2], 3.5f);
    for (int l = 0; l < 4; ++l) {
        EXPECT_FLOAT_EQ(first.u[l], 0.5f);
        EXPECT_FLOAT_EQ(first.v[l], 0.5f);
        EXPECT_FLOAT_EQ(first.tHit[l], 5.0f);
    }
}

TEST(RtObjPlane, ShadingFactorIsTheAbsoluteCosineAtEveryPacketSize) {
    RecordingTexture tex;
    rtObjPlane p;
    p.pos = Vec4f(0, 0, 5, 0);
    p.texture = &tex;
    p.update();  // normal +z
    ASSERT_FLOAT_EQ(p.normal.z, 1.0f);
    const Vec4f dirs[2] = {unitDir(0.03f, 0, -1), unitDir(0.03f, 0, 1)};  // from +z side, -z side
    const Vec4f origins[2] = {Vec4f(0.2f, 0.5f, 10, 0), Vec4f(0.2f, 0.5f, 0, 0)};
    for (int side = 0; side < 2; ++side) {
        const Vec4f o = origins[side], d = dirs[side];
        const float cosine = std::fabs(d.z);
        p.prepareForOrigin(o);

        SingleRay r = makeRay(o, d);
        float t = hit1(p, r);
        ASSERT_NE(t, kNoDistance);
        const float u = r.u, v = r.v;
        r.u = r.v = -7;  // shade1 recomputes them from t
        p.shade1(r, t);
        EXPECT_FLOAT_EQ(tex.factor1, cosine);
        EXPECT_FLOAT_EQ(tex.u1, u);
        EXPECT_FLOAT_EQ(tex.v1, v);
        EXPECT_FLOAT_EQ(r.u, u);

        const Vec4f os[4] = {o, o, o, o};
        const Vec4f ds[4] = {d, d, d, d};
        alignas(16) RayBundle4 b4;
        makeBundle4(b4, os, ds);
        const LaneMask4 m4 = p.intersect4(b4);
        ASSERT_EQ(movemask(m4), 0xf);
        p.shade4(b4, LaneMask4::fromBits(0x5));
        EXPECT_EQ(tex.mask4, 0x5);
        EXPECT_FLOAT_EQ(tex.factor4[0], cosine);
        EXPECT_FLOAT_EQ(tex.u4[0], u);

        Vec4f d16[16];
        for (Vec4f& x : d16) x = d;
        alignas(16) RayBundle16 b16;
        makeBundle16(b16, o, d16);
        LaneMask4 hits[4];
        ASSERT_TRUE(p.intersect16(b16, hits));
        p.shade16(b16, hits);
        EXPECT_EQ(tex.mask16, 0xffff);
        EXPECT_FLOAT_EQ(tex.factor16[3][2], cosine);
        EXPECT_FLOAT_EQ(tex.v16[3][2], v);
    }
}

TEST(RtObjPlane, TracedHitIsReportedAndMissIsNot) {
    rtObjPlane p;
    p.pos = Vec4f(0, 0, 5, 0);
    p.x = Vec4f(2, 0, 0, 0);
    p.update();
    SingleRay r = makeRay(Vec4f(0.5f, 0.5f, 1.5f, 0), unitDir(0, 0, 1));
    r.trace = 1;
    float t = kNoDistance;
    testing::internal::CaptureStdout();
    p.intersect1(r, t);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "PLANEHIT: with propersties:\nDistance 3.5\npos 0;0;5;0\nx 2;0;0;0\ny 0;1;0;0\n");

    r = makeRay(Vec4f(-0.5f, 0.5f, 0, 0), unitDir(0, 0, 1));
    r.trace = 1;
    testing::internal::CaptureStdout();
    t = hit1(p, r);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    r = makeRay(Vec4f(0.5f, 0.5f, 0, 0), unitDir(0, 0, 1));  // hit without the trace flag
    testing::internal::CaptureStdout();
    p.intersect1(r, t);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(RtObjPlane, PropertiesInFileOrderWithDefaults) {
    rtObjPlane p;
    EXPECT_EQ(propertyText(p), "name=|pos=0;0;0;0|x=1;0;0;0|y=0;1;0;0|sx=5|sy=5|texname=");
}

// A clone and a copy carry the derived fields and stay apart from the original.
TEST(RtObjPlane, CopyFromAndCloneAreIndependent) {
    rtObjPlane p;
    p.pos = Vec4f(1, 1, 1, 0);
    p.y = Vec4f(0, 0, 3, 0);
    p.sy = 2;
    p.update();
    std::unique_ptr<rtObjBase> c(p.clone());
    auto* q = dynamic_cast<rtObjPlane*>(c.get());
    ASSERT_NE(q, nullptr);
    p.pos = Vec4f(9, 9, 9, 0);
    p.update();
    EXPECT_FLOAT_EQ(q->box.min.x, 1.0f);
    rtObjPlane r;
    r.copyFrom(*q);
    EXPECT_FLOAT_EQ(r.ys.z, 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(r.vLimit, 2.0f);
}

TEST(RtObjPlane, BaseMembersCollectItselfAndPrintTheBox) {
    rtObjPlane p;
    p.pos = Vec4f(1, 2, 3, 0);
    p.update();
    std::vector<rtObjBase*> list;
    p.collectPrimitives(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], &p);
    testing::internal::CaptureStdout();
    p.printBoundingBox();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("1;2;3;-10000"), std::string::npos) << out;
    EXPECT_NE(out.find("2;3;3;10000"), std::string::npos) << out;
}
