// The light-path table's lookup: root choice and clamping, the 4-lane start against single
// starts, the step rules on a hand-built table, point evaluation, and regeneration bookkeeping.
#include "accel/lightpathtree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "accel/lightpathgenerator.h"

namespace {

// Root index by the definition, computed independently in double.
int expectedRoot(const LightPathTree& t, float angle) {
    const double q =
        (double(angle) - t.angleMin()) / ((double(t.angleMax()) - t.angleMin()) / t.rootCount());
    const int i = int(std::floor(q));
    return std::min(std::max(i, 0), t.rootCount() - 1);
}

}  // namespace

TEST(LightPathTree, StartClampsToFirstAndLastRoot) {
    LightPathTree tree;
    const float s = tree.rootWidth();
    EXPECT_FLOAT_EQ(s, 0.24f);
    PathIterator it;
    for (float a : {0.0999f, -3.0f, -1e30f}) {
        it.start(tree, a);
        EXPECT_EQ(it.node, &tree.root(0)) << a;
        EXPECT_EQ(it.lo, 0.1f);
        EXPECT_EQ(it.hi, 0.1f + s);
        EXPECT_EQ(it.angle, a);
    }
    for (float a : {2.5f, 1e30f}) {
        it.start(tree, a);
        EXPECT_EQ(it.node, &tree.root(9)) << a;
        EXPECT_EQ(it.lo, 0.1f + 9.0f * s);
    }
    it.start(tree, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(it.node, &tree.root(0));
    // Interior angles: the root that contains them.
    for (float a : {0.35f, 0.9f, 1.3f, 2.0f, 2.45f}) {
        it.start(tree, a);
        EXPECT_EQ(it.node, &tree.root(expectedRoot(tree, a))) << a;
        EXPECT_LE(it.lo, a);
        EXPECT_GT(it.hi, a);
    }
}

// A table built by hand: root 0 splits at once; its lower half goes on with one child to an
// absorbing node, its upper half ends in an escaping node. Root 1 absorbs.
class HandTable : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<LightPathNode> pool(4);
        std::vector<LightPathNode> roots(2);
        roots[0].lower = &pool[0];  // the lower half, on to an absorbing node
        roots[0].upper = &pool[2];  // the upper half, on to an escaping node
        pool[0] = {&pool[1], nullptr, 1.0f, 2.0f, 0.5f, -0.25f, 0.0f};
        pool[1] = {nullptr, nullptr, 3.0f, 4.0f, 0.0f, 1.0f, 0.1f};
        pool[2] = {&pool[3], nullptr, 16384.0f, 1.0f, 1.0f / 3.0f, 3.0f, 0.3f};
        pool[3] = {nullptr, &pool[3], 5.0f, 6.0f, 2.0f, 0.0f, 0.5f};
        tree.install(0.0f, 1.0f, std::move(roots), std::move(pool));
    }
    LightPathTree tree{2};
};

TEST_F(HandTable, LowerHalfStepsToAbsorbingEnd) {
    PathIterator it;
    it.start(tree, 0.2f);
    EXPECT_EQ(it.node, &tree.root(0));
    EXPECT_EQ(it.lo, 0.0f);
    EXPECT_EQ(it.hi, 0.5f);
    it.step();  // split: mid 0.25 > 0.2 -> lower
    EXPECT_EQ(it.lo, 0.0f);
    EXPECT_EQ(it.hi, 0.25f);
    float x, y;
    it.point(x, y);
    EXPECT_EQ(x, 1.0f + 0.5f * 0.2f);
    EXPECT_EQ(y, 2.0f - 0.25f * 0.2f);
    it.step();  // single child: interval unchanged
    EXPECT_EQ(it.lo, 0.0f);
    EXPECT_EQ(it.hi, 0.25f);
    EXPECT_TRUE(it.node->absorbs());
    it.point(x, y);
    EXPECT_EQ(x, 3.0f);
    EXPECT_FLOAT_EQ(y, 4.0f + (0.2f - 0.1f));
    it.step();
    EXPECT_EQ(it.node, nullptr);
    EXPECT_EQ(it.lo, PathIterator::kAbsorbedLo);
}

TEST_F(HandTable, FourLanesStepLikeSingleLanesUntilTheirPathsPartWays) {
    struct Case {
        const char* what;
        float angles[4];
        int absorbingAtStart;
        int firstStep;   // what step() returns, then
        int secondStep;  // on the second call
        int absorbingAtEnd;
    };
    const Case cases[] = {
        {"all into the hole", {0.0f, 0.1f, 0.2f, 0.2499f}, 0, 0, 0, 0xf},
        {"all escape (0.25 takes the upper half)", {0.25f, 0.3f, 0.4f, 0.49f}, 0, 0, 0xf, 0},
        {"halves part at their ends", {0.1f, 0.2f, 0.3f, 0.4f}, 0, 0, -1, 0},
        {"one lane starts in an absorbing root", {0.1f, 0.2f, 0.3f, 0.7f}, 0b1000, -1, -1, 0b1000},
    };
    for (const Case& c : cases) {
        PathIterator4 it4;
        it4.start(tree, Vec4f(c.angles[0], c.angles[1], c.angles[2], c.angles[3]));
        PathIterator single[4];
        for (int l = 0; l < 4; ++l) single[l].start(tree, c.angles[l]);
        EXPECT_EQ(it4.absorbingLanes(), c.absorbingAtStart) << c.what;
        for (const int expected : {c.firstStep, c.secondStep}) {
            ASSERT_EQ(it4.step(), expected) << c.what;
            Vec4f x, y;
            it4.point(x, y);
            for (int l = 0; l < 4; ++l) {
                if (expected >= 0) single[l].step();  // a refused step moves no lane
                const PathIterator lane = it4.lane(l);
                EXPECT_EQ(lane.node, single[l].node) << c.what << ", lane " << l;
                EXPECT_EQ(lane.lo, single[l].lo);
                EXPECT_EQ(lane.hi, single[l].hi);
                float sx, sy;
                single[l].point(sx, sy);
                EXPECT_EQ(x[l], sx) << c.what << ", lane " << l;
                EXPECT_EQ(y[l], sy);
            }
        }
        EXPECT_EQ(it4.absorbingLanes(), c.absorbingAtEnd) << c.what;
    }
}

TEST(LightPathTree, RegenerationFollowsObserverHoleAndParameters) {
    LightPathTree tree;
    EXPECT_TRUE(tree.needsRegeneration(10.0f, 1.0f));
    tree.markGenerated(10.0f, 1.0f);
    EXPECT_FALSE(tree.needsRegeneration(10.0f, 1.0f));
    EXPECT_FALSE(tree.needsRegeneration(10.0005f, 1.0f));  // 5e-5 relative
    EXPECT_TRUE(tree.needsRegeneration(10.002f, 1.0f));    // 2e-4 relative
    EXPECT_TRUE(tree.needsRegeneration(9.998f, 1.0f));
    EXPECT_TRUE(tree.needsRegeneration(10.0f, 1.001f));
    tree.parameters.toleranceMrad = 0.2f;
    EXPECT_TRUE(tree.needsRegeneration(10.0f, 1.0f));
    tree.parameters.toleranceMrad = 0.1f;
    EXPECT_FALSE(tree.needsRegeneration(10.0f, 1.0f));
    tree.reset(0.0f, 1.0f, 4);
    EXPECT_TRUE(tree.needsRegeneration(10.0f, 1.0f));
}
