// The black hole's table follows the view that draws with it: its tolerance is half the finest
// angle between the view's samples (antialiasing samples included), after aberration.
#include <gtest/gtest.h>

#include <cmath>

#include "accel/kdtree.h"
#include "tests/engine/doctesthelpers.h"

using namespace doctest;

namespace {

float toleranceAfter(DocRT& doc, float speed, int w, int h, int level) {
    RenderSettings s = *doc.getSettings();
    s.lightBending = true;
    s.speed = speed;
    trace(doc, s, w, h, nullptr, level);
    return doc.getTree()->blackHole().paths.parameters.toleranceMrad;
}

}  // namespace

TEST(BentPicture, TableToleranceIsHalfTheFinestAngleBetweenSamples) {
    TraceOutputOff quiet;
    DocRT doc;
    load(doc, QStringLiteral(TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge.tavolin"));
    ASSERT_TRUE(doc.getTree()->blackHole().paths.parameters.automaticTolerance);
    // At rest neighbours lie closest in angle in a corner of the image plane (x in [-500, 500],
    // y in [-281.25, 281.25], at 1000).
    const double dx = 1000.0 / 1280, x = 500 - dx, y = 281.25 - dx;
    const auto angle = [](double ax, double ay, double bx, double by) {
        const double dot = ax * bx + ay * by + 1e6;
        const double cross = std::hypot(1000 * (ay - by), 1000 * (bx - ax), ax * by - ay * bx);
        return std::atan2(cross, dot);
    };
    const double corner = std::fmin(angle(x, y, x + dx, y), angle(x, y, x, y + dx));
    const float atRest = toleranceAfter(doc, 0.0f, 1280, 720, 1);
    EXPECT_EQ(atRest, BlackHoleFrame::automaticToleranceMrad(float(corner)));
    EXPECT_GT(atRest, 0.25f);  // about 0.3 mrad: 2.5 times the fixed default
    // Four samples a pixel in a picture half as wide: the same samples, the same table.
    EXPECT_EQ(toleranceAfter(doc, 0.0f, 640, 360, 4), atRest);
    // Flying backwards at 0.9c the samples crowd to 0.245 of their angle at rest (the aberration
    // formula over every pixel of a 16:9 view).
    const float backwards = toleranceAfter(doc, -0.9f, 640, 360, 1);
    const double step = std::exp2(1.0 / 8);
    EXPECT_LT(backwards, 2 * 0.245 * atRest * step);
    EXPECT_GT(backwards, 2 * 0.245 * atRest / (step * step));
}
