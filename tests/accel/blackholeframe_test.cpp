// The black hole's frame: observers at distances that float arithmetic only just holds, the
// wavelength factor, table updates while flying and for several views, and the sky's images
// when every path falls in. (Images of stars: whole pictures in tests/engine/starrysky_test.cpp.)
#include "accel/blackholeframe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>

#include "accel/skylensing.h"
#include "tests/accel/lightpathwalk.h"

namespace {

// How many nodes below the roots hold finite points and slopes.
std::size_t finiteNodes(const LightPathTree& tree) {
    std::set<const LightPathNode*> seen;
    std::size_t finite = 0;
    std::function<void(const LightPathNode*)> visit = [&](const LightPathNode* n) {
        if (!n || !seen.insert(n).second) return;
        finite += std::isfinite(n->x0) && std::isfinite(n->y0) && std::isfinite(n->dx) &&
                  std::isfinite(n->dy);
        if (!n->escapes()) visit(n->lower);
        if (!n->escapes()) visit(n->upper);
    };
    for (int i = 0; i < tree.rootCount(); ++i) visit(tree.root(i).lower);
    for (int i = 0; i < tree.rootCount(); ++i) visit(tree.root(i).upper);
    return finite;
}

}  // namespace

// The squared distance overflows float where the distance does not. Once NaN paths: a hole 1e20
// away bends nothing and every path escapes through finite points; an observer at no finite
// distance gets a table of captured paths.
TEST(BlackHoleFrame, FarObserversGetFiniteTables) {
    BlackHoleFrame far;
    far.prepare(Vec4f(1e20f, 0, 0, 0), Vec4f(0, 0, 0, 0), 1.0f);
    EXPECT_EQ(far.rObs, 1e20f);
    for (float a : {0.5f, 1.5707964f, 3.1f}) {
        const Walk w = walk(far.paths, a);
        EXPECT_TRUE(w.finite && w.escaped) << a;
    }
    // 4e37 from a hole of 3.5e-38 with deep splits: the finest paths part beyond float slopes.
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
    // 2.9e38 away: paths running outwards leave float's range; lookups stay finite.
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

// sqrt((1 - rs / rObs) / (1 - rs / rEmit)); 1 without a static observer or a distance.
TEST(BlackHoleFrame, WavelengthFactorIsTheStaticObserversOrOne) {
    const float nan = std::nanf("");
    const struct {
        float rObs, rs, expected;
    } cases[] = {{4.0f, 1.0f, float(std::sqrt(0.75 / 0.5))},
                 {0.5f, 1.0f, 1.0f},
                 {nan, 1.0f, 1.0f},
                 {4.0f, nan, 1.0f},
                 {4.0f, 0.0f, 1.0f},
                 {4.0f, HUGE_VALF, 1.0f}};
    for (const auto& c : cases) {
        BlackHoleFrame h;
        h.rObs = c.rObs;
        h.rs = c.rs;
        EXPECT_FLOAT_EQ(h.wavelengthFactor(2.0f), c.expected) << c.rObs << " " << c.rs;
    }
}

// The live loop keeps the old table while the new distance's grows on another thread; new
// parameters or no table at all are generated on the spot (an old one would be wrong, not late).
TEST(BlackHoleFrame, MovedObserverKeepsTheOldTableUntilTheNewOneHasGrown) {
    const Vec4f hole(0, 9, 0, 0), near(0, 9, -30, 0), far(0, 9, -44, 0);
    const auto keepOld = BlackHoleFrame::TableUpdate::KeepOld;
    BlackHoleFrame live, still, coarse;
    live.prepare(near, hole, 0.6f, keepOld);  // no table yet: generated on the spot
    EXPECT_EQ(live.paths.generatedRObs(), 30.0f);
    live.prepare(far, hole, 0.6f, keepOld);
    EXPECT_TRUE(live.regenerating());
    EXPECT_EQ(live.paths.generatedRObs(), 30.0f) << "the old table stays while the new one grows";
    EXPECT_EQ(live.rObs, 44.0f) << "the frame itself is the new observer's";
    live.prepare(far, hole, 0.6f);  // a still picture waits for the grown table
    EXPECT_FALSE(live.regenerating());
    EXPECT_EQ(live.paths.generatedRObs(), 44.0f);
    still.prepare(far, hole, 0.6f);
    EXPECT_EQ(live.paths.nodeCount(), still.paths.nodeCount());
    // New parameters while a table grows: the grown one (old parameters) is dropped.
    live.prepare(near, hole, 0.6f, keepOld);
    EXPECT_TRUE(live.regenerating());
    live.paths.parameters.samplesPerUnit = coarse.paths.parameters.samplesPerUnit = 5.0f;
    live.prepare(near, hole, 0.6f, keepOld);
    EXPECT_FALSE(live.paths.needsRegeneration(30.0f, 0.6f));
    live.prepare(near, hole, 0.6f);
    coarse.prepare(near, hole, 0.6f);
    EXPECT_EQ(live.paths.nodeCount(), coarse.paths.nodeCount());
}

// Half the sample angle rounded down to the ladder 0.1 * 2^(k/8) mrad, within [0.05, 0.4].
TEST(BlackHoleFrame, AutomaticToleranceIsHalfASampleOnTheLadder) {
    for (const double angle : {0.1e-3, 0.2e-3, 0.31e-3, 0.6e-3, 0.7854e-3, 0.79e-3, 1e-6, 0.05}) {
        const double tolerance = BlackHoleFrame::automaticToleranceMrad(float(angle));
        const double want = std::clamp(0.5e3 * angle, 0.05, 0.4);
        EXPECT_LE(tolerance, want * (1 + 1e-6)) << angle;
        EXPECT_GT(tolerance, want / std::exp2(1.0 / 8)) << angle;
        const double step = 8 * std::log2(tolerance / 0.1);
        EXPECT_NEAR(step, std::round(step), 1e-5) << angle;
    }
}

// Views drawn in turn share the finest view's table, coarsened only once that view stops asking;
// a still picture gets its own tolerance.
TEST(BlackHoleFrame, ViewsDrawnInTurnShareTheFinestTable) {
    const Vec4f hole(0, 0, 0, 0), observer(30, 0, 0, 0);
    const auto keepOld = BlackHoleFrame::TableUpdate::KeepOld;
    const auto mrad = BlackHoleFrame::automaticToleranceMrad;
    BlackHoleFrame live;
    const auto draw = [&](float sampleAngle) {  // a frame of a view: its table's tolerance
        live.prepare(observer, hole, 0.6f, keepOld, sampleAngle);
        return live.paths.parameters.toleranceMrad;
    };
    const float fine = 0.3e-3f, medium = 0.5e-3f, coarse = 0.7e-3f;
    EXPECT_EQ(draw(coarse), mrad(coarse));  // no table yet: made on the spot
    EXPECT_EQ(draw(fine), mrad(fine));      // finer at once, grown beside the old
    live.prepare(observer, hole, 0.6f);     // wait for it
    for (int frame = 0; frame < 3 * BlackHoleFrame::kCoarsenAfter; ++frame) {
        EXPECT_EQ(draw(frame % 2 ? fine : coarse), mrad(fine)) << "frame " << frame;
        EXPECT_FALSE(live.regenerating()) << "frame " << frame;
    }
    // The fine view closes; of two coarser ones drawn in turn the finer sets the table.
    for (int frame = 1; frame < BlackHoleFrame::kCoarsenAfter; ++frame)
        EXPECT_EQ(draw(frame % 2 ? coarse : medium), mrad(fine)) << "frame " << frame;
    EXPECT_EQ(draw(coarse), mrad(medium));
    EXPECT_TRUE(live.regenerating()) << "the coarser table grows beside the one in use";
    // A still picture waits for a table of exactly its own tolerance, even a coarser one.
    live.prepare(observer, hole, 0.6f, BlackHoleFrame::TableUpdate::Wait, coarse);
    EXPECT_EQ(live.paths.parameters.toleranceMrad, mrad(coarse));
    EXPECT_FALSE(live.paths.needsRegeneration(30.0f, 0.6f));
    BlackHoleFrame fixed;  // a tolerance of the user's own is kept
    fixed.paths.parameters.automaticTolerance = false;
    fixed.paths.parameters.toleranceMrad = 0.2f;
    fixed.prepare(observer, hole, 0.6f, keepOld, coarse);
    EXPECT_EQ(fixed.paths.parameters.toleranceMrad, 0.2f);
}

// Inside the horizon every path falls in: no images at all.
TEST(SkyLensing, NoImagesWhenEveryPathFallsIn) {
    BlackHoleFrame hole;
    hole.prepare(Vec4f(0.5f, 0, 0, 0), Vec4f(0, 0, 0, 0), 1.0f);
    SkyLensing lensing;
    lensing.update(hole.paths);
    EXPECT_FALSE(lensing.valid());
    const float star[3] = {0, 1, 0};
    SkyLensing::Image images[SkyLensing::kMaxImages];
    EXPECT_EQ(lensing.images(hole, star, images), 0);
}
