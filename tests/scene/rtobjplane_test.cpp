// Parallelogram planes: the half-open edges at every packet size and the origins the two 4-ray
// forms use. Hits, coordinates and shading against the double reference at every packet size are
// in the object contract test, which leaves edges out as undecidable.
#include "scene/rtobjplane.h"

#include <gtest/gtest.h>

#include "tests/scene/rtobjtesthelpers.h"

using namespace objtest;

// Edges are half-open at every packet size: u = 0 belongs to the plane, u = sx does not, so
// that two tiles sharing an edge are hit exactly once there (the plane is 1 wide, sx = 5).
TEST(RtObjPlane, EdgeAtZeroIsInsideAndTheFarEdgeOutsideAtEveryPacketSize) {
    rtObjPlane p;
    p.pos = Vec4f(0, 0, 5, 0);
    p.update();
    const Vec4f d = unitDir(0, 0, 1);
    const Vec4f dirs[16] = {d, d, d, d, d, d, d, d, d, d, d, d, d, d, d, d};
    for (const float x : {0.0f, 1.0f}) {
        const bool inside = x == 0.0f;
        const Vec4f o(x, 0.3f, 0, 0);
        p.prepareForOrigin(o);
        SingleRay r = makeRay(o, d);
        EXPECT_EQ(hit1(p, r), inside ? 5.0f : kNoDistance) << x;
        EXPECT_EQ(p.occluded1(r), inside);
        if (inside) {
            EXPECT_EQ(r.u, 0.0f);
            EXPECT_FLOAT_EQ(r.v, 1.5f);
        }
        alignas(16) RayBundle4 b4;
        makeBundle4(b4, o, dirs);
        EXPECT_EQ(movemask(p.intersect4(b4)), inside ? 0xf : 0) << x;
        makeBundle4(b4, o, dirs);
        EXPECT_EQ(movemask(p.intersect4Alt(b4)), inside ? 0xf : 0) << x;
        alignas(16) RayBundle16 b16;
        makeBundle16(b16, o, dirs);
        LaneMask4 hits[4];
        EXPECT_EQ(p.intersect16(b16, hits), inside) << x;
        EXPECT_EQ(combineMasks(hits), inside ? 0xffff : 0);
        EXPECT_EQ(combineMasks(b16.live), inside ? 0 : 0xffff);
    }
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
