// The black hole's frame for observers at distances that float arithmetic only just holds.
#include "accel/blackholeframe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "tests/accel/lightpathwalk.h"

namespace {

// How many nodes below the roots hold finite points and slopes.
std::size_t finiteNodes(const LightPathTree& tree) {
    std::set<const LightPathNode*> seen;
    std::vector<const LightPathNode*> stack;
    for (int i = 0; i < tree.rootCount(); ++i)
        for (const LightPathNode* n : {tree.root(i).lower, tree.root(i).upper})
            if (n) stack.push_back(n);
    std::size_t finite = 0;
    while (!stack.empty()) {
        const LightPathNode* n = stack.back();
        stack.pop_back();
        if (!seen.insert(n).second) continue;
        finite += std::isfinite(n->x0) && std::isfinite(n->y0) && std::isfinite(n->dx) &&
                  std::isfinite(n->dy);
        if (n->escapes()) continue;
        for (const LightPathNode* next : {n->lower, n->upper})
            if (next) stack.push_back(next);
    }
    return finite;
}

}  // namespace

// The squared distance of a far observer overflows float (1e40 for 1e20) and that of a very
// close one underflows; the distance itself is a float either way.
TEST(BlackHoleFrame, DistanceHoldsWhereItsSquareDoesNot) {
    const struct {
        Vec4f observer, hole;
        double expected;
    } cases[] = {
        {Vec4f(3, 4, 12, 0), Vec4f(0, 0, 0, 0), 13.0},
        {Vec4f(1e20f, 0, 0, 0), Vec4f(0, 0, 0, 0), double(1e20f)},
        {Vec4f(0, 3e19f, 0, 0), Vec4f(0, -1e19f, 0, 0), 4e19},
        {Vec4f(2e-25f, 0, 0, 0), Vec4f(0, 0, 0, 0), double(2e-25f)},
        {Vec4f(3e38f, 0, 0, 0), Vec4f(-3e38f, 0, 0, 0), HUGE_VAL},  // beyond float: infinite
    };
    for (const auto& c : cases)
        EXPECT_EQ(BlackHoleFrame::distance(c.observer, c.hole), float(c.expected)) << c.expected;
}

// A hole 1e20 away (it once gave NaN paths) bends nothing visibly: rays that miss it escape
// through finite points (its capture cone, 1e-20 rad wide, is below the table's angular
// resolution); an observer at no finite distance gets a table of
// captured paths instead of NaN.
TEST(BlackHoleFrame, FarObserversGetFiniteTables) {
    BlackHoleFrame far;
    far.prepare(Vec4f(1e20f, 0, 0, 0), Vec4f(0, 0, 0, 0), 1.0f);
    EXPECT_EQ(far.rObs, 1e20f);
    for (float a : {0.5f, 1.5707964f, 3.1f}) {
        const Walk w = walk(far.paths, a);
        EXPECT_TRUE(w.finite && w.escaped) << a;
    }

    // 4e37 away from a hole of 3.5e-38, with coarse samples and deep splits: paths through the
    // finest intervals near the axis part by more than a float slope holds.
    BlackHoleFrame edge;
    LightPathParameters& p = edge.paths.parameters;
    p.samplesPerUnit = p.fateSigmaLimit = p.escapeRadius = 1.0f;
    p.toleranceMrad = 0.05f;
    p.extraEscapeSamples = 21;
    p.maxSplitDepth = 52;
    p.maxPathPoints = 176;
    p.checkQuarterPoints = true;
    edge.prepare(Vec4f(1.0f, 4.25e37f, 0, 0), Vec4f(0, 0, 1, 0), 3.5e-38f);
    EXPECT_EQ(finiteNodes(edge.paths), edge.paths.nodeCount());

    // 2.9e38 away: paths that run outwards leave float's range; every lookup stays finite.
    BlackHoleFrame rim;
    rim.prepare(Vec4f(10, 0, 0, 0), Vec4f(-2.9e38f, 0, 0, 0), 0.5f);
    EXPECT_EQ(finiteNodes(rim.paths), rim.paths.nodeCount());
    for (float a = 0.0f; a < 3.1416f; a += 0.01f) ASSERT_TRUE(walk(rim.paths, a).finite) << a;

    BlackHoleFrame beyond;
    beyond.prepare(Vec4f(3e38f, 0, 0, 0), Vec4f(-3e38f, 0, 0, 0), 1.0f);
    EXPECT_TRUE(std::isinf(beyond.rObs));
    for (float a : {0.0f, 1.5707964f, 3.1415927f}) {
        const Walk w = walk(beyond.paths, a);
        EXPECT_TRUE(w.finite && !w.escaped) << a;
    }
}

// sqrt((1 - rs / rObs) / (1 - rs / rEmit)) outside the horizon; no shift (1) where there is no
// static observer or no distance, never NaN.
TEST(BlackHoleFrame, WavelengthFactorIsTheStaticObserversOrOne) {
    BlackHoleFrame h;
    h.rs = 1.0f;
    h.rObs = 4.0f;
    EXPECT_NEAR(h.wavelengthFactor(2.0f), std::sqrt(0.75 / 0.5), 1e-6);
    EXPECT_NEAR(h.wavelengthFactor(16.0f), std::sqrt(0.75 / (15.0 / 16.0)), 1e-6);
    const float nan = std::nanf("");
    const struct {
        float rObs, rs;
    } none[] = {{0.5f, 1.0f}, {nan, 1.0f}, {4.0f, nan}, {4.0f, 0.0f}, {4.0f, HUGE_VALF}};
    for (const auto& c : none) {
        h.rObs = c.rObs;
        h.rs = c.rs;
        EXPECT_EQ(h.wavelengthFactor(2.0f), 1.0f) << c.rObs << " " << c.rs;
    }
}

// Flying past the hole, the live loop keeps the old table while the one for the new distance
// grows on another thread, and takes it over later; the taken-over table is the one generated
// on the spot. New parameters or no table at all are generated on the spot even then: an old
// table of another hole would draw a wrong picture, not a slightly late one.
TEST(BlackHoleFrame, MovedObserverKeepsTheOldTableUntilTheNewOneHasGrown) {
    const Vec4f hole(0, 9, 0, 0), near(0, 9, -30, 0), far(0, 9, -44, 0);
    const auto keepOld = BlackHoleFrame::TableUpdate::KeepOld;
    BlackHoleFrame live;
    live.prepare(near, hole, 0.6f, keepOld);  // no table yet: generated on the spot
    EXPECT_FALSE(live.regenerating());
    EXPECT_EQ(live.paths.generatedRObs(), 30.0f);

    live.prepare(far, hole, 0.6f, keepOld);
    EXPECT_TRUE(live.regenerating());
    EXPECT_EQ(live.paths.generatedRObs(), 30.0f) << "the old table stays while the new one grows";
    EXPECT_EQ(live.rObs, 44.0f) << "the frame itself is the new observer's";
    live.prepare(far, hole, 0.6f);  // a still picture waits for the grown table
    EXPECT_FALSE(live.regenerating());
    EXPECT_EQ(live.paths.generatedRObs(), 44.0f);
    BlackHoleFrame still;
    still.prepare(far, hole, 0.6f);
    EXPECT_EQ(live.paths.nodeCount(), still.paths.nodeCount());

    // New parameters while a table grows: the grown one (old parameters) is dropped.
    live.prepare(near, hole, 0.6f, keepOld);
    EXPECT_TRUE(live.regenerating());
    live.paths.parameters.samplesPerUnit = 5.0f;
    live.prepare(near, hole, 0.6f, keepOld);
    EXPECT_FALSE(live.paths.needsRegeneration(30.0f, 0.6f));
    live.prepare(near, hole, 0.6f);
    EXPECT_FALSE(live.regenerating());
    BlackHoleFrame coarse;
    coarse.paths.parameters.samplesPerUnit = 5.0f;
    coarse.prepare(near, hole, 0.6f);
    EXPECT_EQ(live.paths.nodeCount(), coarse.paths.nodeCount());
}

// The automatic tolerance is half the sample angle rounded down to the ladder 0.1 * 2^(k/8) mrad
// and held within its bounds: never above half the angle, at most one step below it.
TEST(BlackHoleFrame, AutomaticToleranceIsHalfASampleOnTheLadder) {
    for (const double angle : {0.1e-3, 0.2e-3, 0.31e-3, 0.6e-3, 0.7854e-3, 0.79e-3, 1e-6, 0.05}) {
        const double tolerance = BlackHoleFrame::automaticToleranceMrad(float(angle));
        const double half = 0.5e3 * angle;
        if (half <= 0.05) {
            EXPECT_FLOAT_EQ(float(tolerance), 0.05f) << angle;
        } else if (half >= 0.4) {
            EXPECT_FLOAT_EQ(float(tolerance), 0.4f) << angle;
        } else {
            EXPECT_LE(tolerance, half * (1 + 1e-6)) << angle;
            EXPECT_GT(tolerance, half / std::exp2(1.0 / 8)) << angle;
            const double step = 8 * std::log2(tolerance / 0.1);
            EXPECT_NEAR(step, std::round(step), 1e-5) << angle;
        }
    }
    // Worked: 0.6 mrad apart, 0.3 mrad wanted; 0.1 * 2^(12/8) = 0.283 is the step below.
    EXPECT_NEAR(BlackHoleFrame::automaticToleranceMrad(0.6e-3f), 0.28284, 1e-4);
    EXPECT_FLOAT_EQ(BlackHoleFrame::automaticToleranceMrad(0.2e-3f), 0.1f);
}

// Views of two sizes drawn in turn share the finer view's table; the table is coarsened only once
// the finer view has stopped asking for it, and a still picture gets its own view's tolerance.
TEST(BlackHoleFrame, ViewsDrawnInTurnShareTheFinestTable) {
    const Vec4f hole(0, 0, 0, 0), observer(30, 0, 0, 0);
    const float fine = 0.3e-3f, coarse = 0.7e-3f;
    const float fineMrad = BlackHoleFrame::automaticToleranceMrad(fine);
    const float coarseMrad = BlackHoleFrame::automaticToleranceMrad(coarse);
    ASSERT_LT(fineMrad, coarseMrad);
    const auto keepOld = BlackHoleFrame::TableUpdate::KeepOld;

    BlackHoleFrame live;
    live.prepare(observer, hole, 0.6f, keepOld, coarse);  // no table yet: made on the spot
    EXPECT_FALSE(live.regenerating());
    EXPECT_EQ(live.paths.parameters.toleranceMrad, coarseMrad);
    live.prepare(observer, hole, 0.6f, keepOld, fine);  // finer at once, grown beside the old
    EXPECT_EQ(live.paths.parameters.toleranceMrad, fineMrad);
    live.prepare(observer, hole, 0.6f);  // wait for it
    EXPECT_FALSE(live.paths.needsRegeneration(30.0f, 0.6f));

    for (int frame = 0; frame < 3 * BlackHoleFrame::kCoarsenAfter; ++frame) {
        live.prepare(observer, hole, 0.6f, keepOld, frame % 2 ? fine : coarse);
        EXPECT_FALSE(live.regenerating()) << "frame " << frame;
        EXPECT_EQ(live.paths.parameters.toleranceMrad, fineMrad) << "frame " << frame;
    }
    // The fine view closes; two coarser ones are drawn in turn: the finer of them sets the table.
    const float medium = 0.5e-3f;
    const float mediumMrad = BlackHoleFrame::automaticToleranceMrad(medium);
    ASSERT_LT(mediumMrad, coarseMrad);
    for (int frame = 1; frame < BlackHoleFrame::kCoarsenAfter; ++frame) {
        live.prepare(observer, hole, 0.6f, keepOld, frame % 2 ? coarse : medium);
        EXPECT_EQ(live.paths.parameters.toleranceMrad, fineMrad) << "frame " << frame;
    }
    live.prepare(observer, hole, 0.6f, keepOld, coarse);
    EXPECT_EQ(live.paths.parameters.toleranceMrad, mediumMrad);
    EXPECT_TRUE(live.regenerating()) << "the coarser table grows beside the one in use";

    // A still picture waits for a table of exactly its own tolerance, coarser or finer.
    live.prepare(observer, hole, 0.6f, BlackHoleFrame::TableUpdate::Wait, coarse);
    EXPECT_EQ(live.paths.parameters.toleranceMrad, coarseMrad);
    EXPECT_FALSE(live.paths.needsRegeneration(30.0f, 0.6f));
    live.prepare(observer, hole, 0.6f, BlackHoleFrame::TableUpdate::Wait, fine);
    EXPECT_EQ(live.paths.parameters.toleranceMrad, fineMrad);
    EXPECT_FALSE(live.paths.needsRegeneration(30.0f, 0.6f));

    BlackHoleFrame fixed;  // a tolerance of the user's own is kept
    fixed.paths.parameters.automaticTolerance = false;
    fixed.paths.parameters.toleranceMrad = 0.2f;
    fixed.prepare(observer, hole, 0.6f, keepOld, coarse);
    EXPECT_EQ(fixed.paths.parameters.toleranceMrad, 0.2f);
}
