// Kd-tree traversal against the brute-force oracle (every object tested), single rays against
// 4- and 16-ray bundles ray for ray, and hand-worked cases of the traversal rules that random
// rays rarely meet. Tracing one tree from many threads is the pool's test of frame rendering.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>

#include "accel/kdtraverse.h"
#include "accel/kdtree.h"
#include "tests/accel/kdtestscene.h"

using namespace kdtest;

namespace {

Vec4f P(float x, float y, float z) { return Vec4f(x, y, z, 0.0f); }

// A random unit direction; one in four is axis-parallel or lies in a coordinate plane, so
// inverse components are infinite (of either sign of zero).
Vec4f randomDir(std::mt19937& rng) {
    std::normal_distribution<float> n(0.0f, 1.0f);
    Vec4f d(n(rng), n(rng), n(rng), 0.0f);
    const unsigned pick = rng() % 16;
    if (pick < 4) {
        const int keep = int(rng() % 3);
        for (int a = 0; a < 3; ++a)
            if (a != keep) d[a] = (rng() & 1) ? 0.0f : -0.0f;
    } else if (pick < 6) {
        d[int(rng() % 3)] = (rng() & 1) ? 0.0f : -0.0f;
    }
    return d;
}

// Orthonormal right and up vectors for a forward direction (camera frame).
void cameraFrame(const Vec4f& fwd, Vec4f& right, Vec4f& up) {
    const Vec4f f = unit(fwd);
    const Vec4f helper = std::fabs(f.z) < 0.9f ? P(0, 0, 1) : P(1, 0, 0);
    right = unit(cross3(f, helper));
    up = unit(cross3(right, f));
    right.w = up.w = 0.0f;
}

// Compares one traced single ray with the oracle. The absolute leaf widening of single rays
// (1.0001 scene units on both ends of each leaf's interval) lets a leaf report a hit up to that
// far behind the true nearest one, found in an earlier leaf's widened end; nothing else may
// differ. Returns whether the tree agreed exactly.
bool checkAgainstOracle(const Scene& s, const SingleRay& before, bool hit, const SingleRay& after,
                        uint32_t pixel, const char* where) {
    const Nearest n = bruteForce(s, before);
    if (hit == n.hit && (!hit || (after.tMax == n.t && n.has(pixel)))) return true;
    SingleRay wide = before;
    wide.tMin -= kRayLeafWiden;
    wide.tMax += kRayLeafWiden;
    const Nearest w = bruteForce(s, wide);
    EXPECT_TRUE(hit) << where << ": missed a hit at " << n.t;
    if (!hit) return false;
    EXPECT_TRUE(w.hit) << where;
    EXPECT_GE(after.tMax, w.t) << where;
    if (n.hit) {
        EXPECT_LE(after.tMax, n.t + kRayLeafWiden) << where;
    }
    return false;
}

// Counts for the bundle tests: each bundle ray is compared with the same ray traced alone and
// with the brute force.
struct BundleAgreement {
    int rays = 0, hits = 0, agreeSingle = 0, agreeOracle = 0, singleExact = 0;

    // One bundle ray (hit flag, shading id, distance) against the single ray from origin along
    // dir. With relativeWiden, a bundle hit that differs from the oracle may lie at most that
    // fraction behind it (the relative widening of bundle leaves). Returns false when the single
    // ray misses the scene box.
    bool add(const Scene& s, const KDTree& tree, const Vec4f& origin, const Vec4f& dir,
             bool bHit, uint32_t bPix, float bT, float relativeWiden, const char* where) {
        uint32_t spix = 0;
        SingleRay r = makeRay(tree, origin, dir, &spix, false);
        if (!(r.tMin < r.tMax)) return false;
        const SingleRay before = r;
        const bool sHit = traceRay(r);
        singleExact += checkAgainstOracle(s, before, sHit, r, spix, where);
        ++rays;
        hits += bHit;
        if (bHit == sHit && (!bHit || (bPix == spix && bT == r.tMax))) ++agreeSingle;
        const Nearest n = bruteForce(s, before);
        if (bHit == n.hit && (!bHit || (bT == n.t && n.has(bPix))))
            ++agreeOracle;
        else if (relativeWiden > 0 && bHit && n.hit) {
            EXPECT_LE(bT, n.t * (1 + relativeWiden)) << where;
        }
        return true;
    }

    // Bundles agree with the oracle; where a single ray differs, its absolute leaf widening
    // explains it (checked ray by ray), and that happens on at most 1 % of the rays.
    void check(const char* name) const {
        std::printf(
            "%s: %d rays, %d hit, %d as brute force, %d as single rays, "
            "%d single rays as brute force\n",
            name, rays, hits, agreeOracle, agreeSingle, singleExact);
        EXPECT_GT(hits, rays / 5);
        EXPECT_GE(agreeOracle, rays - rays / 1000);
        EXPECT_GE(agreeSingle, singleExact - rays / 1000);
        EXPECT_GE(singleExact, rays - rays / 100);
    }
};

// Traces count random bundles through tree and adds them to the agreements with single rays
// and the brute force over s: origins drawn over box, scaled from lo to hi on every axis; every
// other one a 2 x 2 bundle with jittered origins (every other of those diverging widely), the
// rest 4 x 4 camera bundles (every other one straddling the plane where the x direction changes
// sign).
void traceRandomBundles(const Scene& s, const KDTree& tree, const BoundingBox& box, float lo,
                        float hi, std::mt19937& rng, int count, BundleAgreement& agree4,
                        BundleAgreement& agree16) {
    std::uniform_real_distribution<float> u(lo, hi), pitch(0.0005f, 0.01f), jitter(-5.0f, 5.0f);
    for (int k = 0; k < count; ++k) {
        Vec4f o;
        for (int c = 0; c < 3; ++c) o[c] = box.min[c] + u(rng) * (box.max[c] - box.min[c]);
        o.w = 0.0f;
        Vec4f fwd = randomDir(rng), right, up;
        cameraFrame(fwd, right, up);
        if (k % 2) {
            Vec4f origin[4], dir[4];
            for (int l = 0; l < 4; ++l) {
                origin[l] = o + P(jitter(rng), jitter(rng), jitter(rng));
                const float spread = k % 4 == 1 ? 0.5f : 0.01f;
                dir[l] = fwd + right * (spread * (l & 1)) + up * (spread * (l >> 1));
            }
            alignas(16) RayBundle4 b;
            uint32_t pix[4] = {};
            makeBundle4(tree, b, origin, dir, pix);
            const int mask = traceBundle4(b);
            for (int l = 0; l < 4; ++l) {
                const Vec4f d(b.dir[0][l], b.dir[1][l], b.dir[2][l], 1.0f);
                agree4.add(s, tree, origin[l], d, (mask >> l) & 1, pix[l], b.tHit[l], 0.0f,
                           "4-ray");
            }
            continue;
        }
        if (k % 4 == 0) fwd = unit(P(0.0f, fwd.y, fwd.z)) - right * (2.0f * 0.003f);
        alignas(16) RayBundle16 b;
        uint32_t pix[16] = {};
        makeBundle16(tree, b, o, fwd, right, up, k % 4 == 0 ? 0.003f : pitch(rng), pix);
        const int mask = traceBundle16(b);
        for (int i = 0; i < 16; ++i) {
            const bool bHit = (mask >> i) & 1;
            if (!agree16.add(s, tree, o, bundleDir(b, i), bHit, pix[i], b.tHit[i >> 2][i & 3],
                             0.0003f, "16-ray")) {
                EXPECT_FALSE(bHit);  // the ray misses the scene box
            }
        }
    }
}

}  // namespace

// Equal distances: the earlier object of the leaf shades the ray.
TEST(KDTraverse, SingleRayTiesKeepTheEarlierObject) {
    Scene s;
    s.box(P(0, 0, 0), P(1, 1, 1));
    s.box(P(0, 0, 0), P(1, 1, 1));
    KDTree tree;
    tree.addInterval(s.list, 0);
    uint32_t pix = 0;
    SingleRay r = makeRay(tree, P(0.5f, 0.5f, 3), P(0, 0, -1), &pix);
    EXPECT_TRUE(traceRay(r));
    EXPECT_EQ(pix, static_cast<TestObject*>(tree.leaves()[0])->id());
}

// Camera-like 16-ray bundles from one origin and 2 x 2 bundles whose rays start at four
// different points (as the pieces of bent light paths do): every ray reports the same hit, the
// same object and the same distance as the same ray traced alone and as the brute force.
TEST(KDTraverse, BundlesMatchSingleRaysAndBruteForce) {
    BundleAgreement agree16, agree4;
    for (unsigned seed = 1; seed <= 8; ++seed) {
        std::mt19937 rng(100 + seed);
        Scene s;
        if (seed % 2)
            randomScene(s, rng, 80 * int(seed), 1000.0f);
        else
            sphereGrid(s, 6 + int(seed), 40.0f, 12.0f);
        KDTree tree;
        tree.addInterval(s.list, 0);
        traceRandomBundles(s, tree, tree.sceneBox(), -0.2f, 1.2f, rng, 600, agree4, agree16);
    }
    agree16.check("16-ray bundles");
    agree4.check("4-ray bundles");
}

// A ray lying exactly in a node's split plane (its split distance is 0 x infinity, NaN) keeps
// its whole interval on both sides. Rays are laid into the split planes of every interior node
// of a scene with flat boxes (whose faces become split planes), with a direction of +0 and -0
// along the axis, and compared with the brute force: six in random directions per node, and one
// aimed at each flat box lying in that very plane, which only one child holds.
TEST(KDTraverse, RaysLyingInASplitPlaneMatchBruteForce) {
    std::mt19937 rng(777);
    Scene s;
    randomScene(s, rng, 1500, 10.0f);
    KDTree tree;
    tree.addInterval(s.list, 0);
    const BoundingBox box = tree.sceneBox();
    std::uniform_real_distribution<float> unitInterval(0.0f, 1.0f);
    int rays = 0, inPlaneHits = 0, nodes = 0;
    for (const KdNode& node : tree.nodeArray()) {
        if (node.isLeaf()) continue;
        ++nodes;
        const int a = node.axis();
        const float split = node.split();
        std::vector<Vec4f> targets;  // the centres of the flat boxes in the plane
        for (const auto& o : s.owned)
            if (o->box.min[a] == split && o->box.max[a] == split)
                targets.push_back((o->box.min + o->box.max) * 0.5f);
        for (int i = 0; i < 6 + 2 * int(targets.size()); ++i) {
            Vec4f origin;
            for (int c = 0; c < 3; ++c)
                origin[c] = box.min[c] + (box.max[c] - box.min[c]) * unitInterval(rng);
            origin[a] = split;
            origin.w = 0.0f;
            Vec4f dir = i < 6 ? randomDir(rng) : targets[std::size_t(i - 6) / 2] - origin;
            dir[a] = (i & 1) ? 0.0f : -0.0f;
            dir.w = 0.0f;
            if (dot3(dir, dir) == 0.0f) dir[(a + 1) % 3] = 1.0f;
            dir = dir * (1.0f / std::sqrt(dot3(dir, dir)));
            dir[a] = (i & 1) ? 0.0f : -0.0f;
            uint32_t pixel = 0;
            SingleRay r = makeRay(tree, origin, dir, &pixel);
            ASSERT_EQ(r.origin[a], split);
            ASSERT_TRUE(r.dir[a] == 0.0f);
            const SingleRay before = r;
            const bool hit = traceRay(r);
            checkAgainstOracle(s, before, hit, r, pixel, "in the split plane");
            ++rays;
            const Nearest n = bruteForce(s, before);
            for (const auto& o : s.owned)
                if (n.has(o->id()) && o->box.min[a] == split && o->box.max[a] == split)
                    ++inPlaneHits;
        }
    }
    EXPECT_GT(nodes, 50);
    EXPECT_GT(inPlaneHits, 10) << rays << " rays";
}

// A camera bundle whose rays move both ways along the split axis (mixed signs), from a point
// between two cubes: the rays towards +x cross the split x = 2 before they enter the scene box
// (from above), the others never reach it. The rule for bundles of one sign would send the
// whole bundle below the split and lose the rays that see the second cube.
TEST(KDTraverse, BundleWithMixedSignsOnTheSplitAxisSeesBothSides) {
    Scene s;
    s.box(P(0, 0, 0), P(1, 1, 1));
    TestBox* second = s.box(P(2, 0, 0), P(3, 1, 1));
    KDTree tree;
    tree.addInterval(s.list, 0);
    const Vec4f o = P(1.5f, 0.5f, 5);
    alignas(16) RayBundle16 b;
    uint32_t pix[16] = {};
    makeBundle16(tree, b, o, P(0, 0, -1), P(1, 0, 0), P(0, 1, 0), 0.0f, pix);
    for (int i = 0; i < 16; ++i) {
        const Vec4f d = unit(P(i % 2 ? 0.25f : -0.01f, 0.01f * float(i / 4), -1));
        setLaneDirection(b, i >> 2, i & 3, d);
    }
    clipToBox(tree.sceneBox(), b);
    const int mask = traceBundle16(b);
    for (int i = 0; i < 16; ++i) {
        uint32_t spix = 0;
        SingleRay r = makeRay(tree, o, bundleDir(b, i), &spix, false);
        EXPECT_EQ(((mask >> i) & 1) != 0, traceRay(r)) << "ray " << i;
        EXPECT_EQ(pix[i], spix) << "ray " << i;
        EXPECT_EQ(pix[i], i % 2 ? second->id() : 0u) << "ray " << i;
    }
}

// A tree grafted from a scene's tree and extra objects (a frame's moving bodies) traces like a
// tree of everything: bundles and single rays against the brute force over both. The extras lie
// among the scene's objects, and a cluster of them in empty space beyond the scene's box grows
// the root box and crowds leaves, which are built anew (perLeaf 1 and 4); with a large perLeaf
// nothing is rebuilt. Every path stays within the traversal's depth of 20.
TEST(KDTraverse, GraftedTreeTracesLikeATreeOfEverything) {
    for (int perLeaf : {1, 4, 1000}) {
        BundleAgreement agree16, agree4;
        for (unsigned seed = 1; seed <= 4; ++seed) {
            std::mt19937 rng(900 + seed);
            Scene s;
            randomScene(s, rng, 300 * int(seed), 1000.0f);
            KDTree base;
            base.addInterval(s.list, 0);
            const size_t statics = s.list.size();
            randomScene(s, rng, int(statics) + 80 * int(seed), 1000.0f);
            std::uniform_real_distribution<float> near(1100.0f, 1300.0f);
            for (int i = 0; i < 30; ++i) s.sphere(P(near(rng), near(rng), near(rng)), 20.0f);
            const std::vector<rtObjBase*> extras(s.list.begin() + long(statics), s.list.end());

            KDTree tree;
            ASSERT_TRUE(tree.graft(base, extras, perLeaf, 1000));
            EXPECT_GE(tree.sceneBox().max.x, 1300.0f);
            if (perLeaf == 1) {
                EXPECT_GT(tree.nodeArray().size(), base.nodeArray().size());
            } else if (perLeaf == 1000) {
                EXPECT_EQ(tree.nodeArray().size(), base.nodeArray().size());
            }
            // Every leaf holds every object whose box reaches into its cell (open overlap,
            // flat boxes strictly inside), and no path is deeper than 20.
            int deepest = 0;
            std::function<void(uint32_t, BoundingBox, int)> visit = [&](uint32_t k,
                                                                       BoundingBox cell, int d) {
                const KdNode& n = tree.nodeArray()[k];
                if (!n.isLeaf()) {
                    BoundingBox lo = cell, hi = cell;
                    lo.max[n.axis()] = hi.min[n.axis()] = n.split();
                    visit(n.lowerChild(), lo, d + 1);
                    visit(n.lowerChild() + 1, hi, d + 1);
                    return;
                }
                deepest = std::max(deepest, d);
                ASSERT_LE(n.firstEntry() + n.objectCount(), tree.leaves().size());
                const auto first = tree.leaves().begin() + n.firstEntry();
                const std::set<rtObjBase*> in(first, first + n.objectCount());
                for (rtObjBase* o : s.list) {
                    bool reaches = true;
                    for (int a = 0; a < 3; ++a) {
                        const float lo = o->box.min[a], hi = o->box.max[a];
                        reaches &= lo == hi ? lo > cell.min[a] && lo < cell.max[a]
                                            : lo < cell.max[a] && hi > cell.min[a];
                    }
                    if (reaches) {
                        EXPECT_TRUE(in.count(o)) << "seed " << seed << " depth " << d;
                    }
                }
            };
            visit(0, tree.sceneBox(), 0);
            EXPECT_LE(deepest, 20);

            // From the scene's box, so that most rays meet something; some reach the cluster.
            traceRandomBundles(s, tree, base.sceneBox(), 0.0f, 1.0f, rng, 400, agree4, agree16);
        }
        SCOPED_TRACE(perLeaf);
        agree16.check("grafted 16-ray bundles");
        agree4.check("grafted 4-ray bundles");
    }
}

// Extras that would each fill more leaf entries than allowed on average are refused: the
// caller gives them a tree of their own.
TEST(KDTraverse, GraftRefusesExtrasSpreadOverTooManyLeaves) {
    std::mt19937 rng(31);
    Scene s;
    randomScene(s, rng, 400, 1000.0f);
    KDTree base;
    base.addInterval(s.list, 0);
    // A slab across the whole scene reaches far more than two leaves.
    s.box(P(-10, -10, 500), P(1010, 1010, 501));
    KDTree tree;
    EXPECT_FALSE(tree.graft(base, {s.list.back()}, 1000, 2));
    EXPECT_TRUE(tree.graft(base, {s.list.back()}, 1000, 100000));
}
