// Kd-tree traversal against brute force: single rays and 4- and 16-ray bundles (camera bundles
// straddling a sign change, diverging ones) on built and grafted trees, and hand-worked cases of
// rules that random rays rarely meet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "accel/kdtraverse.h"
#include "accel/kdtraversesteps.h"
#include "accel/kdtree.h"
#include "accel/lightpathtrace.h"
#include "tests/accel/kdtestscene.h"

using namespace kdtest;

namespace {

// A random direction; one in four is axis-parallel or in a coordinate plane (signed zeros).
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

float bundleT(const RayBundle4& b, int i) { return b.tHit[i]; }
float bundleT(const RayBundle16& b, int i) { return b.tHit[i >> 2][i & 3]; }

// Each bundle ray and the same ray traced alone against brute force: every one must find the
// nearest hit exactly. The leaves' widening lets in hits from just beyond a cell, and a bundle or
// ray that stopped at such a hit missed a nearer object in the next cell (3 single rays in 12,320
// here did).
struct BundleAgreement {
    int rays = 0, hits = 0, agreeOracle = 0, singleExact = 0;
    template <class Bundle, int N>
    void trace(const Scene& s, const KDTree& tree, const Vec4f origin[N], const Vec4f dir[N],
               const char* where) {
        alignas(16) Bundle b;
        uint32_t pix[N] = {};
        makeBundle<Bundle, N>(tree, b, origin, dir, pix);
        int mask;
        if constexpr (N == 4) {
            mask = traceBundle4(b);
        } else {
            // The kernel this processor runs and the portable one agree bit for bit, also
            // on rays that end inside the scene.
            for (const float cut : {0.4f, 1.0f}) {
                alignas(16) Bundle portable;
                uint32_t portablePix[N] = {};
                makeBundle<Bundle, N>(tree, portable, origin, dir, portablePix);
                alignas(16) Bundle run = portable;
                uint32_t runPix[N] = {};
                for (int g = 0; g < 4; ++g) {
                    run.out[g] = runPix + 4 * g;
                    run.tMax[g] = portable.tMax[g] = portable.tMax[g] * cut;
                }
                const int runMask = traceBundle16(run);
                EXPECT_EQ(runMask, traceBundle16Portable(portable)) << where;
                EXPECT_EQ(std::memcmp(run.tHit, portable.tHit, sizeof run.tHit), 0) << where;
                EXPECT_EQ(std::memcmp(runPix, portablePix, sizeof runPix), 0) << where;
            }
            mask = traceBundle16(b);
        }
        for (int i = 0; i < N; ++i) {
            const bool bHit = (mask >> i) & 1;
            uint32_t spix = 0;
            SingleRay r = makeRay(tree, origin[i], unit(dir[i]), &spix, false);
            if (!(r.tMin < r.tMax)) {
                EXPECT_FALSE(bHit) << where << ": the ray misses the scene box";
                continue;
            }
            ++rays;
            const SingleRay before = r;
            const bool sHit = traceRay(r);
            singleExact += checkAgainstOracle(s, before, sHit, r, spix, where);
            hits += bHit;
            const Nearest n = bruteForce(s, before);
            const float bT = bundleT(b, i);
            if (bHit == n.hit && (!bHit || (bT == n.t && n.ids.count(pix[i])))) ++agreeOracle;
        }
    }
    void check(const char* name) const {
        EXPECT_GT(hits, rays / 5) << name;
        EXPECT_EQ(agreeOracle, rays) << name;
        EXPECT_EQ(singleExact, rays) << name;
    }
};

// Random bundles with origins over box scaled from lo to hi: 2 x 2 bundles with jittered origins
// (half diverging widely), and 4 x 4 camera bundles (half straddling the sign change of x).
void traceRandomBundles(const Scene& s, const KDTree& tree, const BoundingBox& box, float lo,
                        float hi, std::mt19937& rng, int count, BundleAgreement& agree4,
                        BundleAgreement& agree16) {
    std::uniform_real_distribution<float> u(lo, hi), pitch(0.0005f, 0.01f), jitter(-5.0f, 5.0f);
    for (int k = 0; k < count; ++k) {
        Vec4f o = box.min + (box.max - box.min) * Vec4f(u(rng), u(rng), u(rng), 0.0f);
        o.w = 0.0f;
        Vec4f fwd = unit(randomDir(rng));
        fwd.w = 0.0f;
        const Vec4f helper = std::fabs(fwd.z) < 0.9f ? P(0, 0, 1) : P(1, 0, 0);
        Vec4f right = unit(cross3(fwd, helper)), up;
        right.w = 0.0f;
        up = unit(cross3(right, fwd));
        up.w = 0.0f;
        if (k % 2) {
            Vec4f origin[4], dir[4];
            const float spread = k % 4 == 1 ? 0.5f : 0.01f;
            for (int l = 0; l < 4; ++l) {
                origin[l] = o + P(jitter(rng), jitter(rng), jitter(rng));
                dir[l] = fwd + right * (spread * (l & 1)) + up * (spread * (l >> 1));
            }
            agree4.trace<RayBundle4, 4>(s, tree, origin, dir, "4-ray");
            continue;
        }
        if (k % 4 == 0) fwd = unit(P(0.0f, fwd.y, fwd.z)) - right * (2.0f * 0.003f);
        const float step = k % 4 == 0 ? 0.003f : pitch(rng);
        Vec4f origin[16], dir[16];
        for (int i = 0; i < 16; ++i) {
            origin[i] = o;
            dir[i] = fwd + right * ((i & 3) * step) + up * ((i >> 2) * step);
        }
        agree16.trace<RayBundle16, 16>(s, tree, origin, dir, "16-ray");
    }
}

}  // namespace

// perLeaf 0: trees built at once over random scenes and sphere grids. Otherwise grafted from a
// scene's tree and extras (moving bodies), some in a cluster beyond the scene's box that grows
// the root box; crowded leaves are rebuilt (perLeaf 1 and 4), with a large perLeaf none is.
// The random scenes' trees hold bounds nodes, whose boxes the grafted extras grow.
TEST(KDTraverse, BundlesAndSingleRaysMatchBruteForceOnBuiltAndGraftedTrees) {
    for (int perLeaf : {0, 1, 4, 1000}) {
        SCOPED_TRACE(perLeaf);
        BundleAgreement agree16, agree4;
        int bounded = 0;  // bounds nodes met, grown by the grafts' extras or not
        for (unsigned seed = 1; seed <= (perLeaf ? 4u : 8u); ++seed) {
            std::mt19937 rng((perLeaf ? 900 : 100) + seed);
            Scene s;
            if (perLeaf == 0) {
                if (seed % 2)
                    randomScene(s, rng, 80 * int(seed), 1000.0f);
                else
                    sphereGrid(s, 6 + int(seed), 40.0f, 12.0f);
                KDTree tree;
                tree.addInterval(s.list, 0);
                checkLeavesComplete(tree, s.list);
                bounded += boundsNodes(tree);
                traceRandomBundles(s, tree, tree.sceneBox(), -0.2f, 1.2f, rng, 600, agree4,
                                   agree16);
                continue;
            }
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
            EXPECT_LE(checkLeavesComplete(tree, s.list), 20) << "seed " << seed;
            bounded += boundsNodes(tree);
            traceRandomBundles(s, tree, base.sceneBox(), 0.0f, 1.0f, rng, 400, agree4, agree16);
        }
        EXPECT_GT(bounded, 20);
        agree16.check("16-ray bundles");
        agree4.check("4-ray bundles");
    }
}

// The cells of a tree's empty leaves, found by walking the whole tree, and the parts of each
// bounds node's cell beyond a face of its box, which a walk that passes the box tells of.
// kinds: for each, kLeafCell, kBoundedLeafCell (below a bounds node, where a walk from the root
// may leave the node at its box without reaching the leaf) or kRoom (beside a box).
enum CellKind : uint8_t { kLeafCell, kBoundedLeafCell, kRoom };
void emptyLeafCells(const KDTree& tree, const KdNode& n, Vec4f lo, Vec4f hi,
                    std::vector<EmptyCell>& out, std::vector<CellKind>* kinds = nullptr,
                    bool bounded = false) {
    if (n.isBounds()) {
        const KdNode* child = &tree.nodeArray()[n.boundsChild()];
        for (int a = 0; a < 3; ++a) {
            EmptyCell above{lo, hi}, below{lo, hi};
            above.lo[a] = KdNode::bound(child, a + 3);
            below.hi[a] = KdNode::bound(child, a);
            for (const EmptyCell& room : {above, below}) {
                out.push_back(room);
                if (kinds) kinds->push_back(kRoom);
            }
        }
        return emptyLeafCells(tree, *child, lo, hi, out, kinds, true);
    }
    if (n.isLeaf()) {
        if (n.objectCount() == 0) {
            out.push_back(EmptyCell{lo, hi});
            if (kinds) kinds->push_back(bounded ? kBoundedLeafCell : kLeafCell);
        }
        return;
    }
    const KdNode* child = kdsteps::children(tree.nodeArray().data(), n);
    Vec4f lowerHi = hi, upperLo = lo;
    lowerHi[n.axis()] = n.split();
    upperLo[n.axis()] = n.split();
    emptyLeafCells(tree, child[0], lo, lowerHi, out, kinds, bounded);
    emptyLeafCells(tree, child[1], upperLo, hi, out, kinds, bounded);
}

// A 4-ray traversal whose last leaf is empty reports that leaf's cell: short bundles at random
// places (as the pieces of bent paths are) pass through the cell they are told of, segments
// anywhere inside it hit nothing (brute force), it is an empty leaf's cell exactly (a walk of
// the whole tree), and a small bundle in its middle is told of the same cell, as are segments
// along its faces that the bent walks take as inside it (below a bounds node a walk from the
// root may leave at the box instead: those rays meet nothing). A bundle that passes a bounds
// node's box is told of the room beside it the same way. Bundles whose last leaf holds objects
// are told of none.
TEST(KDTraverse, AnEmptyLeafsCellHoldsTheBundleAndNothingElse) {
    int told = 0, notTold = 0, held = 0, rooms = 0;
    for (unsigned seed = 1; seed <= 4; ++seed) {
        std::mt19937 rng(700 + seed);
        Scene s;
        randomScene(s, rng, 150 * int(seed), 1000.0f);
        KDTree tree;
        tree.addInterval(s.list, 0);
        std::vector<EmptyCell> leafCells;
        std::vector<CellKind> kinds;
        const Vec4f inf(__builtin_inff());
        emptyLeafCells(tree, tree.nodeArray().front(), -inf, inf, leafCells, &kinds);
        const BoundingBox& box = tree.sceneBox();
        const Vec4f size = box.max - box.min;
        std::uniform_real_distribution<float> u(0.0f, 1.0f), inner(0.01f, 0.99f),
            jitter(-2.0f, 2.0f), length(1.0f, 80.0f);
        for (int i = 0; i < 2000; ++i) {
            const Vec4f o = box.min + size * Vec4f(u(rng), u(rng), u(rng), 0.0f);
            const Vec4f d = randomDir(rng);
            Vec4f origin[4], dir[4];
            for (int l = 0; l < 4; ++l) {
                origin[l] = o + P(jitter(rng), jitter(rng), jitter(rng));
                origin[l].w = 0.0f;
                dir[l] = d + P(0.01f * jitter(rng), 0.01f * jitter(rng), 0.01f * jitter(rng));
            }
            uint32_t pix[4] = {}, plainPix[4] = {};
            alignas(16) RayBundle4 b;
            makeBundle<RayBundle4, 4>(tree, b, origin, dir, pix);
            // Lanes of one length, as a bent walk's pieces have, or of lengths far apart, so
            // that some lanes end before a split that others cross and the traversal ends in a
            // leaf on the near side of it.
            const float shared = length(rng);
            b.tMax = min(b.tMax, i % 2 ? Vec4f(shared)
                                       : Vec4f(length(rng), length(rng) * 0.05f, length(rng),
                                               length(rng) * 0.05f));
            b.live &= b.tMin <= b.tMax;
            if (!any(b.live)) continue;
            alignas(16) RayBundle4 plain = b;
            plain.out[0] = plainPix;
            plain.out[1] = plainPix + 2;
            const Vec4f tMin = b.tMin, tMax = b.tMax;
            bool empty = true;
            EmptyCell cell;
            const int hits = traceBundle4(b, empty, cell);
            ASSERT_EQ(hits, traceBundle4(plain)) << "the cell changes nothing else";
            if (!empty) {
                ++notTold;
                continue;
            }
            ++told;
            // Some lane's segment passes through the cell (slab test, with the traversal's
            // widening as slack).
            bool meets = false;
            for (int l = 0; l < 4; ++l) {
                if (!(tMin[l] <= tMax[l])) continue;
                const Vec4f du = unit(dir[l]);
                float t0 = tMin[l] * (1.0f - 1e-3f), t1 = tMax[l] * (1.0f + 1e-3f);
                for (int k = 0; k < 3; ++k) {
                    const float slack = 1e-4f * (std::fabs(origin[l][k]) + tMax[l]);
                    const float lo = cell.lo[k] - slack, hi = cell.hi[k] + slack;
                    if (du[k] == 0.0f) {
                        if (origin[l][k] < lo || origin[l][k] > hi) t1 = -1.0f;
                        continue;
                    }
                    const float a = (lo - origin[l][k]) / du[k], c = (hi - origin[l][k]) / du[k];
                    t0 = std::max(t0, std::min(a, c));
                    t1 = std::min(t1, std::max(a, c));
                }
                meets |= t0 <= t1;
            }
            EXPECT_TRUE(meets) << "told of a cell the bundle does not reach";
            const auto sameCell = [&](const EmptyCell& c) {
                return all((c.lo == cell.lo) & (c.hi == cell.hi));
            };
            const auto leaf = std::find_if(leafCells.begin(), leafCells.end(), sameCell);
            ASSERT_TRUE(leaf != leafCells.end()) << "told of a cell that is no empty leaf's";
            const CellKind kind = kinds[size_t(leaf - leafCells.begin())];
            const bool bounded = kind != kLeafCell;
            rooms += kind == kRoom;
            // Whether a bundle of these rays, as far as tMax, is told of this very cell. Below a
            // bounds node a walk may instead leave at the box, where the rays must then meet
            // nothing (brute force).
            const auto toldOfCell = [&](const Vec4f(&o)[4], const Vec4f(&d)[4], float tMax) {
                alignas(16) RayBundle4 c;
                makeBundle<RayBundle4, 4>(tree, c, o, d, pix);
                c.tMax = min(c.tMax, Vec4f(tMax));
                bool cellEmpty = false;
                EmptyCell found;
                traceBundle4(c, cellEmpty, found);
                for (int k = 0; k < 3; ++k)
                    cellEmpty &= found.lo[k] == cell.lo[k] && found.hi[k] == cell.hi[k];
                if (cellEmpty || !bounded) return cellEmpty;
                for (int l = 0; l < 4; ++l) {
                    uint32_t none = 0;
                    SingleRay r = makeRay(tree, o[l], d[l], &none);
                    r.tMin = 0.0f;
                    r.tMax = tMax;
                    if (bruteForce(s, r).hit) return false;
                }
                return true;
            };
            // The cell's part within the scene box, where the objects are.
            const Vec4f lo = max(cell.lo, box.min), hi = min(cell.hi, box.max);
            for (int j = 0; j < 6; ++j) {
                const Vec4f p = lo + (hi - lo) * Vec4f(inner(rng), inner(rng), inner(rng), 0.0f);
                const Vec4f q = lo + (hi - lo) * Vec4f(inner(rng), inner(rng), inner(rng), 0.0f);
                uint32_t out = 0;
                SingleRay r = makeRay(tree, p, q - p, &out);
                r.tMin = 0.0f;
                r.tMax = std::sqrt(dot3(q - p, q - p));
                ASSERT_FALSE(bruteForce(s, r).hit) << "an object inside an empty leaf's cell";
            }
            // Segments that hug the cell's faces, just inside or just outside: those that the
            // bent walks' memory of the cell takes as inside are ones a traversal from the root
            // steps down to this leaf alone for, as the walks rely on.
            EmptyCellMemory memory;
            memory.remember(true, cell);
            std::uniform_real_distribution<float> exponent(2.0f, 6.0f);
            for (int j = 0; j < 8; ++j) {
                // A face that is a split plane, not the scene box's.
                const int k = int(rng() % 3);
                const bool upper = rng() & 1;
                if (!(upper ? cell.hi[k] < box.max[k] : cell.lo[k] > box.min[k])) continue;
                // Both ends at the face, or the far end only (a segment that meets it steeply).
                Vec4f ends[2];
                for (int e = 0; e < 2; ++e) {
                    ends[e] = lo + (hi - lo) * Vec4f(inner(rng), inner(rng), inner(rng), 0.0f);
                    ends[e].w = 0.0f;
                    if (e == 0 && j % 2) continue;
                    const float gap = (hi - lo)[k] * std::pow(10.0f, -exponent(rng)) *
                                      ((rng() % 4) ? 1.0f : -1.0f);
                    ends[e][k] = upper ? hi[k] - gap : lo[k] + gap;
                }
                const Vec4f v = ends[1] - ends[0];
                const float len = std::sqrt(dot3(v, v));
                if (!(len > 0.0f)) continue;
                const Vec4f from[3] = {Vec4f(ends[0].x), Vec4f(ends[0].y), Vec4f(ends[0].z)};
                const Vec4f to[3] = {Vec4f(ends[1].x), Vec4f(ends[1].y), Vec4f(ends[1].z)};
                if (!memory.holds(from, to, Vec4f(len))) continue;
                ++held;
                const Vec4f origins[4] = {ends[0], ends[0], ends[0], ends[0]};
                const Vec4f dirs[4] = {v, v, v, v};
                ASSERT_TRUE(toldOfCell(origins, dirs, len))
                    << "a segment held inside the cell reaches another leaf";
            }
            Vec4f middle = (lo + hi) * Vec4f(0.5f);
            middle.w = 0.0f;
            for (int l = 0; l < 4; ++l) origin[l] = middle;
            ASSERT_TRUE(toldOfCell(origin, dir, 1e-3f * laneMin(hi - lo)));
        }
    }
    EXPECT_GT(told - rooms, 100);
    EXPECT_GT(rooms, 500);
    EXPECT_GT(notTold, 200);
    EXPECT_GT(held, 150);
}

// The traversal's last leaf can lie before a split that other lanes cross: two lanes hit a box
// and so close the far side, two end short in the empty space before it. The cell told of is
// that empty leaf's own, bounded by the split, with the rays going either way along x.
TEST(KDTraverse, AnEmptyLeafBeforeASplitOtherLanesCrossIsToldExactly) {
    for (const float way : {1.0f, -1.0f}) {
        // Two stacks of boxes, so that the tree cuts off the empty space between them.
        Scene s;
        for (int i = 0; i < 8; ++i) {
            s.box(P(0, float(i), 0), P(1, float(i) + 1, 1));
            s.box(P(20, float(i), 0), P(21, float(i) + 1, 1));
        }
        KDTree tree;
        tree.addInterval(s.list, 0);
        std::vector<EmptyCell> leafCells;
        const Vec4f inf(__builtin_inff());
        emptyLeafCells(tree, tree.nodeArray().front(), -inf, inf, leafCells);
        // Along +x the lanes that hit start before the first box; along -x, after the second.
        const float hitStart = way > 0 ? -1.0f : 22.0f;
        const Vec4f origin[4] = {P(hitStart, 0.5f, 0.5f), P(hitStart, 0.4f, 0.6f),
                                 P(10, 0.5f, 0.5f), P(10, 0.6f, 0.4f)};
        const Vec4f dir[4] = {P(way, 0, 0), P(way, 0, 0), P(way, 0, 0), P(way, 0, 0)};
        uint32_t pix[4] = {};
        alignas(16) RayBundle4 b;
        makeBundle<RayBundle4, 4>(tree, b, origin, dir, pix);
        b.tMax = min(b.tMax, Vec4f(100.0f, 100.0f, 0.5f, 0.5f));
        bool empty = false;
        EmptyCell cell;
        ASSERT_EQ(traceBundle4(b, empty, cell), 0x3) << way;
        ASSERT_TRUE(empty) << way;
        const auto sameCell = [&](const EmptyCell& c) {
            return all((c.lo == cell.lo) & (c.hi == cell.hi));
        };
        EXPECT_TRUE(std::any_of(leafCells.begin(), leafCells.end(), sameCell)) << way;
        EXPECT_TRUE(cell.lo.x <= 10.0f && 10.5f <= cell.hi.x) << way;
        EXPECT_TRUE(cell.lo.x >= 1.0f && cell.hi.x <= 20.0f) << way;
    }
}

// A leaf hands its objects its cell's interval widened (relatively for bundles, by 1.0001 for
// single rays), so a hit from just beyond the cell can be found there first. It is not final:
// the next cell may hold a nearer object. Hand-made tree: x < 1000 holds a ball that the rays
// (along +x at height 0.893) meet at x = 1000.05, within the widening; x > 1000 holds the ball
// and a plate at x = 1000.02. The plate must win, for single rays and bundles of 4 and 16.
TEST(KDTraverse, AHitLetInFromBeyondTheCellWaitsForTheCellsAfterIt) {
    Scene s;
    TestObject* ball = s.sphere(P(1000.5f, 0, 0), 1.0f);
    TestObject* plate = s.box(P(1000.02f, 0.85f, -1), P(1000.03f, 0.95f, 1));
    KDTree tree;  // for the scene box the rays are clipped to
    tree.addInterval(s.list, 0);
    const KdNode nodes[3] = {KdNode::interior(1000.0f, 0, 1), KdNode::leaf(1, 0),
                             KdNode::leaf(2, 1)};
    rtObjBase* const entries[3] = {ball, ball, plate};
    const Vec4f o = P(0, 0.893f, 0), d = P(1, 0, 0);

    uint32_t pix = 0;
    SingleRay r = makeRay(tree, o, d, &pix);
    r.node = nodes[0];
    r.nodeBase = nodes;
    r.leafBase = entries;
    ASSERT_TRUE(traceRay(r));
    EXPECT_EQ(pix, plate->id()) << "single ray";
    EXPECT_FLOAT_EQ(r.tMax, 1000.02f);

    const Vec4f origin[16] = {o, o, o, o, o, o, o, o, o, o, o, o, o, o, o, o};
    const Vec4f dir[16] = {d, d, d, d, d, d, d, d, d, d, d, d, d, d, d, d};
    uint32_t pix4[4] = {}, pix16[16] = {}, pixPortable[16] = {};
    alignas(16) RayBundle4 b4;
    makeBundle<RayBundle4, 4>(tree, b4, origin, dir, pix4);
    alignas(16) RayBundle16 b16, portable;
    makeBundle<RayBundle16, 16>(tree, b16, origin, dir, pix16);
    makeBundle<RayBundle16, 16>(tree, portable, origin, dir, pixPortable);
    for (RayBundle16* b : {&b16, &portable}) {
        b->node = nodes[0];
        b->nodeBase = nodes;
        b->leafBase = entries;
    }
    b4.node = nodes[0];
    b4.nodeBase = nodes;
    b4.leafBase = entries;
    EXPECT_EQ(traceBundle4(b4), 0xf);
    EXPECT_EQ(traceBundle16(b16), 0xffff);
    EXPECT_EQ(traceBundle16Portable(portable), 0xffff);
    for (int i = 0; i < 16; ++i) {
        if (i < 4) {
            EXPECT_EQ(pix4[i], plate->id()) << "4-ray lane " << i;
        }
        EXPECT_EQ(pix16[i], plate->id()) << "16-ray lane " << i;
        EXPECT_EQ(pixPortable[i], plate->id()) << "portable 16-ray lane " << i;
    }
}

// A tree without objects is one empty leaf: no ray hits anything in it, not even one whose
// interval has no end (as a ray along a face of the empty scene's box gets).
TEST(KDTraverse, AnEmptyTreeReportsNoHitWhateverTheInterval) {
    KDTree tree;
    tree.addInterval({}, 0);
    for (const float end : {1.0f, 1e30f, __builtin_inff()}) {
        uint32_t pix = 0x12345678u;
        SingleRay r = makeRay(tree, P(0, 0, 0), P(1, 0, 0), &pix);
        r.tMin = 0.0f;
        r.tMax = end;
        EXPECT_FALSE(traceRay(r)) << end;
        EXPECT_EQ(pix, 0x12345678u) << end;
    }
}

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
        if (node.isLeaf() || node.isBoundSlot()) continue;
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
            dir[a] = 0.0f;
            dir.w = 0.0f;
            if (dot3(dir, dir) == 0.0f) dir[(a + 1) % 3] = 1.0f;
            dir = unit(dir);
            dir[a] = (i & 1) ? 0.0f : -0.0f;
            uint32_t pixel = 0;
            SingleRay r = makeRay(tree, origin, dir, &pixel, false);
            ASSERT_EQ(r.origin[a], split);
            ASSERT_TRUE(r.dir[a] == 0.0f);
            const SingleRay before = r;
            const bool hit = traceRay(r);
            checkAgainstOracle(s, before, hit, r, pixel, "in the split plane");
            ++rays;
            const Nearest n = bruteForce(s, before);
            for (const auto& o : s.owned)
                if (n.ids.count(o->id()) && o->box.min[a] == split && o->box.max[a] == split)
                    ++inPlaneHits;
        }
    }
    EXPECT_GT(nodes, 50);
    EXPECT_GT(inPlaneHits, 10) << rays << " rays";
}

// Extras filling more leaf entries each than allowed are refused (they get a tree of their own).
TEST(KDTraverse, GraftRefusesExtrasSpreadOverTooManyLeaves) {
    std::mt19937 rng(31);
    Scene s;
    randomScene(s, rng, 400, 1000.0f);
    KDTree base;
    base.addInterval(s.list, 0);
    s.box(P(-10, -10, 500), P(1010, 1010, 501));
    KDTree tree;
    EXPECT_FALSE(tree.graft(base, {s.list.back()}, 1000, 2));
    EXPECT_TRUE(tree.graft(base, {s.list.back()}, 1000, 100000));
}

// A traced 16-ray bundle writes the walk's decisions and hits exactly as an untraced one (the
// first bundle of every frame is traced, and the two take different kernels on a processor with
// the wide ones).
TEST(KDTraverse, ATracedBundleWritesItsStepsAndHitsAsAnUntracedOne) {
    std::mt19937 rng(41);
    Scene s;
    randomScene(s, rng, 400, 100.0f);
    KDTree tree;
    tree.addInterval(s.list, 0);
    std::uniform_real_distribution<float> u(-0.15f, 0.15f);
    int linesSeen = 0;
    for (int k = 0; k < 40; ++k) {
        const Vec4f d = randomDir(rng);
        Vec4f origin[16], dir[16];
        for (int i = 0; i < 16; ++i) {
            origin[i] = P(50, 50, 50);
            dir[i] = d + P(u(rng), u(rng), u(rng));
        }
        uint32_t pix[16] = {}, tracedPix[16] = {};
        alignas(16) RayBundle16 plain, traced;
        makeBundle<RayBundle16, 16>(tree, plain, origin, dir, pix);
        makeBundle<RayBundle16, 16>(tree, traced, origin, dir, tracedPix);
        traced.trace = 1;
        const int hits = traceBundle16(plain);
        testing::internal::CaptureStdout();
        const int tracedHits = traceBundle16(traced);
        std::fflush(stdout);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(tracedHits, hits) << "bundle " << k;
        for (int i = 0; i < 16; ++i) EXPECT_EQ(tracedPix[i], pix[i]) << "bundle " << k;
        linesSeen += out.find("SUB_") != std::string::npos;
    }
    EXPECT_EQ(linesSeen, 40) << "every traced walk writes its decisions";
}
