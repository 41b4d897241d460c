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

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "accel/movingbodies.h"
#include "tests/engine/doctesthelpers.h"

using namespace doctest;

namespace {

constexpr int kW = 64, kH = 48;
constexpr uint32_t kBackground = 0xff141414u;

struct Body {
    const char* tag;
    double ref[3];     // centre (spheres) or pos (planes, cubes)
    const char* rest;  // the other properties
};

const Body kSphere = {"sphere", {6, 0.5, 1}, "<radius>1.2</radius><texname>plain</texname>"};
const Body kSphere2 = {
    "sphere", {11, -0.5, -2.5}, "<radius>1.6</radius><texname>checker</texname>"};
const Body kPlane = {
    "plane",
    {1, -2, -6},
    "<x>14;0;0;0</x><y>0;0;12;0</y><sx>4</sx><sy>4</sy><texname>checker</texname>"};
const Body kCube = {"cube",
                    {4, 0.8, -3.5},
                    "<x>1.5;0;0;0</x><y>0;1.5;0;0</y><z>0;0.3;1.5;0</z><sx>2</sx><sy>2</sy>"
                    "<sz>2</sz><texxy>checker</texxy><texyz>plain</texyz><texzx>checker</texzx>"};

std::string vec(double x, double y, double z) {
    return std::to_string(x) + ";" + std::to_string(y) + ";" + std::to_string(z) + ";0";
}

// The bodies shifted by shift x P.x along x and given velocity vx along x.
std::string bodiesText(const std::vector<Body>& bodies, double shift, double vx) {
    std::string text;
    for (const Body& b : bodies) {
        const std::string refTag = std::string(b.tag) == "sphere" ? "center" : "pos";
        text += std::string("<") + b.tag + "><" + refTag + ">" +
                vec(b.ref[0] * (1.0 + shift), b.ref[1], b.ref[2]) + "</" + refTag + ">" + b.rest;
        if (vx != 0.0) text += "<velocity>" + vec(vx, 0, 0) + "</velocity>";
        text += std::string("</") + b.tag + ">";
    }
    return text;
}

// The scene of those bodies, seen from the origin along +x (extra: more settings).
QByteArray sceneText(const std::vector<Body>& bodies, double shift, double vx,
                     const std::string& extra = "") {
    return ("<tavolinfile><renderSettings><start>0;0;0;0</start><lookat>1;0;0;0</lookat>"
            "<dirx>0;0;-1;0</dirx><diry>0;1;0;0</diry>" +
            extra +
            "</renderSettings>"
            "<newcolor><wavelength>(610;220)(650;120)</wavelength><colname>warm</colname>"
            "</newcolor><newcolor><wavelength>(460;200)(530;150)</wavelength><colname>cool"
            "</colname></newcolor>"
            "<newtexturesingle><texname>plain</texname><color>warm</color></newtexturesingle>"
            "<newtexturequad><texname>checker</texname><colora>warm</colora><colorb>cool</colorb>"
            "</newtexturequad>" +
            bodiesText(bodies, shift, vx) + "</tavolinfile>")
        .c_str();
}

std::vector<uint32_t> render(const QString& file, float speed, bool lightTravelTime,
                             int searchlight, int packet, float time = 0.0f, bool bending = false) {
    DocRT doc;
    load(doc, file);
    RenderSettings& s = *doc.getSettings();
    s.speed = speed;
    s.lightTravelTime = lightTravelTime;
    s.searchlight = int8_t(searchlight);
    s.maxBundleSize = packet;
    s.start.w = time;
    s.lightBending = bending;
    return trace(doc, s, kW, kH);
}

// Pixels of a that differ from b's by more than tolerance levels in a channel.
int differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int tolerance) {
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += channelDifference(a[i], b[i]) > tolerance;
    return n;
}

long shown(const std::vector<uint32_t>& p) {
    return p.size() - std::count(p.begin(), p.end(), kBackground);
}

}  // namespace

TEST(Relativity, FlyingThroughAStillSceneLooksLikeTheSceneFlyingPast) {
    TraceOutputOff quiet;
    const std::vector<Body> bodies = {kSphere, kSphere2, kPlane, kCube};
    QTemporaryDir dir;
    for (const double beta : {0.5, 0.8}) {
        const double gamma = 1.0 / std::sqrt(1.0 - beta * beta);
        const QString still = writeFile(dir, "still.tavolin", sceneText(bodies, gamma - 1.0, 0.0));
        const QString passing = writeFile(dir, "passing.tavolin", sceneText(bodies, 0.0, -beta));
        for (const int searchlight : {0, 4})
            for (const int packet : {1, 4}) {
                const auto flying = render(still, float(beta), false, searchlight, packet);
                const auto watching = render(passing, 0.0f, true, searchlight, packet);
                EXPECT_GT(shown(flying), kW * kH / 5);
                // One level of rounding; outlines may fall either way by a pixel.
                EXPECT_LE(differing(flying, watching, 2), kW * kH / 100)
                    << "beta " << beta << ", searchlight " << searchlight << ", packet " << packet;
            }
    }
}

// With light travel time on, a moving sphere (movsphere: at center at time tmin, moving with mov)
// is the sphere with velocity mov that is at center - mov tmin at time 0, seen only while it
// exists: the two files draw the same picture, and nothing of the old space-time test is left.
TEST(Relativity, AMovingSphereWithLightTravelTimeIsASphereWithThatVelocity) {
    TraceOutputOff quiet;
    const QByteArray head =
        "<tavolinfile><renderSettings><start>0;0;0;0</start><lookat>0;0;1;0</lookat>"
        "<dirx>1;0;0;0</dirx><diry>0;1;0;0</diry></renderSettings>"
        "<newcolor><wavelength>(610;220)(650;120)</wavelength><colname>warm</colname></newcolor>"
        "<newtexturesingle><texname>plain</texname><color>warm</color></newtexturesingle>";
    QTemporaryDir dir;
    const auto moving = render(
        writeFile(dir, "a.tavolin",
                  head + "<movsphere><center>-1;0;4;0</center><tmin>-6</tmin><tmax>100</tmax>"
                         "<mov>0.3;0.05;0;0</mov><radius>1.2</radius><texname>plain</texname>"
                         "</movsphere></tavolinfile>"),
        0.0f, true, 0, 2);
    // center - mov tmin = (-1 + 1.8, 0 + 0.3, 4). The old test would draw the sphere near
    // (2, 0.5, 4), in view too.
    const auto sphere = render(
        writeFile(dir, "b.tavolin",
                  head + "<sphere><center>0.8;0.3;4;0</center><radius>1.2</radius><texname>plain"
                         "</texname><velocity>0.3;0.05;0;0</velocity></sphere></tavolinfile>"),
        0.0f, true, 0, 2);
    EXPECT_GT(shown(moving), kW * kH / 20);
    EXPECT_EQ(differing(moving, sphere, 1), 0);
}

// Velocity 0, written out or not, with light travel time on or off, and at any observer time:
// the picture of a scene of bodies at rest is the very same, bit for bit. (The observer's time
// reaches every ray's origin, so an object that read it would show here.)
TEST(Relativity, BodiesAtRestLookTheSameInBothModesAtAnyTime) {
    TraceOutputOff quiet;
    for (const char* name : {"temple.tavolin", "spheres8.tavolin", "sphere-grid.tavolin"}) {
        const QString file = dataFile(name);
        QFile in(file);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        QByteArray text = in.readAll();
        // Every body's velocity written out as zero.
        for (const char* end : {"</sphere>", "</plane>", "</cube>"})
            text.replace(end, QByteArray("<velocity>0;0;0;0</velocity>") + end);
        QTemporaryDir dir;
        const QString zero = writeFile(dir, "zero.tavolin", text);
        const auto reference = render(file, 0.0f, false, 0, 2);
        for (const QString& f : {file, zero})
            for (const bool travel : {false, true})
                for (const float time : {0.0f, 37.5f})
                    EXPECT_TRUE(render(f, 0.0f, travel, 0, 2, time) == reference)
                        << name << (f == zero ? " with velocity 0" : "") << ", light travel time "
                        << travel << ", time " << time;
    }
}

// Bodies passing at -0.8c (a sphere, a cube, a plane) and a sphere at rest beside their paths,
// written to dir. No two bodies touch: where two surfaces cross, which is in front is decided
// within rounding, and the trees may decide it differently.
QString writePassingScene(const QTemporaryDir& dir) {
    QByteArray text = sceneText({kSphere, kCube, kPlane}, 0.0, -0.8);
    // The body at rest stays in the scene's tree; the passing ones fly at -0.8c.
    const Body still = {"sphere", {9, -1.0, 3.5}, "<radius>0.8</radius><texname>plain</texname>"};
    text.insert(text.lastIndexOf("</tavolinfile>"), bodiesText({still}, 0.0, 0.0).c_str());
    return writeFile(dir, "passing.tavolin", text);
}

// Views side by side render one document in both modes: every view's frame is prepared before
// any is traced, from one tree. Each picture must be the one its mode draws alone, in either
// order of preparation and at every packet size (the snapshot's bodies grafted into the scene's
// tree, light travel time's in a tree of their own). A still moment is drawn with the bodies in
// a third tree, one of everything, after a quarter second of stillness: the pictures must not
// change when the tree does.
TEST(Relativity, ViewsInBothModesSideBySideEachDrawTheirOwnPictureInEveryTree) {
    TraceOutputOff quiet;
    QTemporaryDir dir;
    const QString file = writePassingScene(dir);
    for (const int packet : {1, 2, 4}) {
        const std::vector<uint32_t> alone[2] = {render(file, 0.0f, false, 0, packet),
                                                render(file, 0.0f, true, 0, packet)};
        ASSERT_FALSE(alone[0] == alone[1]);  // the two modes draw different pictures here
        for (const bool snapshotFirst : {true, false}) {
            DocRT doc;
            load(doc, file);
            RenderSettings settings[2] = {*doc.getSettings(), *doc.getSettings()};
            PixelBuffer buffers[2];
            TimeRT engines[2];
            for (int m = 0; m < 2; ++m) {
                settings[m].lightTravelTime = m == 1;
                settings[m].maxBundleSize = packet;
                buffers[m].setSize(kW, kH, 1);
            }
            for (const bool still : {false, true}) {
                if (still && snapshotFirst) break;
                if (still) std::this_thread::sleep_for(MovingPlacement::kStillFor * 6 / 5);
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
                        << snapshotFirst << ", still " << still;
            }
        }
    }
}

// Bent light paths visit moving bodies too, in both modes: with a hole too small and too far
// off to bend anything visibly (r_s 1e-4 at 25 units), the pictures along its
// bent paths are those of straight light, at packet sides 1 and 2 (the four-ray path walk), and
// with light travel time the pieces' start times follow the path's length. A body the bent
// paths skipped, or met at the wrong time, would show as thousands of pixels.
TEST(Relativity, BentPathsSeeMovingBodiesAsStraightLightDoes) {
    TraceOutputOff quiet;
    QTemporaryDir dir;
    const QString file =
        writeFile(dir, "passing.tavolin",
                  sceneText({kSphere, kSphere2, kCube}, 0.0, -0.7,
                            "<bhpos>25;0.3;0.2;0</bhpos><bhradius>0.0001</bhradius>"));
    for (const bool travel : {false, true})
        for (const int packet : {1, 2}) {
            // The bodies have moved on since their reference time.
            const auto straight = render(file, 0.0f, travel, 0, packet, 2.0f, false);
            const auto bent = render(file, 0.0f, travel, 0, packet, 2.0f, true);
            EXPECT_GT(shown(straight), kW * kH / 20);
            EXPECT_LE(differing(straight, bent, 2), kW * kH / 100)
                << "light travel time " << travel << ", packet " << packet;
        }
}
