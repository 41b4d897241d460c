// Slab clipping of the ray records against hand-worked boxes, and infinities from axis-parallel
// rays.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry/raybundle.h"

namespace {
SingleRay rayFrom(Vec4f o, Vec4f d) {
    SingleRay r{};
    r.origin = o;
    r.dir = d;
    r.invDir = Vec4f(1.0f / d.x, 1.0f / d.y, 1.0f / d.z, 1.0f);
    return r;
}
}  // namespace

TEST(ClipToBox, SingleRayEntersAndLeavesTheBox) {
    const BoundingBox box(Vec4f(-1, -1, -1, 0), Vec4f(1, 1, 1, 0));
    SingleRay r = rayFrom(Vec4f(-5, 0.5f, 0, 0), Vec4f(1, 0, 0, 1));
    clipToBox(box, r);
    EXPECT_FLOAT_EQ(r.tMin, 4.0f);
    EXPECT_FLOAT_EQ(r.tMax, 6.0f);
    clipToBox(box, r, 5.0f);
    EXPECT_FLOAT_EQ(r.tMax, 5.0f);
    // From inside, the interval starts at 0.
    SingleRay in = rayFrom(Vec4f(0, 0, 0, 0), Vec4f(0, 0, 1, 1));
    clipToBox(box, in);
    EXPECT_EQ(in.tMin, 0.0f);
    EXPECT_FLOAT_EQ(in.tMax, 1.0f);
}

TEST(ClipToBox, AxisParallelRayMissingTheSlabGetsEmptyInterval) {
    const BoundingBox box(Vec4f(-1, -1, -1, 0), Vec4f(1, 1, 1, 0));
    // Parallel to x at y = 2: outside the y slab, so the interval is empty without any trap.
    SingleRay r = rayFrom(Vec4f(-5, 2, 0, 0), Vec4f(1, 0, 0, 1));
    EXPECT_TRUE(std::isinf(r.invDir.y));
    clipToBox(box, r);
    EXPECT_FALSE(r.tMin < r.tMax);
}

TEST(ClipToBox, BundleSetsLiveLanes) {
    const BoundingBox box(Vec4f(-1, -1, -1, 0), Vec4f(1, 1, 1, 0));
    RayBundle16 b{};
    for (auto& o : b.origin) o = Vec4f(0, 0, -5, 0);
    for (int g = 0; g < 4; ++g) {
        // Lanes 0 and 2 point at the box, lanes 1 and 3 far off to the side.
        b.dir[g].x = Vec4f(0, 1, 0, -1);
        b.dir[g].y = Vec4f(0, 0, 0.1f, 0);
        b.dir[g].z = Vec4f(1, 0, 1, 0);
        b.invDir[g].x = Vec4f(1.0f) / b.dir[g].x;
        b.invDir[g].y = Vec4f(1.0f) / b.dir[g].y;
        b.invDir[g].z = Vec4f(1.0f) / b.dir[g].z;
    }
    clipToBox(box, b);
    EXPECT_EQ(combineMasks(b.live), 0x5555);
    EXPECT_FLOAT_EQ(b.tMin[0].x, 4.0f);
    EXPECT_FLOAT_EQ(b.tMax[0].x, 6.0f);
}
