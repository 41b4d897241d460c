// Generated light-path tables walked with the lookup iterators, against direct integration of
// the same rays and against closed-form physics; structure, seams, caching and generation time.
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

// The same ray integrated densely (eight times the table's sampling) and far beyond the table.
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

// Angle between the straight line from the observer at (rObs, 0) to (x, y) and the initial
// direction (-cos a, sin a) of the ray at angle a.
double angleFromStraight(double rObs, float a, float x, float y) {
    const double dx = x - rObs, dy = y;
    return std::atan2(std::fabs(dx * std::sin(a) + dy * std::cos(a)),
                      -dx * std::cos(a) + dy * std::sin(a));
}

}  // namespace

// Bisected between a captured and an escaping angle, the boundary lies at the critical impact
// parameter 3 sqrt(3) / 2 r_s; inside the photon sphere (1.3) only rays going outwards close to
// radially escape.
TEST(LightPathGenerator, TableCaptureBoundaryIsTheCriticalImpactParameter) {
    const double bc = PhotonOrbit::criticalImpactParameter(1.0);
    EXPECT_DOUBLE_EQ(bc, 1.5 * std::sqrt(3.0));
    for (double rObs : {1.3, 2.5, 10.0, 60.0}) {
        LightPathTree tree;
        LightPathGenerator().generate(tree, float(rObs), 1.0f);
        EXPECT_EQ(tree.angleMin(), 0.0f);
        EXPECT_EQ(tree.angleMax(), float(M_PI));
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

// A table point is right when it lies on the true path up to a small turn of the segment, or
// where the true path of an initial angle within the tolerance lies: the generator's two criteria,
// checked here against densely integrated rays with five times the tolerance angle (the model is
// tested at interval midpoints only, and a halving may lag a level behind). Where a piece spans
// several sampling steps, the integrated path at the steps it skips lies within three times the
// tolerance angle (times the path's sideways spread per radian of initial angle) of the piece.
TEST(LightPathGenerator, TablePointsAndTheChordsBetweenThemFollowTheIntegratedPaths) {
    const double rs = 1.0, slack = 5e-4, h = 1e-5, tolerance = 1e-4;
    std::mt19937 rng(1234);
    for (double rObs : {3.0, 10.0, 200.0}) {
        LightPathTree tree;
        LightPathGenerator gen;
        gen.generate(tree, float(rObs), float(rs));
        if (rObs > 5) {
            EXPECT_GT(gen.lastStatistics().dropped, gen.lastStatistics().nodes / 4)
                << "far from the hole most points go";
        }
        const double bc = PhotonOrbit::criticalImpactParameter(rs);
        std::uniform_real_distribution<double> angle(0.0, M_PI - 2 * h);
        double worst = 0, worstSkipped = 0;
        int points = 0, skipped = 0;
        for (int i = 0; i < 60; ++i) {
            const float a = float(angle(rng));
            // Away from the capture boundary, where a pixel is not a single path anyway.
            if (std::fabs(PhotonOrbit::impactParameter(rObs, rs, a) / bc - 1) < 0.02) continue;
            const PhotonPath truth = denseRay(rObs, rs, a);
            const PhotonPath nearby = denseRay(rObs, rs, double(a) + h);
            // Sideways spread of the paths per radian of initial angle at dense sample j.
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
                // Float storage alone costs about 1e-7 of the distance.
                const double d = distanceToPath(truth, w.xs[k], w.ys[k]) - 2e-7 * r;
                worst = std::max(worst, d / std::max(spacing * r, spreadAt(dense)));
                ++points;
                // The table's own sampling steps that this piece skips.
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
                // The straight continuation points along the ray's asymptote (or along that of
                // a ray within the tolerance).
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
        std::printf(
            "rObs %g: worst sideways error %.2e of max(spacing, spread), %d points left "
            "out, worst %.2e rad\n",
            rObs, worst, skipped, worstSkipped);
        EXPECT_GT(points, 100);
        EXPECT_LT(worst, slack) << "rObs " << rObs;
        EXPECT_LT(worstSkipped, 3 * tolerance) << "rObs " << rObs;
        if (rObs > 5) {
            EXPECT_GT(skipped, 100);
        }
    }
}

TEST(LightPathGenerator, NeighbouringAnglesShareTheirPointsAcrossSplits) {
    // Linear models through the boundary rays meet at the split angles: no seams in the picture.
    LightPathTree tree;
    LightPathGenerator().generate(tree, 12.0f, 1.0f);
    const double bc = PhotonOrbit::criticalImpactParameter(1.0);
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> angle(0.0f, 3.1f);
    int compared = 0;
    for (int i = 0; i < 300; ++i) {
        const float a = angle(rng);
        if (std::fabs(PhotonOrbit::impactParameter(12.0, 1.0, a) / bc - 1) < 0.02) continue;
        const float b = std::nextafter(a, 4.0f);
        const Walk wa = walk(tree, a), wb = walk(tree, b);
        if (wa.xs.size() != wb.xs.size() || wa.escaped != wb.escaped) continue;
        for (std::size_t k = 0; k < wa.xs.size(); ++k) {
            const double r = std::hypot(wa.xs[k], wa.ys[k]);
            EXPECT_LT(std::hypot(wa.xs[k] - wb.xs[k], wa.ys[k] - wb.ys[k]), 1e-5 * r + 1e-6);
        }
        ++compared;
    }
    EXPECT_GT(compared, 200);
}

TEST(LightPathGenerator, ObserverAtOrInsideTheHorizonSeesOnlyBlack) {
    for (float rObs : {0.5f, 1.0f}) {
        LightPathTree tree;
        LightPathGenerator().generate(tree, rObs, 1.0f);
        EXPECT_EQ(tree.nodeCount(), 0u);
        for (float a : {0.0f, 1.0f, 3.1f}) EXPECT_TRUE(walk(tree, a).xs.empty()) << a;
        EXPECT_FALSE(tree.needsRegeneration(rObs, 1.0f));
    }
}

// Without a hole every path is one straight piece, escaping at its first node.
TEST(LightPathGenerator, WithoutAHoleEveryRayGoesStraightFromTheObserver) {
    LightPathTree tree;
    LightPathGenerator().generate(tree, 10.0f, 0.0f);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> angle(0.0f, 3.14159f);
    for (int i = 0; i < 200; ++i) {
        const float a = angle(rng);
        const Walk w = walk(tree, a);
        ASSERT_TRUE(w.escaped);
        ASSERT_EQ(w.xs.size(), 1u);
        EXPECT_LT(angleFromStraight(10.0, a, w.xs[0], w.ys[0]), 2e-4) << a;
    }
}

// The model checks keep tables within a small multiple of the pool's reserve at every distance.
TEST(LightPathGenerator, TablesAreBounded) {
    LightPathGenerator gen;
    for (double rObs : {1.001, 1.2, 2.0, 5.0, 20.0, 100.0, 1000.0}) {
        LightPathTree tree;
        const LightPathStatistics st = gen.generate(tree, float(rObs), 1.0f);
        EXPECT_EQ(st.nodes, tree.nodeCount());
        EXPECT_LE(st.deepestLevel, tree.parameters.maxPathPoints);
        EXPECT_LT(st.nodes, 3 * LightPathTree::kNodePoolReserve);
    }
}

// update() regenerates by the table's own rule (tested with the table); the table has the same
// shape in units of r_s: it scales with the hole. The roots' trees grow on two threads and are
// joined into one pool: a second generation for the same observer gives the same table.
TEST(LightPathGenerator, UpdateRegeneratesOnlyWhenNeededAndTablesScaleWithTheHole) {
    LightPathTree tree;
    LightPathGenerator gen;
    EXPECT_TRUE(gen.update(tree, 10.0f, 1.0f));
    EXPECT_FALSE(gen.update(tree, 10.0002f, 1.0f));
    EXPECT_TRUE(gen.update(tree, 10.5f, 1.0f));
    EXPECT_EQ(tree.generatedRObs(), 10.5f);
    LightPathTree unit, doubled, again;
    gen.generate(unit, 10.0f, 1.0f);
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
