// Kd-tree construction: hand-worked SAH cases (costs computed by hand in the comments), the node
// and leaf encoding, the depth limit, and structural invariants on seeded random scenes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "accel/kdtraverse.h"
#include "accel/kdtree.h"
#include "base/programmingerror.h"
#include "tests/accel/kdtestscene.h"

using namespace kdtest;

namespace {

Vec4f P(float x, float y, float z) { return Vec4f(x, y, z, 0.0f); }

std::vector<rtObjBase*> leafObjects(const KDTree& t, const KdNode& n) {
    std::vector<rtObjBase*> v;
    for (uint32_t i = 0; i < n.objectCount(); ++i) v.push_back(t.leaves()[n.firstEntry() + i]);
    return v;
}

std::set<rtObjBase*> asSet(const std::vector<rtObjBase*>& v) { return {v.begin(), v.end()}; }

// Visits every node with its cell and depth.
void walk(const KDTree& t, const std::function<void(const KdNode&, const BoundingBox&, int)>& f) {
    std::function<void(uint32_t, BoundingBox, int)> rec = [&](uint32_t k, BoundingBox cell,
                                                              int depth) {
        const KdNode& n = t.nodeArray()[k];
        f(n, cell, depth);
        if (n.isLeaf()) return;
        BoundingBox lo = cell, hi = cell;
        lo.max[n.axis()] = n.split();
        hi.min[n.axis()] = n.split();
        rec(n.lowerChild(), lo, depth + 1);
        rec(n.lowerChild() + 1, hi, depth + 1);
    };
    rec(0, t.sceneBox(), 0);
}

}  // namespace

// Two unit cubes of area 6 at x in [0, 1] and [2, 3]. Root box [0,3]x[0,1]x[0,1]: S = 14,
// N = 12, face = 2, perim = 4. Candidates along x: start 0 -> 1; end 1 -> (10*6 + 6*6)/168 =
// 16/28; start 2 -> also 16/28 (later, loses the tie); end 3 -> 1. Upper child [1,3]: S = 10,
// N = 6, start 2 -> (6*6)/60 = 0.6, so it splits at 2 into an empty lower leaf and the cube.
TEST(KDTree, TwoCubesSplitAtFirstCubesEndThenAtSecondCubesStart) {
    Scene s;
    TestBox* a = s.box(P(0, 0, 0), P(1, 1, 1));
    TestBox* b = s.box(P(2, 0, 0), P(3, 1, 1));
    ASSERT_EQ(a->area, 6.0f);
    KDTree tree;
    tree.addInterval(s.list, 0);
    const auto& n = tree.nodeArray();
    ASSERT_EQ(n.size(), 5u);
    // Root: interior x at 1, children 1 (lower) and 2 (upper).
    EXPECT_FALSE(n[0].isLeaf());
    EXPECT_EQ(n[0].axis(), 0);
    EXPECT_EQ(n[0].split(), 1.0f);
    EXPECT_EQ(n[0].second, (1u << 5) | 0u);
    // Upper child: x at 2, children 3 and 4, built before the lower child.
    EXPECT_EQ(n[2].axis(), 0);
    EXPECT_EQ(n[2].split(), 2.0f);
    EXPECT_EQ(n[2].second, 3u << 5);
    // Node 4 (above 2) was the first leaf made: the second cube at entry 0.
    EXPECT_EQ(n[4].first, 1u);
    EXPECT_EQ(n[4].second, 0x80000000u);
    // Node 3: empty.
    EXPECT_EQ(n[3].first, 0u);
    EXPECT_EQ(n[3].second, 0x80000000u);
    // Node 1: the first cube at entry 1.
    EXPECT_EQ(n[1].first, 1u);
    EXPECT_EQ(n[1].second, 0x80000000u | (1u << 4));
    EXPECT_EQ(n[1].byteOffset(), 4u * 1u);
    ASSERT_EQ(tree.leaves().size(), 2u);
    EXPECT_EQ(tree.leaves()[0], b);
    EXPECT_EQ(tree.leaves()[1], a);
    EXPECT_EQ(n[0].byteOffset(), 8u * 1u);
}

// Cubes A = [0,1] and B = [9,10] (area 6) and a slab C = [0,10]x[0,1]x[0,1] (area 42).
// Root x: the end of A costs (38*48 + 6*48)/(54*42) = 0.931 (B's start ties later); C
// straddles. Upper [1,10]: B's start costs (6*48 + 34*42)/(48*38) = 0.941; C straddles again.
// The remaining cells cost at least 1 on every axis, so C ends up in all three leaves.
TEST(KDTree, StraddlingObjectIsListedInBothChildren) {
    Scene s;
    TestBox* a = s.box(P(0, 0, 0), P(1, 1, 1));
    TestBox* b = s.box(P(9, 0, 0), P(10, 1, 1));
    TestBox* c = s.box(P(0, 0, 0), P(10, 1, 1));
    a->area = b->area = 6.0f;
    c->area = 42.0f;
    KDTree tree;
    tree.addInterval(s.list, 0);
    const auto& n = tree.nodeArray();
    ASSERT_EQ(n.size(), 5u);
    EXPECT_EQ(n[0].axis(), 0);
    EXPECT_EQ(n[0].split(), 1.0f);
    EXPECT_EQ(n[2].axis(), 0);
    EXPECT_EQ(n[2].split(), 9.0f);
    EXPECT_EQ(asSet(leafObjects(tree, n[1])), (std::set<rtObjBase*>{a, c}));
    EXPECT_EQ(asSet(leafObjects(tree, n[3])), (std::set<rtObjBase*>{c}));
    EXPECT_EQ(asSet(leafObjects(tree, n[4])), (std::set<rtObjBase*>{b, c}));
    // Leaf lists follow the event order: starts by pointer ascending, ends by pointer
    // descending.
    const std::vector<rtObjBase*> lowerLeaf = leafObjects(tree, n[1]);
    EXPECT_LT(lowerLeaf[0], lowerLeaf[1]);
    const std::vector<rtObjBase*> upperLeaf = leafObjects(tree, n[4]);
    EXPECT_GT(upperLeaf[0], upperLeaf[1]);
}

// Objects without area weigh nothing: every cost is 0/0 and no split is ever made.
TEST(KDTree, ZeroTotalAreaNeverSplits) {
    Scene s;
    s.box(P(0, 0, 0), P(0, 0, 0));
    s.box(P(5, 5, 5), P(5, 5, 5));
    KDTree tree;
    tree.addInterval(s.list, 0);
    ASSERT_EQ(tree.nodeArray().size(), 1u);
    EXPECT_EQ(tree.rootNode()->first, 2u);
}

// A chain of cubes halving in size towards the origin: cutting off the biggest remaining cube is
// always worth it, so the tree would grow one level per cube without the depth limit.
TEST(KDTree, DepthTwentyIsALeafWhateverTheCost) {
    Scene s;
    for (int k = 0; k < 40; ++k) {
        const float x = std::ldexp(1.0f, -k);
        s.box(P(x, x, x), P(x * 1.5f, x * 1.5f, x * 1.5f));
    }
    KDTree tree;
    tree.addInterval(s.list, 0);
    int maxDepth = 0;
    std::vector<rtObjBase*> deepest;
    walk(tree, [&](const KdNode& n, const BoundingBox&, int depth) {
        EXPECT_LE(depth, 20);
        if (!n.isLeaf()) return;
        if (depth > maxDepth || (depth == maxDepth && n.objectCount() > deepest.size()))
            deepest = leafObjects(tree, n);
        maxDepth = std::max(maxDepth, depth);
    });
    ASSERT_EQ(maxDepth, 20);
    ASSERT_GE(deepest.size(), 2u);
    // The same objects on their own would still be split.
    KDTree rest;
    rest.addInterval(deepest, 0);
    EXPECT_FALSE(rest.rootNode()->isLeaf());
}

// Node encoding and completeness on random scenes: every object whose box reaches into a
// leaf's cell (open overlap on every axis, flat boxes inside or on the cell) is in that leaf,
// interior nodes have bits 2-4 clear and each leaf's run lies inside the leaf list.
TEST(KDTree, LeavesHoldEveryObjectReachingTheirCell) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        Scene s;
        randomScene(s, rng, 40 + 30 * int(seed), 100.0f);
        KDTree tree;
        tree.addInterval(s.list, 0);
        size_t leafRefs = 0;
        walk(tree, [&](const KdNode& n, const BoundingBox& cell, int depth) {
            if (!n.isLeaf()) {
                EXPECT_EQ(n.second & 0x1cu, 0u);
                EXPECT_GE(n.split(), cell.min[n.axis()]);
                EXPECT_LE(n.split(), cell.max[n.axis()]);
                return;
            }
            EXPECT_EQ(n.second & 0xfu, 0u);
            ASSERT_LE(n.firstEntry() + n.objectCount(), tree.leaves().size());
            leafRefs += n.objectCount();
            const std::set<rtObjBase*> in = asSet(leafObjects(tree, n));
            for (rtObjBase* o : s.list) {
                bool reaches = true;
                for (int a = 0; a < 3; ++a) {
                    const float lo = o->box.min[a], hi = o->box.max[a];
                    if (lo == hi)
                        reaches &= lo > cell.min[a] && lo < cell.max[a];
                    else
                        reaches &= lo < cell.max[a] && hi > cell.min[a];
                }
                if (reaches) {
                    EXPECT_TRUE(in.count(o)) << "seed " << seed << " depth " << depth;
                }
            }
        });
        EXPECT_EQ(leafRefs, tree.leaves().size());
    }
}
