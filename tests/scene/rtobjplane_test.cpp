// Parallelogram planes: the box of skewed edges, the accepted region, half-open edges at every
// packet size, the origins the two 4-ray forms use, and shading. Hits against the double
// reference at every packet size are in the object contract test.
#include "scene/rtobjplane.h"

#include <gtest/gtest.h>

#include "tests/scene/rtobjtesthelpers.h"

using namespace objtest;

TEST(RtObjPlane, SkewedPlaneBoxCoversAllFourCorners) {
    rtObjPlane p;
    p.pos = Vec4f(0, 0, 0, 0);
    p.x = Vec4f(2, -1, 0, 0);
    p.y = Vec4f(-1, 3, 1, 0);
    p.update();
    expectBox(p.box, {-1, -1, 0, -10000}, {2, 3, 1, 10000});
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

// intersect4 takes the distance from the prepared common origin and u, v from each lane's own
// origin; intersect4Alt (light bending, whose lanes start from their own path points) takes both
// from each lane's own origin.
TEST(RtObjPlane, FourRayFormsDifferInWhichOriginTheyUse) {
    rtObjPlane p;
    p.pos = Vec4f(0, 0, 5, 0);
    p.update();
    const Vec4f o(0.1f, 0.1f, 0, 0);
    p.prepareForOrigin(o);
    const Vec4f d = unitDir(0, 0, 1);
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
