// The principle of relativity as a picture test: an observer flying at beta through a scene at
// rest (the camera's aberration and Doppler shift) sees what an observer at rest sees when every
// body flies past at -beta with light travel time on (the bodies' rest-frame boost and emitter
// shift). Two different code paths, one physical situation.
//
// Where the two scenes' bodies are: at the observer's time 0 the moving observer's frame sees a
// body at rest at X along the motion at X / gamma (contracted). A moving body's reference point P
// is where it is at that frame's time 0, so the scene at rest holds it at gamma P along the
// motion, every point of the body shifted alike by (gamma - 1) P.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "accel/movingbodies.h"
#include "base/traceoutput.h"
#include "engine/docrt.h"
#include "engine/timert.h"
#include "scene/rendersettings.h"

namespace {

constexpr int kW = 64, kH = 48;

struct Body {
    const char* tag;
    double ref[3];     // centre (spheres) or pos (planes, cubes)
    const char* rest;  // the other properties
};

std::string vec(double x, double y, double z) {
    return std::to_string(x) + ";" + std::to_string(y) + ";" + std::to_string(z) + ";0";
}

// The scene with its bodies shifted by shift x P.x along x and given velocity vx along x.
std::string sceneText(const std::vector<Body>& bodies, double shift, double vx) {
    std::string text =
        "<tavolinfile><renderSettings><start>0;0;0;0</start><lookat>1;0;0;0</lookat>"
        "<dirx>0;0;-1;0</dirx><diry>0;1;0;0</diry></renderSettings>"
        "<newcolor><wavelength>(610;220)(650;120)</wavelength><colname>warm</colname></newcolor>"
        "<newcolor><wavelength>(460;200)(530;150)</wavelength><colname>cool</colname></newcolor>"
        "<newtexturesingle><texname>plain</texname><color>warm</color></newtexturesingle>"
        "<newtexturequad><texname>checker</texname><colora>warm</colora><colorb>cool</colorb>"
        "</newtexturequad>";
    for (const Body& b : bodies) {
        const std::string refTag = std::string(b.tag) == "sphere" ? "center" : "pos";
        text += std::string("<") + b.tag + "><" + refTag + ">" +
                vec(b.ref[0] * (1.0 + shift), b.ref[1], b.ref[2]) + "</" + refTag + ">" + b.rest;
        if (vx != 0.0) text += "<velocity>" + vec(vx, 0, 0) + "</velocity>";
        text += std::string("</") + b.tag + ">";
    }
    return text + "</tavolinfile>";
}

// One kW x kH frame of the document's scene with settings s, traced on this thread.
std::vector<uint32_t> picture(DocRT& doc, RenderSettings& s) {
    PixelBuffer buffer;
    buffer.setSize(kW, kH, 1);
    TimeRT engine;
    engine.raytracePic(&s, doc.getSceneData(), doc.getTree(), &buffer);
    while (!engine.runTask()) {
    }
    return std::vector<uint32_t>(buffer.data(), buffer.data() + buffer.pixelCount());
}

std::vector<uint32_t> render(const QString& file, float speed, bool lightTravelTime,
                             int searchlight, int packet) {
    DocRT doc;
    EXPECT_TRUE(doc.loadFile(file));
    doc.applyPendingChanges();
    RenderSettings& s = *doc.getSettings();
    s.speed = speed;
    s.lightTravelTime = lightTravelTime;
    s.searchlight = int8_t(searchlight);
    s.maxBundleSize = packet;
    return picture(doc, s);
}

int difference(uint32_t a, uint32_t b) {
    int d = 0;
    for (int s = 0; s < 24; s += 8)
        d = std::max(d, std::abs(int((a >> s) & 0xff) - int((b >> s) & 0xff)));
    return d;
}

}  // namespace

TEST(Relativity, FlyingThroughAStillSceneLooksLikeTheSceneFlyingPast) {
    TraceOutput::setEnabled(false);
    const std::vector<Body> bodies = {
        {"sphere", {6, 0.5, 1}, "<radius>1.2</radius><texname>plain</texname>"},
        {"sphere", {11, -0.5, -2.5}, "<radius>1.6</radius><texname>checker</texname>"},
        {"plane", {1, -2, -6},
         "<x>14;0;0;0</x><y>0;0;12;0</y><sx>4</sx><sy>4</sy><texname>checker</texname>"},
        {"cube", {4, 0.8, -3.5},
         "<x>1.5;0;0;0</x><y>0;1.5;0;0</y><z>0;0.3;1.5;0</z><sx>2</sx><sy>2</sy><sz>2</sz>"
         "<texxy>checker</texxy><texyz>plain</texyz><texzx>checker</texzx>"},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const double beta : {0.5, 0.8}) {
        const double gamma = 1.0 / std::sqrt(1.0 - beta * beta);
        const QString still = dir.filePath(QStringLiteral("still.tavolin"));
        const QString passing = dir.filePath(QStringLiteral("passing.tavolin"));
        for (const auto& [file, text] : {std::pair{still, sceneText(bodies, gamma - 1.0, 0.0)},
                                         std::pair{passing, sceneText(bodies, 0.0, -beta)}}) {
            QFile out(file);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(text.c_str());
        }
        for (const int searchlight : {0, 4})
            for (const int packet : {1, 4}) {
                const auto flying = render(still, float(beta), false, searchlight, packet);
                const auto watching = render(passing, 0.0f, true, searchlight, packet);
                int differ = 0, shown = 0;
                for (int i = 0; i < kW * kH; ++i) {
                    shown += flying[size_t(i)] != 0xff141414u;
                    // One level of rounding; outlines may fall either way by a pixel.
                    if (difference(flying[size_t(i)], watching[size_t(i)]) > 2) ++differ;
                }
                EXPECT_GT(shown, kW * kH / 5);
                EXPECT_LE(differ, kW * kH / 100)
                    << "beta " << beta << ", searchlight " << searchlight << ", packet " << packet;
            }
    }
}

// With light travel time on, a moving sphere (movsphere: at center at time tmin, moving with mov)
// is the sphere with velocity mov that is at center - mov tmin at time 0, seen only while it
// exists: the two files draw the same picture, and nothing of the old space-time test is left.
TEST(Relativity, AMovingSphereWithLightTravelTimeIsASphereWithThatVelocity) {
    TraceOutput::setEnabled(false);
    const std::string head =
        "<tavolinfile><renderSettings><start>0;0;0;0</start><lookat>0;0;1;0</lookat>"
        "<dirx>1;0;0;0</dirx><diry>0;1;0;0</diry></renderSettings>"
        "<newcolor><wavelength>(610;220)(650;120)</wavelength><colname>warm</colname></newcolor>"
        "<newtexturesingle><texname>plain</texname><color>warm</color></newtexturesingle>";
    const std::string files[2] = {
        head + "<movsphere><center>-1;0;4;0</center><tmin>-6</tmin><tmax>100</tmax>"
               "<mov>0.3;0.05;0;0</mov><radius>1.2</radius><texname>plain</texname></movsphere>"
               "</tavolinfile>",
        // center - mov tmin = (-1 + 1.8, 0 + 0.3, 4). The old test would draw the sphere near
        // (2, 0.5, 4), in view too.
        head + "<sphere><center>0.8;0.3;4;0</center><radius>1.2</radius><texname>plain</texname>"
               "<velocity>0.3;0.05;0;0</velocity></sphere></tavolinfile>"};
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<uint32_t> pictures[2];
    for (int i = 0; i < 2; ++i) {
        const QString file = dir.filePath(QStringLiteral("scene%1.tavolin").arg(i));
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(files[i].c_str());
        out.close();
        pictures[i] = render(file, 0.0f, true, 0, 2);
    }
    const long shown = std::count_if(pictures[0].begin(), pictures[0].end(),
                                     [](uint32_t p) { return p != 0xff141414u; });
    EXPECT_GT(shown, kW * kH / 20);
    int differ = 0;
    for (int i = 0; i < kW * kH; ++i) differ += difference(pictures[0][size_t(i)], pictures[1][size_t(i)]) > 1;
    EXPECT_EQ(differ, 0);
}

// Velocity 0, written out or not, with light travel time on or off, and at any observer time:
// the picture of a scene of bodies at rest is the very same, bit for bit. (The observer's time
// reaches every ray's origin, so an object that read it would show here.)
TEST(Relativity, BodiesAtRestLookTheSameInBothModesAtAnyTime) {
    TraceOutput::setEnabled(false);
    for (const char* name : {"temple.tavolin", "spheres8.tavolin", "sphere-grid.tavolin"}) {
        const QString file = QStringLiteral(TAVOLIN_TEST_DATA "/") + name;
        QFile in(file);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        QByteArray text = in.readAll();
        // Every body's velocity written out as zero.
        for (const char* end : {"</sphere>", "</plane>", "</cube>"})
            text.replace(end, QByteArray("<velocity>0;0;0;0</velocity>") + end);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString zero = dir.filePath(QStringLiteral("zero.tavolin"));
        QFile out(zero);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
        out.close();
        const auto reference = render(file, 0.0f, false, 0, 2);
        for (const QString& f : {file, zero})
            for (const bool travel : {false, true})
                for (const float time : {0.0f, 37.5f}) {
                    DocRT doc;
                    ASSERT_TRUE(doc.loadFile(f));
                    doc.applyPendingChanges();
                    RenderSettings& s = *doc.getSettings();
                    s.lightTravelTime = travel;
                    s.start.w = time;
                    s.maxBundleSize = 2;
                    EXPECT_TRUE(picture(doc, s) == reference)
                        << name << (f == zero ? " with velocity 0" : "") << ", light travel time "
                        << travel << ", time " << time;
                }
    }
}

// Bodies passing at -0.8c (a sphere, a cube, a plane) and a sphere at rest beside their paths,
// written to dir.
QString writePassingScene(const QTemporaryDir& dir) {
    const std::vector<Body> bodies = {
        {"sphere", {6, 0.5, 1}, "<radius>1.2</radius><texname>plain</texname>"},
        {"cube", {4, 0.8, -3.5},
         "<x>1.5;0;0;0</x><y>0;1.5;0;0</y><z>0;0.3;1.5;0</z><sx>2</sx><sy>2</sy><sz>2</sz>"
         "<texxy>checker</texxy><texyz>plain</texyz><texzx>checker</texzx>"},
        {"plane", {1, -2, -6},
         "<x>14;0;0;0</x><y>0;0;12;0</y><sx>4</sx><sy>4</sy><texname>checker</texname>"},
    };
    const QString file = dir.filePath(QStringLiteral("passing.tavolin"));
    QFile out(file);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    // The body at rest stays in the scene's tree; the passing ones fly at -0.8c. No two bodies
    // touch: where two surfaces cross, which is in front is decided within rounding, and the
    // trees may decide it differently.
    std::vector<Body> still = {
        {"sphere", {9, -1.0, 3.5}, "<radius>0.8</radius><texname>plain</texname>"}};
    std::string text = sceneText(bodies, 0.0, -0.8);
    const std::string extra = sceneText(still, 0.0, 0.0);
    const auto at = extra.find("<sphere>");
    text.insert(text.rfind("</tavolinfile>"), extra.substr(at, extra.rfind("</tavolinfile>") - at));
    out.write(text.c_str());
    return file;
}

// Views side by side render one document in both modes: every view's frame is prepared before
// any is traced, from one tree. Each picture must be the one its mode draws alone, in either
// order of preparation and at either packet size (the snapshot's bodies grafted into the scene's
// tree, light travel time's in a tree of their own).
TEST(Relativity, ViewsInBothModesSideBySideEachDrawTheirOwnPicture) {
    TraceOutput::setEnabled(false);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = writePassingScene(dir);
    for (const int packet : {1, 2, 4}) {
        const std::vector<uint32_t> alone[2] = {render(file, 0.0f, false, 0, packet),
                                                render(file, 0.0f, true, 0, packet)};
        ASSERT_FALSE(alone[0] == alone[1]);  // the two modes draw different pictures here
        for (const bool snapshotFirst : {true, false}) {
            DocRT doc;
            ASSERT_TRUE(doc.loadFile(file));
            doc.applyPendingChanges();
            RenderSettings settings[2] = {*doc.getSettings(), *doc.getSettings()};
            PixelBuffer buffers[2];
            TimeRT engines[2];
            for (int m = 0; m < 2; ++m) {
                settings[m].lightTravelTime = m == 1;
                settings[m].maxBundleSize = packet;
                buffers[m].setSize(kW, kH, 1);
            }
            for (int i = 0; i < 2; ++i) {
                const int m = snapshotFirst ? i : 1 - i;
                engines[m].raytracePic(&settings[m], doc.getSceneData(), doc.getTree(),
                                       &buffers[m]);
            }
            for (int m = 0; m < 2; ++m)
                while (!engines[m].runTask()) {
                }
            for (int m = 0; m < 2; ++m)
                EXPECT_TRUE(std::equal(alone[m].begin(), alone[m].end(), buffers[m].data()))
                    << "light travel time " << m << ", packet " << packet << ", snapshot first "
                    << snapshotFirst;
        }
    }
}

// A still moment is drawn with the bodies in one of three trees: their own beside the scene's,
// grafted into the scene's leaves (snapshots), and after a quarter second of stillness one tree
// of everything. The picture must not change when the tree does, in either mode and at every
// packet size.
TEST(Relativity, AStillMomentLooksTheSameInEveryTree) {
    TraceOutput::setEnabled(false);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = writePassingScene(dir);
    for (const bool travel : {false, true})
        for (const int packet : {1, 2, 4}) {
            DocRT doc;
            ASSERT_TRUE(doc.loadFile(file));
            doc.applyPendingChanges();
            RenderSettings s = *doc.getSettings();
            s.lightTravelTime = travel;
            s.maxBundleSize = packet;
            std::vector<uint32_t> pictures[2];
            for (std::vector<uint32_t>& p : pictures) {
                p = picture(doc, s);
                std::this_thread::sleep_for(MovingPlacement::kStillFor * 6 / 5);
            }
            int differ = 0, first = -1;
            for (int i = 0; i < kW * kH; ++i)
                if (pictures[0][size_t(i)] != pictures[1][size_t(i)]) {
                    ++differ;
                    if (first < 0) first = i;
                }
            EXPECT_EQ(differ, 0) << "light travel time " << travel << ", packet " << packet
                                 << ", first at " << first % kW << "," << first / kW << ": "
                                 << std::hex << (first >= 0 ? pictures[0][size_t(first)] : 0)
                                 << " " << (first >= 0 ? pictures[1][size_t(first)] : 0);
        }
}

// Bent light paths visit moving bodies too, in both modes: with a hole too small and too far
// off to bend anything visibly (r_s 1e-4 at 25 units), the pictures along its
// bent paths are those of straight light, at packet sides 1 and 2 (the four-ray path walk), and
// with light travel time the pieces' start times follow the path's length. A body the bent
// paths skipped, or met at the wrong time, would show as thousands of pixels.
TEST(Relativity, BentPathsSeeMovingBodiesAsStraightLightDoes) {
    TraceOutput::setEnabled(false);
    const std::vector<Body> bodies = {
        {"sphere", {6, 0.5, 1}, "<radius>1.2</radius><texname>plain</texname>"},
        {"sphere", {11, -0.5, -2.5}, "<radius>1.6</radius><texname>checker</texname>"},
        {"cube", {4, 0.8, -3.5},
         "<x>1.5;0;0;0</x><y>0;1.5;0;0</y><z>0;0.3;1.5;0</z><sx>2</sx><sy>2</sy><sz>2</sz>"
         "<texxy>checker</texxy><texyz>plain</texyz><texzx>checker</texzx>"},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("passing.tavolin"));
    {
        std::string text = sceneText(bodies, 0.0, -0.7);
        text.replace(text.find("</renderSettings>"), 0,
                     "<bhpos>25;0.3;0.2;0</bhpos><bhradius>0.0001</bhradius>");
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text.c_str());
    }
    for (const bool travel : {false, true})
        for (const int packet : {1, 2}) {
            std::vector<uint32_t> pictures[2];
            for (const bool bending : {false, true}) {
                DocRT doc;
                ASSERT_TRUE(doc.loadFile(file));
                doc.applyPendingChanges();
                RenderSettings& s = *doc.getSettings();
                s.lightTravelTime = travel;
                s.lightBending = bending;
                s.start.w = 2.0f;  // the bodies have moved on since their reference time
                s.maxBundleSize = packet;
                pictures[bending] = picture(doc, s);
            }
            const long shown = std::count_if(pictures[0].begin(), pictures[0].end(),
                                             [](uint32_t p) { return p != 0xff141414u; });
            EXPECT_GT(shown, kW * kH / 20);
            int differ = 0;
            for (int i = 0; i < kW * kH; ++i)
                differ += difference(pictures[0][size_t(i)], pictures[1][size_t(i)]) > 2;
            EXPECT_LE(differ, kW * kH / 100)
                << "light travel time " << travel << ", packet " << packet;
        }
}
