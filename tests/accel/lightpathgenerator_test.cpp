// Light paths: generated tables walked with the lookup iterators against dense integration of
// the same rays and closed-form physics; root choice and regeneration bookkeeping; the
// gravitational wavelength factor. (Four lanes against single ones: whole bent pictures in
// tests/engine/packetagreement_test.cpp; the integrator itself: photonorbit_test.cpp.)
#include "accel/lightpathgenerator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tests/accel/lightpathwalk.h"

namespace {

// Distance from (x, y) to the polyline through the samples.
double distanceToPath(const PhotonPath& path, double x, double y) {
    double best = 1e300;
    for (std::size_t i = 1; i < path.samples.size(); ++i) {
        const PhotonSample& a = path.samples[i - 1];
        const PhotonSample& b = path.samples[i];
        const double ex = b.x - a.x, ey = b.y - a.y;
        const double len2 = ex * ex + ey * ey;
        double t = len2 > 0 ? ((x - a.x) * ex + (y - a.y) * ey) / len2 : 0;
        t = std::min(std::max(t, 0.0), 1.0);
        best = std::min(best, std::hypot(a.x + t * ex - x, a.y + t * ey - y));
    }
    return best;
}

// The same ray integrated at eight times the table's sampling, far beyond the table.
constexpr double kDenseStep = 1.0 / 80;
PhotonPath denseRay(double rObs, double rs, double angle) {
    LightPathParameters p;
    p.samplesPerUnit = 80;
    p.maxPathPoints = 8000;
    p.extraEscapeSamples = 0;
    p.toleranceMrad = 1e-7f;  // sampled until its remaining bending is below 1e-10
    PhotonPath path;
    PhotonOrbit(LightPathGenerator::orbitSettings(p, rObs, rs)).trace(angle, path);
    return path;
}

}  // namespace

// The capture boundary lies at the critical impact parameter 3 sqrt(3) / 2 r_s; inside the
// photon sphere (1.3) only rays going outwards close to radially escape.
TEST(LightPathGenerator, TableCaptureBoundaryIsTheCriticalImpactParameter) {
    const double bc = PhotonOrbit::criticalImpactParameter(1.0);
    EXPECT_DOUBLE_EQ(bc, 1.5 * std::sqrt(3.0));
    for (double rObs : {1.3, 2.5, 10.0, 60.0}) {
        LightPathTree tree;
        LightPathGenerator().generate(tree, float(rObs), 1.0f);
        float lo = rObs < 1.5 ? 1.75f : 0.0f, hi = rObs < 1.5 ? 3.14f : float(M_PI / 2);
        ASSERT_FALSE(walk(tree, lo).escaped);
        ASSERT_TRUE(walk(tree, hi).escaped);
        while (std::nextafter(lo, hi) < hi) {
            const float mid = LightPathTree::midAngle(lo, hi);
            (walk(tree, mid).escaped ? hi : lo) = mid;
        }
        EXPECT_NEAR(PhotonOrbit::impactParameter(rObs, 1.0, hi) / bc, 1.0, 1e-3) << rObs;
    }
}

// Table points lie on the dense path up to a small turn of the segment or the spread of paths
// within the tolerance (five times it: the model is checked at midpoints only); pieces that skip
// sampling steps pass within three tolerance angles of the skipped path points.
TEST(LightPathGenerator, TablePointsAndTheChordsBetweenThemFollowTheIntegratedPaths) {
    const double rs = 1.0, slack = 5e-4, h = 1e-5, tolerance = 1e-4;
    std::mt19937 rng(1234);
    for (double rObs : {3.0, 10.0, 200.0}) {
        LightPathTree tree;
        LightPathGenerator gen;
        gen.generate(tree, float(rObs), float(rs));
        const LightPathStatistics& st = gen.lastStatistics();
        EXPECT_TRUE(rObs < 5 || st.dropped > st.nodes / 4) << "far from the hole most points go";
        const double bc = PhotonOrbit::criticalImpactParameter(rs);
        std::uniform_real_distribution<double> angle(0.0, M_PI - 2 * h);
        double worst = 0, worstSkipped = 0;
        int points = 0, skipped = 0;
        for (int i = 0; i < 60; ++i) {
            const float a = float(angle(rng));
            if (std::fabs(PhotonOrbit::impactParameter(rObs, rs, a) / bc - 1) < 0.02) continue;
            const PhotonPath truth = denseRay(rObs, rs, a);
            const PhotonPath nearby = denseRay(rObs, rs, double(a) + h);
            const auto spreadAt = [&](std::size_t j) {
                const PhotonSample &p = truth.samples[j], &q = nearby.samples[j];
                return std::hypot(q.x - p.x, q.y - p.y) / h;
            };
            const Walk w = walk(tree, a);
            ASSERT_EQ(w.escaped, truth.fate == PhotonFate::Escaped) << "angle " << a;
            const std::size_t regular = w.escaped ? w.xs.size() - 1 : w.xs.size();
            double fromX = rObs, fromY = 0;
            std::size_t from = 0;
            for (std::size_t k = 0; k < regular; ++k) {
                const std::size_t dense = std::size_t(std::lround(w.sigmas[k] / kDenseStep));
                ASSERT_NEAR(dense * kDenseStep, w.sigmas[k], 1e-6);
                if (dense >= truth.samples.size() || dense >= nearby.samples.size()) break;
                const double r = std::max(truth.samples[dense].r, rs);
                const double spacing = w.sigmas[k] - (k > 0 ? w.sigmas[k - 1] : 0.0f);
                const double d = distanceToPath(truth, w.xs[k], w.ys[k]) - 2e-7 * r;
                worst = std::max(worst, d / std::max(spacing * r, spreadAt(dense)));
                ++points;
                const double cx = w.xs[k] - fromX, cy = w.ys[k] - fromY;
                for (std::size_t j = from + 8; j < dense; j += 8) {
                    const PhotonSample& p = truth.samples[j];
                    const double off = std::fabs(cx * (p.y - fromY) - cy * (p.x - fromX));
                    worstSkipped = std::max(worstSkipped, off / std::hypot(cx, cy) / spreadAt(j));
                    ++skipped;
                }
                fromX = w.xs[k];
                fromY = w.ys[k];
                from = dense;
            }
            if (w.escaped) {
                // The straight continuation runs along the asymptote.
                const std::size_t n = w.xs.size();
                const double lastX = n >= 2 ? w.xs[n - 2] : rObs, lastY = n >= 2 ? w.ys[n - 2] : 0;
                const double dx = w.xs[n - 1] - lastX, dy = w.ys[n - 1] - lastY;
                double tx, ty, ux, uy;
                truth.escapeDirection(truth.escapeLevel - 1, rs, tx, ty);
                nearby.escapeDirection(nearby.escapeLevel - 1, rs, ux, uy);
                const double turnRate =
                    std::atan2(std::fabs(ux * ty - uy * tx), ux * tx + uy * ty) / h;
                const double err = std::atan2(std::fabs(dx * ty - dy * tx), dx * tx + dy * ty);
                EXPECT_LT(err, 2 * slack * std::max(1.0, turnRate))
                    << "angle " << a << " rObs " << rObs;
            }
        }
        EXPECT_GT(points, 100);
        EXPECT_LT(worst, slack) << "rObs " << rObs;
        EXPECT_LT(worstSkipped, 3 * tolerance) << "rObs " << rObs;
        EXPECT_TRUE(rObs < 5 || skipped > 100);
    }
}

// A walk costs a table step and a traversal per point, so the table keeps no point that the
// picture does not need. Paths past a hole seen from 74.5 r_s (the default scene's, at the
// tolerance of its 1280 x 720 view) keep about ten points, and hardly any path passes a halving
// of its interval (each costs it two points a sample apart). Grown from 40 roots, they kept 12.9
// points and passed 2.6 halvings; the table has 10.0 and 0.1.
TEST(LightPathGenerator, PathsKeepFewPointsAndPassFewHalvings) {
    LightPathTree tree;
    tree.parameters.toleranceMrad = 0.283f;
    LightPathGenerator().generate(tree, 44.7f, 0.6f);
    int paths = 0, points = 0, halvings = 0;
    for (float a = 0.03f; a < 0.9f; a += 0.001f, ++paths) {
        PathIterator it;
        it.start(tree, a);
        while (it.node != nullptr && !it.node->absorbs() && !it.node->escapes()) {
            halvings += it.node->lower != nullptr && it.node->upper != nullptr;
            it.step();
            ++points;
        }
    }
    EXPECT_LT(double(points) / paths, 11.0);
    EXPECT_LT(double(halvings) / paths, 0.2);
}

// Without a hole every path is one straight piece from the observer, escaping at its first node.
TEST(LightPathGenerator, WithoutAHoleEveryRayGoesStraightFromTheObserver) {
    LightPathTree tree;
    LightPathGenerator().generate(tree, 10.0f, 0.0f);
    for (float a = 0.001f; a < 3.14159f; a += 0.01f) {
        const Walk w = walk(tree, a);
        ASSERT_TRUE(w.escaped && w.xs.size() == 1u) << a;
        const double dx = w.xs[0] - 10.0, dy = w.ys[0];  // along (-cos a, sin a), not sideways
        EXPECT_LT(std::fabs(dx * std::sin(a) + dy * std::cos(a)),
                  2e-4 * (dy * std::sin(a) - dx * std::cos(a)))
            << a;
    }
}

// Tables stay within a small multiple of the pool's reserve; at or inside the horizon they are
// empty and every path is black.
TEST(LightPathGenerator, TablesAreBoundedAndEmptyAtOrInsideTheHorizon) {
    LightPathGenerator gen;
    for (double rObs : {0.5, 1.0, 1.001, 1.2, 5.0, 100.0, 1000.0}) {
        LightPathTree tree;
        const LightPathStatistics st = gen.generate(tree, float(rObs), 1.0f);
        EXPECT_EQ(st.nodes, tree.nodeCount());
        EXPECT_LE(st.deepestLevel, tree.parameters.maxPathPoints);
        EXPECT_LT(st.nodes, 3 * LightPathTree::kNodePoolReserve);
        EXPECT_FALSE(tree.needsRegeneration(float(rObs), 1.0f));
        EXPECT_EQ(rObs <= 1.0, tree.nodeCount() == 0 && walk(tree, 1.0f).xs.empty()) << rObs;
    }
}

// Tables scale with the hole; one grown on two threads again is the same table.
TEST(LightPathGenerator, TablesScaleWithTheHoleAndGrowTheSameOnThreads) {
    LightPathGenerator gen;
    LightPathTree unit, doubled, again;
    EXPECT_TRUE(gen.update(unit, 10.0f, 1.0f));
    EXPECT_FALSE(gen.update(unit, 10.0002f, 1.0f));  // within the table's own rule
    gen.generate(doubled, 20.0f, 2.0f);
    gen.generate(again, 10.0f, 1.0f);
    EXPECT_EQ(unit.nodeCount(), doubled.nodeCount());
    for (float a : {0.2f, 1.0f, 1.9f, 2.0f, 2.7f}) {
        const Walk wu = walk(unit, a), wd = walk(doubled, a);
        EXPECT_EQ(walk(again, a).xs, wu.xs) << a;
        EXPECT_EQ(walk(again, a).ys, wu.ys) << a;
        ASSERT_EQ(wu.xs.size(), wd.xs.size());
        for (std::size_t k = 0; k < wu.xs.size(); ++k)
            EXPECT_NEAR(wd.xs[k], 2 * wu.xs[k], 1e-5 * std::fabs(wd.xs[k]) + 1e-5);
    }
}

// Single iterators and four lanes at once (the lanes in four different orders).
TEST(LightPathTree, StartClampsToFirstAndLastRoot) {
    LightPathTree tree;
    const float s = tree.rootWidth();
    EXPECT_FLOAT_EQ(s, 0.24f);
    PathIterator it;
    // Angle and root: the default table has ten roots over [0.1, 2.5].
    const std::pair<float, int> cases[] = {{0.0999f, 0}, {-1e30f, 0}, {NAN, 0},      {-INFINITY, 0},
                                           {0.35f, 1},   {1.2f, 4},   {2.2f, 8},     {2.45f, 9},
                                           {2.5f, 9},    {1e30f, 9},  {INFINITY, 9}, {0.1f, 0}};
    for (const auto& [a, root] : cases) {
        it.start(tree, a);
        EXPECT_EQ(it.node, &tree.root(root)) << a;
        EXPECT_EQ(it.lo, 0.1f + float(root) * s) << a;
        EXPECT_EQ(it.hi, it.lo + s) << a;
    }
    EXPECT_EQ(it.angle, 0.1f);

    constexpr int n = sizeof cases / sizeof *cases;
    for (int first = 0; first < n; first += 4)
        for (int rotate = 0; rotate < 4; ++rotate) {
            Vec4f angles;
            int caseOf[4];
            for (int l = 0; l < 4; ++l) {
                caseOf[l] = first + (l + rotate) % 4;
                angles[l] = cases[caseOf[l]].first;
            }
            PathIterator4 four;
            four.start(tree, angles);
            for (int l = 0; l < 4; ++l) {
                const int root = cases[caseOf[l]].second;
                const PathIterator lane = four.lane(l);
                SCOPED_TRACE(testing::Message() << "lane " << l << ", angle " << angles[l]);
                EXPECT_EQ(lane.node, &tree.root(root));
                EXPECT_EQ(lane.lo, 0.1f + float(root) * s);
                EXPECT_EQ(lane.hi, lane.lo + s);
            }
        }
}

// Four lanes stepped together are four single iterators stepped alone, bit for bit, for as long
// as step() lets them go on together: the same nodes and intervals, the same points, the same
// absorbing and escaping lanes; and stepping from them into another iterator (which holds a
// different place meanwhile) is stepping them in place. Quadruples of angles as close as a 2 x 2
// packet's (which mostly share a node and then part into neighbouring ones, the case the four-lane
// shortcuts serve), a table's interval apart, and anywhere.
TEST(LightPathTree, FourLanesStepAsFourSingleIterators) {
    LightPathTree tree;
    LightPathGenerator().generate(tree, 44.7f, 0.6f);
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> anywhere(0.05f, 2.6f);
    const float spreads[] = {1e-4f, 1e-3f, 3e-3f, 1e-2f, 0.3f};
    int steps = 0, partings = 0, sharedSteps = 0, splitSteps = 0;
    for (int q = 0; q < 10000; ++q) {
        const float spread = spreads[q % 5];
        const float base = anywhere(rng);
        Vec4f angles;
        for (int l = 0; l < 4; ++l)
            angles[l] = q % 5 == 4 ? anywhere(rng) : base + spread * float(rng() % 64) / 64.0f;
        PathIterator4 four, other;
        four.start(tree, angles);
        other.start(tree, Vec4f(anywhere(rng), anywhere(rng), anywhere(rng), anywhere(rng)));
        PathIterator one[4];
        for (int l = 0; l < 4; ++l) one[l].start(tree, angles[l]);
        for (int depth = 0; depth <= tree.parameters.maxPathPoints; ++depth) {
            int absorbing = 0;
            for (int l = 0; l < 4; ++l) absorbing |= int(one[l].node->absorbs()) << l;
            ASSERT_EQ(four.absorbingLanes(), absorbing) << q << " at " << depth;
            if (absorbing) break;
            const bool together = four.node(0) == four.node(1) && four.node(0) == four.node(2) &&
                                  four.node(0) == four.node(3);
            PathIterator4 into = other;
            const int escapingInto = into.stepFrom(four);
            const int escaping = four.step();
            ASSERT_EQ(escapingInto, escaping) << q;
            for (int l = 0; l < 4; ++l) {
                const PathIterator a = into.lane(l), b = four.lane(l);
                ASSERT_TRUE(a.node == b.node && a.lo == b.lo && a.hi == b.hi && a.angle == b.angle)
                    << q << " at " << depth;
            }
            if (escaping < 0) {  // parted: nothing moved
                ++partings;
                for (int l = 0; l < 4; ++l) ASSERT_EQ(four.node(l), one[l].node) << q;
                break;
            }
            ++steps;
            for (int l = 0; l < 4; ++l) one[l].step();
            Vec4f x, y;
            four.point(x, y);
            bool allEscape = true;
            for (int l = 0; l < 4; ++l) {
                SCOPED_TRACE(testing::Message()
                             << "quadruple " << q << ", depth " << depth << ", lane " << l);
                const PathIterator lane = four.lane(l);
                ASSERT_EQ(lane.node, one[l].node);
                ASSERT_EQ(lane.lo, one[l].lo);
                ASSERT_EQ(lane.hi, one[l].hi);
                float xl, yl;
                one[l].point(xl, yl);
                ASSERT_EQ(x[l], xl);
                ASSERT_EQ(y[l], yl);
                allEscape = allEscape && one[l].node->escapes();
            }
            const bool stillTogether = four.node(0) == four.node(1) &&
                                       four.node(0) == four.node(2) && four.node(0) == four.node(3);
            sharedSteps += together && stillTogether;
            splitSteps += together && !stillTogether;
            ASSERT_EQ(escaping, allEscape ? 0xf : 0) << q;
            if (allEscape) break;
        }
    }
    // The cases the four-lane walk takes apart must all have come up.
    EXPECT_GT(steps, 50000);
    EXPECT_GT(partings, 1000);
    EXPECT_GT(sharedSteps, 30000);
    EXPECT_GT(splitSteps, 50);
}

// The iterators halve an interval at its midpoint rounded to the nearest float, as the
// generator does: for every interval a table's halvings make (down to the float resolution,
// from each of 320 roots over [0, pi]) the split point is no further from the exact midpoint
// (in double, exact for these sums) than either float beside it.
TEST(LightPathTree, SplitPointIsTheNearestFloatToTheMidpoint) {
    std::mt19937 rng(7);
    const float width = float(M_PI) / 320.0f;
    int checked = 0;
    for (int root = 0; root < 320; ++root) {
        float lo = float(root) * width, hi = lo + width;
        for (int depth = 0; depth < 40 && lo < hi; ++depth, ++checked) {
            const float mid = LightPathTree::midAngle(lo, hi);
            const double exact = (double(lo) + double(hi)) / 2.0;
            const double off = std::fabs(double(mid) - exact);
            ASSERT_LE(off, std::fabs(double(std::nextafter(mid, 0.0f)) - exact)) << lo << " " << hi;
            ASSERT_LE(off, std::fabs(double(std::nextafter(mid, 4.0f)) - exact)) << lo << " " << hi;
            ASSERT_TRUE(lo <= mid && mid <= hi);
            (rng() & 1 ? lo : hi) = mid;
        }
    }
    EXPECT_GT(checked, 320 * 15);
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

// sqrt((1 - r_s / r_obs) / (1 - r_s / r_emit)): redder from deeper down, infinite from the
// horizon, 0 for an observer inside it.
TEST(GravitationalWavelengthFactor, RedshiftClimbingOut) {
    const struct {
        float rObs, rEmit, rs;
        double expected;
    } cases[] = {
        {10, 2, 1, std::sqrt(0.9 / 0.5)},
        {2, 10, 1, std::sqrt(0.5 / 0.9)},
        {7, 7, 1, 1.0},
        {7, 3, 0, 1.0},
        {10, 1, 1, HUGE_VAL},
        {0.5f, 10, 1, 0.0},
    };
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(gravitationalWavelengthFactor(c.rObs, c.rEmit, c.rs), float(c.expected))
            << c.rObs << " " << c.rEmit;
}
