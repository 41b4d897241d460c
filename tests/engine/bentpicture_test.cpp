// The black hole's table follows the view that draws with it: its tolerance is half the finest
// angle between the view's samples (antialiasing samples included), after aberration.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <utility>
#include <vector>

#include "accel/kdtree.h"
#include "accel/movingbodies.h"
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

// Along bent paths with light travel time the moving bodies are held over a window of time a
// little wider than a frame needs, so that the frames after it keep their placement while the
// observer's clock runs. A frame drawn with a kept placement must be the frame a fresh document
// draws at that time, pixel for pixel; and the bodies must still move in the picture.
TEST(BentPicture, FramesThatKeepTheBodiesPlacedDrawWhatAFreshPlacementDraws) {
    TraceOutputOff quiet;
    QTemporaryDir dir;
    const QByteArray scene =
        "<tavolinfile><renderSettings><start>0;0.5;-24;0</start><lookat>0;0;1;0</lookat>"
        "<bhpos>0;0;0;0</bhpos><bhradius>0.3</bhradius>"
        "</renderSettings>"
        "<newcolor><wavelength>(610;220)(650;120)</wavelength><colname>warm</colname></newcolor>"
        "<newcolor><wavelength>(460;200)(530;150)</wavelength><colname>cool</colname></newcolor>"
        "<newtexturequad><texname>checker</texname><colora>warm</colora><colorb>cool</colorb>"
        "</newtexturequad>"
        "<plane><pos>-30;-20;30;0</pos><x>60;0;0;0</x><y>0;40;0;0</y><sx>12</sx><sy>8</sy>"
        "<texname>checker</texname></plane>"
        "<sphere><center>-1;1;-12;0</center><radius>1.2</radius><texname>checker</texname>"
        "<velocity>0.2;0;0.1;0</velocity></sphere>"
        "<sphere><center>2.5;-1;-8;0</center><radius>0.9</radius><texname>checker</texname>"
        "<velocity>-0.1;0.2;-0.3;0</velocity></sphere>"
        "<cube><pos>1;1.5;-14;0</pos><x>1.5;0;0;0</x><y>0;1.2;0.4;0</y><z>0;0;1.4;0</z>"
        "<sx>2</sx><sy>2</sy><sz>2</sz><texxy>checker</texxy><texyz>checker</texyz>"
        "<texzx>checker</texzx><velocity>-0.3;0;0.1;0</velocity></cube>"
        "</tavolinfile>";
    const QString path = writeFile(dir, QStringLiteral("bodies.tavolin"), scene);
    constexpr int kW = 64, kH = 48;
    const auto picture = [](DocRT& doc, TimeRT& engine, float time, int packet) {
        RenderSettings& s = *doc.getSettings();
        s.lightBending = true;
        s.lightTravelTime = true;
        s.srtDoppler = false;  // every body in its own colours, whichever way it moves
        s.maxBundleSize = packet;
        s.start.w = time;
        return trace(doc, s, kW, kH, &engine);
    };
    for (const int packet : {1, 2, 4}) {
        DocRT kept;
        load(kept, path);
        TimeRT engine;
        const MovingPlacement& placement = kept.getTree()->movingBodies().placement(true, true);
        const std::vector<uint32_t> first = picture(kept, engine, 0.1f, packet);
        ASSERT_EQ(placement.placements(), 1) << packet;
        // 1.8 later: the same window, the bodies 0.4 to 0.7 units on.
        const std::vector<uint32_t> later = picture(kept, engine, 1.9f, packet);
        EXPECT_EQ(placement.placements(), 1) << "the placement was not kept, packet " << packet;
        int moved = 0;
        for (size_t i = 0; i < later.size(); ++i) moved += later[i] != first[i];
        EXPECT_GT(moved, 100) << packet;
        // Far on: a new window.
        const std::vector<uint32_t> far = picture(kept, engine, 40.0f, packet);
        EXPECT_EQ(placement.placements(), 2) << packet;

        for (const auto& [time, drawn] : {std::pair{1.9f, later}, std::pair{40.0f, far}}) {
            DocRT fresh;
            load(fresh, path);
            TimeRT own;
            const std::vector<uint32_t> expected = picture(fresh, own, time, packet);
            int differ = 0;
            for (size_t i = 0; i < expected.size(); ++i) differ += expected[i] != drawn[i];
            EXPECT_EQ(differ, 0) << "time " << time << ", packet " << packet;
        }
    }
}
