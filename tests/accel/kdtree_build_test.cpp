// Kd-tree construction: hand-worked SAH cases, the node and leaf encoding, the depth limit, and
// a tree that depends neither on the order the objects come in nor on the threads building it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "accel/kdtraverse.h"
#include "accel/kdtree.h"
#include "tests/accel/kdtestscene.h"

using namespace kdtest;

namespace {

// The same nodes and the same leaf list, entry by entry.
testing::AssertionResult sameTree(const KDTree& tree, const KDTree& reference) {
    if (tree.nodeArray().size() != reference.nodeArray().size())
        return testing::AssertionFailure()
               << tree.nodeArray().size() << " nodes against " << reference.nodeArray().size();
    for (size_t i = 0; i < tree.nodeArray().size(); ++i) {
        const KdNode a = tree.nodeArray()[i], b = reference.nodeArray()[i];
        if (a.first != b.first || a.second != b.second)
            return testing::AssertionFailure() << "node " << i << " differs";
    }
    if (!std::equal(tree.leaves().begin(), tree.leaves().end(), reference.leaves().begin(),
                    reference.leaves().end()))
        return testing::AssertionFailure() << "the leaf lists differ";
    return testing::AssertionSuccess();
}

std::set<rtObjBase*> leafObjects(const KDTree& t, const KdNode& n) {
    const auto first = t.leaves().begin() + n.firstEntry();
    return {first, first + n.objectCount()};
}

}  // namespace

// A split must beat the leaf by one average object test: relative cost below 0.99 - 1/n.
// Unit cubes A, B, C at x = 0, 4, 8; root [0,9]x[0,1]x[0,1]: S = 38, N = 18. Along x: A's end
// costs (34*12 + 6*6)/684 = 0.649, B's start (22*12 + 18*6)/684 = 0.544 (B's end ties later),
// C's start 0.649. So the root splits at 4; A alone is a leaf, and so are B with C (two objects:
// threshold 0.49 against a cut's 0.545).
TEST(KDTree, ThreeCubesSplitOnceAndLeavesKeepFewObjects) {
    Scene s;
    TestObject* a = s.box(P(0, 0, 0), P(1, 1, 1));
    TestObject* b = s.box(P(4, 0, 0), P(5, 1, 1));
    TestObject* c = s.box(P(8, 0, 0), P(9, 1, 1));
    KDTree tree;
    tree.addInterval(s.list, 0);
    const auto& n = tree.nodeArray();
    ASSERT_EQ(n.size(), 3u);
    EXPECT_EQ(n[0].axis(), 0);
    EXPECT_EQ(n[0].split(), 4.0f);
    EXPECT_EQ(n[0].second, (1u << 5) | 0u);
    // Node 2 was the first leaf made: B and C at entries 0 and 1; node 1: A at entry 2.
    EXPECT_EQ(n[2].first, 2u);
    EXPECT_EQ(n[2].second, 0x80000000u);
    EXPECT_EQ(n[1].first, 1u);
    EXPECT_EQ(n[1].second, 0x80000000u | (2u << 4));
    EXPECT_EQ(tree.leaves(), (LeafList{b, c, a}));
    // Two points: a cut between them costs (150 + 50)/(2 * 150) = 0.667 of the leaf, above the
    // 0.49 two objects allow.
    Scene points;
    points.box(P(0, 0, 0), P(0, 0, 0));
    points.box(P(5, 5, 5), P(5, 5, 5));
    KDTree flat;
    flat.addInterval(points.list, 0);
    ASSERT_EQ(flat.nodeArray().size(), 1u);
    EXPECT_EQ(flat.rootNode()->first, 2u);
}

// Cubes A, A' = [0,1], B, B' = [9,10] and a slab C = [0,10], every object one test whatever its
// size. Root: S = 42, N = 5, threshold 0.99 - 1/5 = 0.79; A's end at 1 costs
// (38*3 + 6*3)/(5*42) = 0.629 (B's start at 9 ties later). Upper [1,10] (S = 38, N = 3,
// threshold 0.657): B's start at 9 costs (6*3 + 34*1)/(3*38) = 0.456. C straddles both splits
// and is in all three leaves.
TEST(KDTree, StraddlingObjectIsListedInBothChildren) {
    Scene s;
    TestObject* a = s.box(P(0, 0, 0), P(1, 1, 1));
    TestObject* a2 = s.box(P(0, 0, 0), P(1, 1, 1));
    TestObject* b = s.box(P(9, 0, 0), P(10, 1, 1));
    TestObject* b2 = s.box(P(9, 0, 0), P(10, 1, 1));
    TestObject* c = s.box(P(0, 0, 0), P(10, 1, 1));
    // Sizes do not weigh: the slab, ten times as long as the cubes, counts as one object.
    KDTree tree;
    tree.addInterval(s.list, 0);
    const auto& n = tree.nodeArray();
    ASSERT_EQ(n.size(), 5u);
    EXPECT_EQ(n[0].split(), 1.0f);
    EXPECT_EQ(n[2].axis(), 0);
    EXPECT_EQ(n[2].split(), 9.0f);
    EXPECT_EQ(leafObjects(tree, n[1]), (std::set<rtObjBase*>{a, a2, c}));
    EXPECT_EQ(leafObjects(tree, n[3]), (std::set<rtObjBase*>{c}));
    EXPECT_EQ(leafObjects(tree, n[4]), (std::set<rtObjBase*>{b, b2, c}));
    // Leaf lists follow the events: starts by pointer ascending, ends by pointer descending.
    const auto& leaves = tree.leaves();
    const uint32_t lo = n[1].firstEntry(), hi = n[4].firstEntry();
    EXPECT_LT(leaves[lo], leaves[lo + 1]);
    EXPECT_LT(leaves[lo + 1], leaves[lo + 2]);
    EXPECT_GT(leaves[hi], leaves[hi + 1]);
    EXPECT_GT(leaves[hi + 1], leaves[hi + 2]);
}

// A test object the build takes for a sphere at rest, which the walk tests from the tree's copy.
class RestingBall : public TestObject {
public:
    using TestObject::TestObject;
    bool staticSphere(Vec4f& centreAndRadius2) const override {
        centreAndRadius2 = Vec4f(0.5f * (box.min.x + box.max.x), 0.5f, 0.5f, 0.25f);
        return true;
    }
};

// Unit cubes and unit balls (spheres at rest) along x, all over [0,1] in y and z, so a cell
// from x0 to x1 has the area S = 2 (2 (x1 - x0) + 1). A ball costs half an object test while
// balls are at least half of the objects, and a whole one otherwise.
TEST(KDTree, SpheresAtRestCostHalfATestWhereTheyAreHalfTheObjects) {
    struct Row {
        const char* what;
        std::vector<int> cubes, balls;  // the x where each starts
        bool oneLeaf;
        float rootSplit;
    };
    const Row rows[] = {
        // Balls at 0, 4, 8: W = 1.5, threshold 0.99 - 1/1.5 = 0.323 against the best cut's
        // (18 * 0.5 + 22 * 1)/(1.5 * 38) = 0.544; as cubes they split (see above).
        {"three balls", {}, {0, 4, 8}, true, 0.0f},
        // Cubes at 0, 2, balls at 5, 13; root [0,14], S = 58. Counted as whole tests the best
        // cut is at 6, (26 * 3 + 34 * 1)/(4 * 58) = 0.483 (3 and 5: 0.517); at half a test it
        // is at 3, (14 * 2 + 46 * 1)/(3 * 58) = 0.425 (5 and 6: 0.471).
        {"two cubes, two balls", {0, 2}, {5, 13}, false, 3.0f},
        // Cubes at 0, 2, 12, a ball at 5; root [0,13], S = 54. The ball is a quarter of the
        // objects and counts as a whole test: the cut at 6, (26 * 3 + 30 * 1)/(4 * 54) = 0.5
        // (3 and 5: 0.519). At half a test it would be at 3, 0.481 (5 and 6: 0.503).
        {"three cubes, one ball", {0, 2, 12}, {5}, false, 6.0f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Scene s;
        for (int x : row.cubes) s.box(P(float(x), 0, 0), P(float(x + 1), 1, 1));
        for (int x : row.balls)
            s.add(std::make_unique<RestingBall>(s.nextId(), P(float(x) + 0.5f, 0.5f, 0.5f),
                                                P(float(x) + 0.5f, 0.5f, 0.5f), 0.5f));
        KDTree tree;
        tree.addInterval(s.list, 0);
        const auto& n = tree.nodeArray();
        if (row.oneLeaf) {
            EXPECT_EQ(n.size(), 1u);
            EXPECT_EQ(n[0].objectCount(), row.balls.size() + row.cubes.size());
        } else if (n.size() == 1) {
            ADD_FAILURE() << "kept as one leaf";
        } else {
            EXPECT_EQ(n[0].axis(), 0);
            EXPECT_EQ(n[0].split(), row.rootSplit);
        }
    }
}

// A test object the build takes for one of six surfaces, as it takes a cube.
class SixSided : public TestObject {
public:
    using TestObject::TestObject;
    int testParts() const override { return 6; }
};

// Two unit objects at x = 0 and 4 (S as above, 22 for the root): every cut between them costs
// (6 + 18) / (2 * 22) = 0.545 of the leaf. As single tests that is above the threshold
// 0.99 - 1/2 = 0.49: one leaf. At three tests each (W = 6) the threshold is 0.99 - 1/6 = 0.823,
// and they are cut apart. The wider child, S = 18, then loses its empty part: the cut at the
// object's side costs 6 * 3 / (3 * 18) = 0.33 of it, below 0.99 - 1/3 = 0.66.
TEST(KDTree, ObjectsOfSixSurfacesCountThreeTests) {
    for (const bool sixSided : {false, true}) {
        SCOPED_TRACE(sixSided ? "six-sided" : "plain");
        Scene s;
        for (const float x : {0.0f, 4.0f}) {
            if (sixSided)
                s.add(std::make_unique<SixSided>(s.nextId(), P(x, 0, 0), P(x + 1, 1, 1)));
            else
                s.box(P(x, 0, 0), P(x + 1, 1, 1));
        }
        KDTree tree;
        tree.addInterval(s.list, 0);
        const auto& n = tree.nodeArray();
        ASSERT_EQ(n.size(), sixSided ? 5u : 1u);
        if (sixSided) {
            EXPECT_EQ(n[0].axis(), 0);
            EXPECT_GE(n[0].split(), 1.0f);
            EXPECT_LE(n[0].split(), 4.0f);
        }
    }
}

// A chain of cubes halving towards the origin would grow one level per cube without the depth
// limit; it runs down the lower children, and mirrored down the upper ones. The limit is 20 for
// a small scene and grows with the number of objects (8 + 1.3 log2 n: 22 for 2,040), so the
// chain beside 2,000 other boxes (kept to the side the walk leaves) reaches 22.
TEST(KDTree, TheDepthLimitIsALeafWhateverTheCostAndGrowsWithTheScene) {
    for (const int others : {0, 2000}) {
        for (const float side : {1.0f, -1.0f}) {
            SCOPED_TRACE(testing::Message() << others << " other boxes, side " << side);
            Scene s;
            for (int k = 0; k < 40; ++k) {
                const float x = std::ldexp(1.0f, -k) * side, lo = std::min(x, x * 1.5f);
                const float hi = std::max(x, x * 1.5f);
                s.box(P(lo, lo, lo), P(hi, hi, hi));
            }
            std::mt19937 rng(5);
            std::uniform_real_distribution<float> pos(100.0f, 200.0f);
            for (int k = 0; k < others; ++k) {
                const Vec4f lo = P(pos(rng), pos(rng), pos(rng)) * side;
                s.box(lo, lo + P(0.5f, 0.5f, 0.5f));
            }
            const int limit = others == 0 ? 20 : 22;
            KDTree tree;
            tree.addInterval(s.list, 0);
            EXPECT_EQ(checkLeavesComplete(tree, s.list), limit);
            const KdNode* n = tree.rootNode();
            int depth = 0;
            for (; !n->isLeaf(); ++depth)
                n = &tree.nodeArray()[n->lowerChild() + (side > 0 ? 0 : 1)];
            ASSERT_EQ(depth, limit);
            // The smallest cubes on their own would still be split.
            const auto first = tree.leaves().begin() + n->firstEntry();
            KDTree rest;
            rest.addInterval(std::vector<rtObjBase*>(first, first + n->objectCount()), 0);
            EXPECT_FALSE(rest.rootNode()->isLeaf());
        }
    }
}

// Every object is one test in a leaf, whatever its size: a ground with 400 tiles lying on it
// (the floors of a street of houses), a hundred times their area together, must not keep them
// in one leaf because no cut can take the ground out of either side. Weighted by area, every
// cut cost 0.99 of the leaf and the whole street stayed one leaf of 401 objects.
TEST(KDTree, ABigObjectDoesNotKeepTheSmallOnesAroundItTogether) {
    Scene s;
    s.box(P(-100, 0, -100), P(100, 0, 100));  // flat, area 80,000
    for (int i = 0; i < 20; ++i)
        for (int k = 0; k < 20; ++k)
            s.box(P(2.0f * i, 0, 2.0f * k), P(2.0f * i + 1, 0, 2.0f * k + 1));
    KDTree tree;
    tree.addInterval(s.list, 0);
    checkLeavesComplete(tree, s.list);
    uint32_t most = 0;
    for (const KdNode& n : tree.nodeArray())
        if (n.isLeaf()) most = std::max(most, n.objectCount());
    // A tile with the ground under it, and at most a neighbour.
    EXPECT_LE(most, 3u);
}

// The events are ordered by a total key (position, then kind and object), so the tree must not
// depend on the order the objects come in: not even where positions tie, as on a coarse grid of
// coordinates with flat boxes and boxes nested about one centre. Nor on the threads that build
// it: subtrees built apart are spliced in where one thread puts them. Built from the list,
// reversed and shuffled, on one thread and on up to four with subtrees of a few objects apart,
// the nodes and the leaf lists are the same entry by entry.
TEST(KDTree, TreeDoesNotDependOnTheOrderOfTheObjectsNorOnTheThreads) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        const auto grid = [&] { return float(rng() % 6) * 0.5f; };
        Scene s;
        while (s.list.size() < 300) {
            const Vec4f lo(grid(), grid(), grid(), 0.0f);
            Vec4f hi = lo;
            for (int a = 0; a < 3; ++a)
                if (rng() % 3 != 0) hi[a] += 0.5f * float(1 + rng() % 3);
            s.box(lo, hi);
            if (rng() % 4 == 0) {  // nested about the same centre
                const float grow = 0.25f * float(1 + rng() % 2);
                s.box(lo - Vec4f(grow, grow, grow, 0.0f), hi + Vec4f(grow, grow, grow, 0.0f));
            }
        }
        std::vector<rtObjBase*> reversed(s.list.rbegin(), s.list.rend());
        std::vector<rtObjBase*> shuffled = s.list;
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        KDTree reference;
        reference.setBuildThreads(1);
        reference.addInterval(s.list, 0);
        ASSERT_GT(reference.nodeArray().size(), 1u) << "seed " << seed;
        const struct {
            const std::vector<rtObjBase*>* order;
            int threads;
            uint32_t minObjects;
        } builds[] = {{&reversed, 1, 1}, {&shuffled, 1, 1},  {&s.list, 2, 8},
                      {&s.list, 4, 2},   {&shuffled, 3, 40}, {&reversed, 2, 300}};
        for (const auto& build : builds) {
            SCOPED_TRACE(testing::Message() << build.threads << " threads, subtrees of "
                                            << build.minObjects << " objects apart");
            KDTree tree;
            tree.setBuildThreads(build.threads, build.minObjects);
            tree.addInterval(*build.order, 0);
            ASSERT_TRUE(sameTree(tree, reference)) << "seed " << seed;
        }
    }
}

// Big enough for the build's lists to span huge pages, which a build on several threads gives
// back as it goes: the pages given back must hold nothing still needed. The scene's tree, which
// lives as long as the scene is shown, holds no spare room in its node array and leaf list.
TEST(KDTree, BigTreeBuiltOnThreadsIsTheOneBuiltOnOne) {
    std::mt19937 rng(11);
    Scene s;
    randomScene(s, rng, 60000, 100.0f);
    KDTree reference;
    reference.setBuildThreads(1);
    reference.addInterval(s.list, 0);
    for (int threads : {2, 3}) {
        KDTree tree;
        tree.setBuildThreads(threads);
        tree.addInterval(s.list, 0);
        EXPECT_TRUE(sameTree(tree, reference)) << threads << " threads";
        EXPECT_EQ(tree.nodeArray().capacity(), tree.nodeArray().size()) << threads << " threads";
        EXPECT_EQ(tree.leaves().capacity(), tree.leaves().size()) << threads << " threads";
    }
}
