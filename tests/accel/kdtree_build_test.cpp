// Kd-tree construction: hand-worked SAH cases (costs computed by hand in the comments), the node
// and leaf encoding, the depth limit, and structural invariants on seeded random scenes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "accel/kdtraverse.h"
#include "accel/kdtree.h"
#include "tests/accel/kdtestscene.h"

using namespace kdtest;

namespace {

std::set<rtObjBase*> leafObjects(const KDTree& t, const KdNode& n) {
    const auto first = t.leaves().begin() + n.firstEntry();
    return {first, first + n.objectCount()};
}

}  // namespace

// A split must beat keeping the leaf by the cost of one traversal step, counted as one test of
// an average object: with n objects, the cost relative to the leaf's must stay below
// 0.99 - 1/n. Two objects of equal weight are therefore never split: a cut saves at most half
// the tests, (S + face) / 2S > 1/2 of the leaf's cost, against a threshold of 0.49.
// Three unit cubes of area 6 at x in [0, 1], [4, 5] and [8, 9]. Root box [0,9]x[0,1]x[0,1]:
// S = 38, N = 18, face = 2, perim = 4, threshold 0.99 - 1/3. Candidates along x: end of A at 1
// -> (34*12 + 6*6)/684 = 0.649; start of B at 4 -> (22*12 + 18*6)/684 = 0.544; end of B at 5
// -> also 0.544 (later, loses the tie); start of C at 8 -> 0.649; the box's faces -> 1. So the
// root splits at 4 into A alone (one object: threshold -0.01, a leaf) and B with C (two: a leaf,
// though cutting between them would cost (6*6 + 18*6)/264 = 0.545 of it).
TEST(KDTree, ThreeCubesSplitOnceAndLeavesKeepFewObjects) {
    Scene s;
    TestBox* a = s.box(P(0, 0, 0), P(1, 1, 1));
    TestBox* b = s.box(P(4, 0, 0), P(5, 1, 1));
    TestBox* c = s.box(P(8, 0, 0), P(9, 1, 1));
    ASSERT_EQ(a->area, 6.0f);
    KDTree tree;
    tree.addInterval(s.list, 0);
    const auto& n = tree.nodeArray();
    ASSERT_EQ(n.size(), 3u);
    // Root: interior x at 4, children 1 (lower) and 2 (upper).
    EXPECT_FALSE(n[0].isLeaf());
    EXPECT_EQ(n[0].axis(), 0);
    EXPECT_EQ(n[0].split(), 4.0f);
    EXPECT_EQ(n[0].second, (1u << 5) | 0u);
    EXPECT_EQ(n[0].byteOffset(), 8u * 1u);
    // Node 2 (above 4) was the first leaf made: B and C at entries 0 and 1, in the order of
    // their ends along the split axis.
    EXPECT_EQ(n[2].first, 2u);
    EXPECT_EQ(n[2].second, 0x80000000u);
    // Node 1: the first cube at entry 2.
    EXPECT_EQ(n[1].first, 1u);
    EXPECT_EQ(n[1].second, 0x80000000u | (2u << 4));
    EXPECT_EQ(n[1].byteOffset(), 4u * 2u);
    EXPECT_EQ(tree.leaves(), (std::vector<rtObjBase*>{b, c, a}));
}

// Cubes A = [0,1] and B = [9,10] (area 6) and a slab C = [0,10]x[0,1]x[0,1], weighted 1.
// Root box: S = 42, N = 13, threshold 0.99 - 1/3. Along x, the end of A at 1 costs
// (38*7 + 6*7)/(13*42) = 0.564 (B's start ties later); C straddles. Upper [1,10] (S = 38,
// N = 7, threshold 0.49): B's start at 9 costs (34*1 + 6*7)/(7*38) = 0.286; C straddles again.
// The remaining cells hold one object, or two whose every cut costs more than the leaf, so C
// ends up in all three leaves.
TEST(KDTree, StraddlingObjectIsListedInBothChildren) {
    Scene s;
    TestBox* a = s.box(P(0, 0, 0), P(1, 1, 1));
    TestBox* b = s.box(P(9, 0, 0), P(10, 1, 1));
    TestBox* c = s.box(P(0, 0, 0), P(10, 1, 1));
    a->area = b->area = 6.0f;
    c->area = 1.0f;
    KDTree tree;
    tree.addInterval(s.list, 0);
    const auto& n = tree.nodeArray();
    ASSERT_EQ(n.size(), 5u);
    EXPECT_EQ(n[0].axis(), 0);
    EXPECT_EQ(n[0].split(), 1.0f);
    EXPECT_EQ(n[2].axis(), 0);
    EXPECT_EQ(n[2].split(), 9.0f);
    EXPECT_EQ(leafObjects(tree, n[1]), (std::set<rtObjBase*>{a, c}));
    EXPECT_EQ(leafObjects(tree, n[3]), (std::set<rtObjBase*>{c}));
    EXPECT_EQ(leafObjects(tree, n[4]), (std::set<rtObjBase*>{b, c}));
    // Leaf lists follow the event order: starts by pointer ascending, ends by pointer
    // descending.
    const auto& leaves = tree.leaves();
    EXPECT_LT(leaves[n[1].firstEntry()], leaves[n[1].firstEntry() + 1]);
    EXPECT_GT(leaves[n[4].firstEntry()], leaves[n[4].firstEntry() + 1]);
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
// always worth it, so the tree would grow one level per cube without the depth limit. The chain
// runs down the lower children, and mirrored down the upper ones.
TEST(KDTree, DepthTwentyIsALeafWhateverTheCost) {
    for (const float side : {1.0f, -1.0f}) {
        Scene s;
        for (int k = 0; k < 40; ++k) {
            const float x = std::ldexp(1.0f, -k) * side;
            const float far = x * 1.5f;
            s.box(P(std::min(x, far), std::min(x, far), std::min(x, far)),
                  P(std::max(x, far), std::max(x, far), std::max(x, far)));
        }
        KDTree tree;
        tree.addInterval(s.list, 0);
        EXPECT_EQ(checkLeavesComplete(tree, s.list), 20) << side;
        // The deepest leaf holds the smallest cubes, next to the origin.
        const KdNode* n = tree.rootNode();
        int depth = 0;
        for (; !n->isLeaf(); ++depth) n = &tree.nodeArray()[n->lowerChild() + (side > 0 ? 0 : 1)];
        ASSERT_EQ(depth, 20) << side;
        ASSERT_GE(n->objectCount(), 2u);
        // The same objects on their own would still be split.
        const auto first = tree.leaves().begin() + n->firstEntry();
        KDTree rest;
        rest.addInterval(std::vector<rtObjBase*>(first, first + n->objectCount()), 0);
        EXPECT_FALSE(rest.rootNode()->isLeaf()) << side;
    }
}

// Node encoding and completeness on random scenes: every object whose box reaches into a
// leaf's cell is in that leaf, and the leaves' runs cover the leaf list.
TEST(KDTree, LeavesHoldEveryObjectReachingTheirCell) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        Scene s;
        randomScene(s, rng, 40 + 30 * int(seed), 100.0f);
        KDTree tree;
        tree.addInterval(s.list, 0);
        checkLeavesComplete(tree, s.list);
        size_t leafRefs = 0;
        for (const KdNode& n : tree.nodeArray())
            if (n.isLeaf()) leafRefs += n.objectCount();
        EXPECT_EQ(leafRefs, tree.leaves().size());
    }
}

// The build numbers objects by position internally; the tree must not depend on the order the
// objects come in: the same nodes and leaf lists for a scene given forwards, backwards and
// shuffled. A tree of one leaf lists its objects in the order given.
TEST(KDTree, TreeDoesNotDependOnTheObjectsOrder) {
    std::mt19937 rng(4242);
    Scene s;
    randomScene(s, rng, 400, 50.0f);
    KDTree reference;
    reference.addInterval(s.list, 0);
    ASSERT_GT(reference.nodeArray().size(), 50u);
    std::vector<rtObjBase*> list = s.list;
    for (int round = 0; round < 3; ++round) {
        if (round == 0)
            std::reverse(list.begin(), list.end());
        else
            std::shuffle(list.begin(), list.end(), rng);
        KDTree tree;
        tree.addInterval(list, 0);
        ASSERT_EQ(tree.nodeArray().size(), reference.nodeArray().size()) << "round " << round;
        for (std::size_t k = 0; k < tree.nodeArray().size(); ++k) {
            EXPECT_EQ(tree.nodeArray()[k].first, reference.nodeArray()[k].first) << k;
            EXPECT_EQ(tree.nodeArray()[k].second, reference.nodeArray()[k].second) << k;
        }
        EXPECT_EQ(tree.leaves(), reference.leaves()) << "round " << round;
    }

    Scene two;
    TestBox* a = two.box(P(5, 5, 5), P(6, 6, 6));
    TestBox* b = two.box(P(0, 0, 0), P(1, 1, 1));
    for (const auto& order : {std::vector<rtObjBase*>{a, b}, std::vector<rtObjBase*>{b, a}}) {
        KDTree tree;
        tree.addInterval(order, 0);
        ASSERT_EQ(tree.nodeArray().size(), 1u);
        EXPECT_EQ(tree.leaves(), order);
    }
}
