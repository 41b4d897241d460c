// The principle of relativity as a picture test: an observer flying at beta through a scene at
// rest (the camera's aberration and Doppler shift) sees what an observer at rest sees when every
// body flies past at -beta with light travel time on (the bodies' boost and emitter shift). The
// moving observer sees a body at rest at X at X / gamma, so the scene at rest holds a moving
// body's reference point P at gamma P along the motion.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/engine/doctesthelpers.h"

using namespace doctest;

namespace {

constexpr int kW = 64, kH = 48;
constexpr uint32_t kBackground = 0xff141414u;

struct Body {
    const char* tag;
    double ref[3];     // centre (spheres) or pos (planes, cubes)
    const char* rest;  // the other properties
} const kBodies[] = {
    {"sphere", {6, 0.5, 1}, "<radius>1.2</radius><texname>plain</texname>"},
    {"sphere", {11, -0.5, -2.5}, "<radius>1.6</radius><texname>checker</texname>"},
    {"plane",
     {1, -2, -6},
     "<x>14;0;0;0</x><y>0;0;12;0</y><sx>4</sx><sy>4</sy><texname>checker</texname>"},
    {"cube",
     {4, 0.8, -3.5},
     "<x>1.5;0;0;0</x><y>0;1.5;0;0</y><z>0;0.3;1.5;0</z><sx>2</sx><sy>2</sy><sz>2</sz>"
     "<texxy>checker</texxy><texyz>plain</texyz><texzx>checker</texzx>"},
};

std::string vec(double x, double y, double z) {
    return std::to_string(x) + ";" + std::to_string(y) + ";" + std::to_string(z) + ";0";
}

// The scene of the bodies shifted by shift x P.x along x and given velocity vx along x, seen
// from the origin along +x.
QByteArray sceneText(double shift, double vx) {
    std::string text =
        "<tavolinfile><renderSettings><start>0;0;0;0</start><lookat>1;0;0;0</lookat>"
        "<dirx>0;0;-1;0</dirx><diry>0;1;0;0</diry></renderSettings>"
        "<newcolor><wavelength>(610;220)(650;120)</wavelength><colname>warm</colname></newcolor>"
        "<newcolor><wavelength>(460;200)(530;150)</wavelength><colname>cool</colname></newcolor>"
        "<newtexturesingle><texname>plain</texname><color>warm</color></newtexturesingle>"
        "<newtexturequad><texname>checker</texname><colora>warm</colora><colorb>cool</colorb>"
        "</newtexturequad>";
    for (const Body& b : kBodies) {
        const std::string refTag = std::string(b.tag) == "sphere" ? "center" : "pos";
        text += std::string("<") + b.tag + "><" + refTag + ">" +
                vec(b.ref[0] * (1.0 + shift), b.ref[1], b.ref[2]) + "</" + refTag + ">" + b.rest;
        if (vx != 0.0) text += "<velocity>" + vec(vx, 0, 0) + "</velocity>";
        text += std::string("</") + b.tag + ">";
    }
    return QByteArray::fromStdString(text + "</tavolinfile>");
}

// hole: the light bends around a black hole too small and too far behind the eye to turn any
// ray by a fraction of a pixel, so the bent paths must draw what the straight rays do.
std::vector<uint32_t> render(const QString& file, float speed, bool lightTravelTime,
                             int searchlight, int packet, float time = 0.0f, bool hole = false) {
    DocRT doc;
    load(doc, file);
    RenderSettings& s = *doc.getSettings();
    s.lightBending = hole;
    s.bhpos = Vec4f(-40.0f, 0.0f, 0.0f, 0.0f);
    s.bhradius = 1e-3f;
    s.speed = speed;
    s.lightTravelTime = lightTravelTime;
    s.searchlight = int8_t(searchlight);
    s.maxBundleSize = packet;
    s.start.w = time;
    return trace(doc, s, kW, kH);
}

}  // namespace

TEST(Relativity, FlyingThroughAStillSceneLooksLikeTheSceneFlyingPast) {
    TraceOutputOff quiet;
    QTemporaryDir dir;
    for (const double beta : {0.5, 0.8}) {
        const double gamma = 1.0 / std::sqrt(1.0 - beta * beta);
        const QString still = writeFile(dir, "still.tavolin", sceneText(gamma - 1.0, 0.0));
        const QString passing = writeFile(dir, "passing.tavolin", sceneText(0.0, -beta));
        for (const int searchlight : {0, 4})
            for (const int packet : {1, 4}) {
                const auto flying = render(still, float(beta), false, searchlight, packet);
                for (const bool hole : {false, true}) {
                    const auto watching =
                        render(passing, 0.0f, true, searchlight, packet, 0.0f, hole);
                    int shown = 0, differing = 0;
                    for (size_t i = 0; i < flying.size(); ++i) {
                        shown += flying[i] != kBackground;
                        differing += channelDifference(flying[i], watching[i]) > 2;  // rounding
                    }
                    EXPECT_GT(shown, kW * kH / 5);
                    EXPECT_LE(differing, kW * kH / 100)  // outlines may fall either way by a pixel
                        << "beta " << beta << ", searchlight " << searchlight << ", packet "
                        << packet << ", bent light " << hole;
                }
            }
    }
}

// A moving sphere (at center at time tmin, moving with mov, existing until tmax) with light travel
// time on is the sphere with velocity mov that is at center - mov tmin at time 0.
TEST(Relativity, AMovingSphereWithLightTravelTimeIsASphereWithThatVelocity) {
    TraceOutputOff quiet;
    const QByteArray head =
        "<tavolinfile><renderSettings><start>0;0;0;0</start><lookat>0;0;1;0</lookat>"
        "<dirx>1;0;0;0</dirx><diry>0;1;0;0</diry></renderSettings>"
        "<newcolor><wavelength>(610;220)(650;120)</wavelength><colname>warm</colname></newcolor>"
        "<newtexturesingle><texname>plain</texname><color>warm</color></newtexturesingle>";
    QTemporaryDir dir;
    const QString movingFile =
        writeFile(dir, "a.tavolin",
                  head +
                      "<movsphere><center>-1;0;4;0</center><tmin>-6</tmin><tmax>1</tmax>"
                      "<mov>0.3;0.05;0;0</mov><radius>1.2</radius><texname>plain</texname>"
                      "</movsphere></tavolinfile>");
    // center - mov tmin = (-1 + 1.8, 0 + 0.3, 4).
    const QString sphereFile =
        writeFile(dir, "b.tavolin",
                  head +
                      "<sphere><center>0.8;0.3;4;0</center><radius>1.2</radius><texname>plain"
                      "</texname><velocity>0.3;0.05;0;0</velocity></sphere></tavolinfile>");
    const auto moving = render(movingFile, 0.0f, true, 0, 2);
    const auto sphere = render(sphereFile, 0.0f, true, 0, 2);
    EXPECT_GT(kW * kH - std::count(moving.begin(), moving.end(), kBackground), kW * kH / 20);
    for (size_t i = 0; i < moving.size(); ++i)
        EXPECT_LE(channelDifference(moving[i], sphere[i]), 1);
}

// In the snapshot a moving sphere meets a ray at the observer's time plus the ray's length. Along
// bent paths the length runs on from piece to piece, so paths that hardly bend show the spheres
// where straight rays do, at any observer time (fast spheres, long lives: a piece that started
// its clock anew would meet them far from there).
TEST(Relativity, MovingSpheresInTheSnapshotLookTheSameAlongPathsThatHardlyBend) {
    TraceOutputOff quiet;
    QByteArray text =
        "<tavolinfile><renderSettings><start>0;0;0;0</start><lookat>0;0;1;0</lookat>"
        "<dirx>1;0;0;0</dirx><diry>0;1;0;0</diry></renderSettings>"
        "<newcolor><wavelength>(610;220)(650;120)</wavelength><colname>warm</colname></newcolor>"
        "<newtexturesingle><texname>plain</texname><color>warm</color></newtexturesingle>";
    const double spheres[4][4] = {
        {-6, 1, 8, 0.7}, {4, -2, 14, -0.6}, {-10, 2, 22, 0.8}, {12, 0, 30, -0.9}};
    for (const auto& q : spheres)
        text += QByteArray("<movsphere><center>") + QByteArray::number(q[0]) + ";" +
                QByteArray::number(q[1]) + ";" + QByteArray::number(q[2]) +
                ";0</center><tmin>0</tmin><tmax>500</tmax><mov>" + QByteArray::number(q[3]) +
                ";0;0;0</mov><radius>1.5</radius><texname>plain</texname></movsphere>";
    QTemporaryDir dir;
    const QString file = writeFile(dir, "a.tavolin", text + "</tavolinfile>");
    for (const float time : {0.0f, 6.0f})
        for (const int packet : {1, 4}) {
            const auto straight = render(file, 0.0f, false, 0, packet, time);
            // A hole amid the spheres, too small to turn a ray by a fraction of a pixel, whose
            // paths still come in pieces (short ones near it).
            DocRT doc;
            load(doc, file);
            RenderSettings& s = *doc.getSettings();
            s.lightBending = true;
            s.bhpos = Vec4f(0.5f, 0.3f, 18.0f, 0.0f);
            s.bhradius = 1e-3f;
            s.lightTravelTime = false;
            s.maxBundleSize = packet;
            s.start.w = time;
            const auto bent = trace(doc, s, kW, kH);
            int shown = 0, differing = 0;
            for (size_t i = 0; i < straight.size(); ++i) {
                shown += straight[i] != kBackground;
                differing += channelDifference(straight[i], bent[i]) > 2;
            }
            EXPECT_GT(shown, kW * kH / 20) << "time " << time;
            EXPECT_LE(differing, kW * kH / 100) << "time " << time << ", packet " << packet;
        }
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
