// Packet sizes agree on small scenes of every object kind, within a level, off the single-ray
// picture's edges; every pixel of every picture size is written.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/traceoutput.h"
#include "engine/docrt.h"
#include "engine/timert.h"
#include "geometry/vec16f.h"
#include "scene/rendersettings.h"
#include "tests/engine/doctesthelpers.h"

using namespace doctest;

namespace {

constexpr int kW = 48, kH = 36;  // column 24 looks straight ahead: its rays meet x = 0 exactly

std::string materials(const QString& imagePath) {
    return "<newcolor><wavelength>(610;220)(650;120)</wavelength><colname>warm</colname>"
           "</newcolor>"
           "<newcolor><wavelength>(460;200)(530;150)</wavelength><colname>cool</colname>"
           "</newcolor>"
           "<newtexturesingle><texname>plain</texname><color>warm</color></newtexturesingle>"
           "<newtexturequad><texname>checker</texname><colora>warm</colora><colorb>cool</colorb>"
           "</newtexturequad>"
           "<newtextureimage><texname>picture</texname><colr>warm</colr><colg>cool</colg>"
           "<colb>warm</colb><imagefilename>" +
           imagePath.toStdString() + "</imagefilename></newtextureimage>";
}

std::string observer(const char* start, const char* lookat) {
    return std::string("<renderSettings><start>") + start + "</start><lookat>" + lookat +
           "</lookat><dirx>1;0;0;0</dirx><diry>0;1;0;0</diry></renderSettings>";
}

std::string plane(const char* pos, const char* x, const char* y, const char* tex,
                  const char* repeats = "2") {
    return std::string("<plane><pos>") + pos + "</pos><x>" + x + "</x><y>" + y + "</y><sx>" +
           repeats + "</sx><sy>" + repeats + "</sy><texname>" + tex + "</texname></plane>";
}

std::string sphere(const char* center, const char* radius, const char* tex) {
    return std::string("<sphere><center>") + center + "</center><radius>" + radius +
           "</radius><texname>" + tex + "</texname></sphere>";
}

struct Case {
    const char* name;
    std::string objects;
    std::string view;
    bool unseenWithTravel = false;  // with light travel time the light left before it existed
};

std::vector<Case> cases() {
    const std::string ahead = observer("0;0;0;0", "0;0;1;0");
    const std::string panes = plane("-4;-3;9;0", "8;0;0;0", "0;6;0;0", "plain") +
                              plane("-0.52;-2;3;0", "1.2;0;0;0", "0;4;0;0", "checker", "1") +
                              plane("0.43;-0.5;5.2;0", "2.5;0;0;0", "0;1;0.2;0", "plain", "1");
    const auto fastSphere = [](const char* center) {
        return std::string("<sphere><center>") + center +
               "</center><radius>1.45</radius><texname>checker</texname>"
               "<velocity>-0.3;0.1;-0.85;0</velocity></sphere>";
    };
    return {
        {"lone wall", plane("-2;-1.5;5;0", "4;0;0;0", "0;3;0;0", "checker"), ahead},
        // One seamless wall: column 24 meets the shared edge x = 0 exactly.
        {"coplanar tiles",
         plane("-2;-1.5;5;0", "2;0;0;0", "0;1.5;0;0", "plain", "1") +
             plane("0;-1.5;5;0", "2;0;0;0", "0;1.5;0;0", "plain", "1") +
             plane("-2;0;5;0", "2;0;0;0", "0;1.5;0;0", "plain", "1") +
             plane("0;0;5;0", "2;0;0;0", "0;1.5;0;0", "plain", "1"),
         ahead},
        {"plane edge", plane("0;-1;4;0", "3;0;0;0", "0;2;0;0", "plain", "1"), ahead},
        {"skewed plane",
         plane("-4;-3;9;0", "8;0;0;0", "0;6;0;0", "plain") +
             plane("-2.5;-1.5;5;0", "3;0;0;0", "2;3;0;0", "checker"),
         ahead},
        {"plane from behind", plane("-2;-1.5;5;0", "0;3;0;0", "4;0;0;0", "checker"), ahead},
        {"image from behind", plane("-2;-1.5;5;0", "0;3;0;0", "4;0;0;0", "picture", "1"), ahead},
        {"inside sphere", sphere("0.3;0.2;0.5;0", "4", "plain"), ahead},
        {"inside cube",
         "<cube><pos>-2;-2;-2;0</pos><x>4;0;0;0</x><y>0;4;0;0</y><z>0;0;4;0</z><sx>2</sx>"
         "<sy>2</sy><sz>2</sz><texxy>checker</texxy><texyz>plain</texyz><texzx>checker</texzx>"
         "</cube>",
         ahead},
        {"objects touching the scene box",
         plane("-3;-1;0;0", "6;0;0;0", "0;0;12;0", "checker") + sphere("0;0;3;0", "1", "plain"),
         observer("0;0;0;0", "0;-0.5;0.866025;0")},
        {"spheres", sphere("-1;0;4;0", "1.2", "plain") + sphere("1.2;0.3;6;0", "1.5", "checker"),
         ahead},
        {"sphere at another time", sphere("0;0;5;0.5", "1.5", "plain"), ahead},
        {"moving sphere",
         "<movsphere><center>-1;0;4;0</center><tmin>0</tmin><tmax>100</tmax>"
         "<mov>0.2;0.05;0;0</mov><radius>1.5</radius><texname>plain</texname></movsphere>",
         ahead, true},
        {"moving bodies",
         plane("-4;-3;9;0", "8;0;0;0", "0;6;0;0", "plain") +
             "<sphere><center>-1;0.3;5;0</center><radius>1</radius><texname>checker</texname>"
             "<velocity>0.6;0.2;-0.3;0</velocity></sphere>"
             "<cube><pos>0.5;-1.5;4;0</pos><x>1.2;0;0;0</x><y>0;1;0.3;0</y><z>0;0;1.4;0</z>"
             "<sx>2</sx><sy>2</sy><sz>2</sz><texxy>checker</texxy><texyz>plain</texyz>"
             "<texzx>picture</texzx><velocity>-0.5;0;-0.7;0</velocity></cube>"
             "<plane><pos>-3;1;6;0</pos><x>2;0;0;0</x><y>0;1.5;0.5;0</y><sx>2</sx><sy>2</sy>"
             "<texname>checker</texname><velocity>0.9;0;0;0</velocity></plane>",
         ahead},
        // Each lane's hit distance carried through the boost both ways cuts the sphere alike.
        {"moving sphere between panes", panes + fastSphere("0.05;0.02;5;0"), ahead},
        {"moving sphere between panes, seen late", panes + fastSphere("-1.48;0.53;0.66;0"), ahead},
        {"accretion disk",
         "<newdisk><normal>0;1;-0.4;0</normal><rout>2.5</rout><rin>0.4</rin></newdisk>",
         observer("0;0.3;-5;0", "0;0;1;0")},
        {"moving sphere seen with light travel time",
         plane("-4;-3;9;0", "8;0;0;0", "0;6;0;0", "plain") +
             "<movsphere><center>-1;0;4;0</center><tmin>-20</tmin><tmax>100</tmax>"
             "<mov>0.5;0.05;0;0</mov><radius>1.5</radius><texname>checker</texname></movsphere>",
         ahead},
    };
}

std::vector<uint32_t> render(DocRT& doc, int packet, float speed, bool bending, int w = kW,
                             int h = kH, TimeRT* engine = nullptr, bool lightTravelTime = false) {
    RenderSettings& s = *doc.getSettings();
    s.maxBundleSize = packet;
    s.speed = speed;
    s.lightBending = bending;
    s.lightTravelTime = lightTravelTime;
    return trace(doc, s, w, h, engine);
}

// A pixel one of whose four neighbours differs by more than a level.
bool onEdge(const std::vector<uint32_t>& p, int x, int y) {
    const int at = y * kW + x;
    const int neighbours[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const auto& n : neighbours) {
        const int nx = x + n[0], ny = y + n[1];
        if (nx < 0 || ny < 0 || nx >= kW || ny >= kH) continue;
        if (channelDifference(p[size_t(at)], p[size_t(ny * kW + nx)]) > 1) return true;
    }
    return false;
}

}  // namespace

TEST(PacketAgreement, EveryObjectKindLooksTheSameAtEveryPacketSize) {
    TraceOutput::setEnabled(false);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage image(5, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            image.setPixel(x, y, qRgb(50 * x + 20, 60 * y + 30, 200 - 30 * x));
    const QString imagePath = dir.filePath(QStringLiteral("picture.png"));
    ASSERT_TRUE(image.save(imagePath));
    for (const Case& c : cases()) {
        const std::string text = "<tavolinfile>" + c.view + materials(imagePath) + c.objects;
        DocRT doc;
        load(doc, writeFile(dir, "scene.tavolin", (text + "</tavolinfile>").c_str()));
        // A small hole off to the side: lanes of parting bent paths go one by one.
        doc.getSettings()->bhpos = Vec4f(-1.5f, 1.2f, 2.5f, 0.0f);
        doc.getSettings()->bhradius = 0.05f;
        struct Mode {
            float speed;
            bool bending, lightTravelTime;
        };
        for (const auto& [speed, bending, travel] :
             {Mode{0.0f, false, false}, Mode{0.5f, false, false}, Mode{0.0f, true, false},
              Mode{0.5f, true, false}, Mode{0.0f, false, true}, Mode{0.5f, false, true},
              Mode{0.5f, true, true}}) {
            const std::vector<uint32_t> single =
                render(doc, 1, speed, bending, kW, kH, nullptr, travel);
            const uint32_t background = doc.getSettings()->backgroundPixel();
            const long shown = std::count_if(single.begin(), single.end(),
                                             [&](uint32_t p) { return p != background; });
            if (!(travel && c.unseenWithTravel)) {
                EXPECT_GT(shown, long(single.size() / 10))
                    << c.name << ", speed " << speed << ", bending " << bending
                    << ", light travel time " << travel;
            }
            for (int packet : {2, 4}) {
                const std::vector<uint32_t> picture =
                    render(doc, packet, speed, bending, kW, kH, nullptr, travel);
                int wrong = 0, first = -1;
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < kW; ++x) {
                        const int at = y * kW + x;
                        if (channelDifference(single[size_t(at)], picture[size_t(at)]) <= 1)
                            continue;
                        if (onEdge(single, x, y)) continue;
                        if (first < 0) first = at;
                        ++wrong;
                    }
                EXPECT_EQ(wrong, 0) << c.name << ", speed " << speed << ", bending " << bending
                                    << ", light travel time " << travel
                                    << ", packet side " << packet << ": first at ("
                                    << first % kW << ", " << first / kW << ")";
                if (packet == 2 && !bending) {
                    // Four packets at a time as one 16-ray bundle, and each alone through the
                    // four-ray walk: the same picture bit for bit, on either kernel.
                    TimeRT oneByOne;
                    oneByOne.quadsTogether = false;
                    const std::vector<uint32_t> alone =
                        render(doc, packet, speed, bending, kW, kH, &oneByOne, travel);
                    EXPECT_TRUE(alone == picture)
                        << c.name << ", speed " << speed << ", light travel time " << travel;
                    wideKernelsAllowed() = false;
                    const std::vector<uint32_t> portable =
                        render(doc, packet, speed, bending, kW, kH, nullptr, travel);
                    wideKernelsAllowed() = true;
                    EXPECT_TRUE(portable == picture)
                        << c.name << ", speed " << speed << ", light travel time " << travel;
                }
                if (packet == 4 && hasWideKernels()) {  // the same picture bit for bit
                    wideKernelsAllowed() = false;
                    const std::vector<uint32_t> portable =
                        render(doc, packet, speed, bending, kW, kH, nullptr, travel);
                    wideKernelsAllowed() = true;
                    EXPECT_TRUE(portable == picture)
                        << c.name << ", speed " << speed << ", bending " << bending
                        << ", light travel time " << travel;
                }
            }
        }
    }
}

// The first packet of a frame writes its walk when trace lines are on: with 2 x 2 packets going
// four at a time, that packet still goes alone, and the lines are those of the packets one by one.
TEST(FrameRendering, TheFirstTwoByTwoPacketIsTracedAsOneAlone) {
    TraceOutputOff restore;
    DocRT doc;
    load(doc, dataFile("spheres8.tavolin"));
    std::string lines[2];
    for (const bool together : {true, false}) {
        TimeRT engine;
        engine.quadsTogether = together;
        TraceOutput::setEnabled(true);
        testing::internal::CaptureStdout();
        render(doc, 2, 0.0f, false, kW, kH, &engine);
        lines[together] = testing::internal::GetCapturedStdout();
        TraceOutput::setEnabled(false);
    }
    EXPECT_FALSE(lines[0].empty());
    EXPECT_EQ(lines[1], lines[0]);
}

TEST(FrameRendering, EveryPixelIsWrittenForEverySizeAndPacket) {
    TraceOutputOff quiet;
    DocRT doc;
    load(doc, dataFile("spheres8.tavolin"));
    const int sizes[][2] = {{1, 1}, {5, 3}, {33, 17}, {2, 9}};
    for (bool bending : {false, true})
        for (int bundle : {1, 2, 4})
            for (const auto& wh : sizes) {
                const auto p = render(doc, bundle, 0.6f, bending, wh[0], wh[1]);
                EXPECT_EQ(std::count(p.begin(), p.end(), kStale), 0)
                    << wh[0] << "x" << wh[1] << " bundle " << bundle << " bending " << bending;
            }
    // A worker alone takes bands in groups and traces them in blocks of columns; so many
    // workers that each call takes one band leave the order row by row. The pictures are the
    // same pixel for pixel, the sky drawn behind them included: 71 columns are three blocks and
    // a right edge, and 150 rows are groups of every size down to single bands.
    // Bent bands go one at a time however big the tree.
    doc.getSettings()->starrySky = true;
    for (bool bending : {false, true})
        for (int bundle : {1, 2, 4}) {
            TimeRT grouped, alone;
            grouped.workers = 1;
            grouped.groupTreeBytes = 0;
            alone.workers = 1000;
            const auto g = render(doc, bundle, 0.6f, bending, 71, 150, &grouped);
            const auto a = render(doc, bundle, 0.6f, bending, 71, 150, &alone);
            EXPECT_EQ(std::count(g.begin(), g.end(), kStale), 0)
                << "bundle " << bundle << " bending " << bending;
            EXPECT_TRUE(g == a) << "bundle " << bundle << " bending " << bending;
        }
    doc.getSettings()->starrySky = false;
    doc.getSettings()->lightBending = false;

    // Empty pictures hand out nothing; rows go in bands of the packet side.
    TimeRT engine;
    PixelBuffer empty;
    RenderSettings& s = *doc.getSettings();
    empty.setSize(5, 0, 1);
    engine.raytracePic(&s, doc.getSceneData(), doc.getTree(), &empty);
    EXPECT_TRUE(engine.runTask());
    empty.setSize(0, 6, 1);
    for (const auto& [bundle, expected] : {std::pair{2, 3}, std::pair{4, 2}}) {
        s.maxBundleSize = bundle;
        engine.raytracePic(&s, doc.getSceneData(), doc.getTree(), &empty);
        int bands = 0;
        while (!engine.runTask()) ++bands;
        EXPECT_EQ(bands, expected);
    }
    // 150 bands of 4 rows for one worker: a tree as small as this one's goes band by band; one
    // counted as big goes in groups of up to 8 bands, down to single bands at the end.
    empty.setSize(0, 600, 1);
    engine.workers = 1;
    for (const auto& [bytes, least, most] :
         {std::tuple{int64_t(1) << 20, 150, 150}, std::tuple{int64_t(0), 19, 40}}) {
        engine.groupTreeBytes = bytes;
        engine.raytracePic(&s, doc.getSceneData(), doc.getTree(), &empty);
        int calls = 0;
        while (!engine.runTask()) ++calls;
        EXPECT_GE(calls, least) << bytes;
        EXPECT_LE(calls, most) << bytes;
    }
}
