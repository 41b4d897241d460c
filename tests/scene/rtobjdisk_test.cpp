// The accretion disk as a scene object: its hits at every packet size against a closed-form
// annulus solved in double precision, the same pixel from every packet size, and one contract
// table for what the scene file readers and the writer accept.
#include "scene/rtobjdisk.h"

#include <gtest/gtest.h>

#include <QIODevice>
#include <QTextStream>
#include <algorithm>

#include "scene/readerxml.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"
#include "tests/scene/rtobjtesthelpers.h"

using namespace objtest;

namespace {

struct Expected {
    bool undecidable = false, hit = false;
    double t = 0;
};

// Annulus: the plane through the centre with the normal, then the distance of the hit point
// from the centre between the inner and outer radius.
Expected annulusReference(const D3& centre, const D3& normal, double inner, double outer,
                          const SingleRay& r) {
    Expected e;
    const D3 n = normal * (1.0 / len(normal)), o = d3(r.origin), d = d3(r.dir);
    const double dn = dot(d, n);
    if (std::fabs(dn) < 1e-3) {
        e.undecidable = true;
        return e;
    }
    const double t = dot(centre - o, n) / dn;
    const double rad = len(o + d * t - centre);
    const double m = 1e-4;
    e.undecidable = std::fabs(rad - inner) < m * (1 + outer) ||
                    std::fabs(rad - outer) < m * (1 + outer) ||
                    std::fabs(t - r.tMin) < m * (1 + std::fabs(t)) ||
                    std::fabs(t - r.tMax) < m * (1 + std::fabs(t));
    e.hit = t >= r.tMin && t <= r.tMax && rad >= inner && rad <= outer;
    e.t = t;
    return e;
}

bool closeTo(float got, double want) {
    return std::fabs(got - want) <= 2e-4 * (1 + std::fabs(want));
}

int channelDifference(uint32_t a, uint32_t b) {
    int d = 0;
    for (int sh = 0; sh < 24; sh += 8)
        d = std::max(d, std::abs(int((a >> sh) & 0xff) - int((b >> sh) & 0xff)));
    return d;
}

// A scene file read by one of the readers, and written back.
struct Loaded {
    RenderSettings settings;
    SceneData scene;
    bool ok = false;
    QString error;

    Loaded(const QByteArray& text, bool quick) {
        Reader::ReaderXml reader;
        reader.setQuickReading(quick);
        reader.registerSettings(&settings);
        reader.registerScene(&scene);
        ok = reader.parseText(text);
        error = reader.errorText();
    }
    QByteArray save() {
        Reader::ReaderXml writer;
        writer.registerSettings(&settings);
        writer.registerScene(&scene);
        QByteArray out;
        QTextStream stream(&out, QIODevice::WriteOnly);
        writer.write(stream);
        stream.flush();
        return out;
    }
};

}  // namespace

TEST(RtObjDisk, EveryPacketSizeMatchesTheDoubleReferenceAndDrawsTheSamePixel) {
    Rng rng(2026);
    RenderSettings settings;
    settings.eye = cieHumanEye();
    settings.searchlight = 4;
    settings.syncLight();
    int decided = 0, hits = 0;
    for (int k = 0; k < 120; ++k) {
        rtObjDisk disk;
        disk.normal = rng.direction() * float(rng.uni(0.2, 3.0));
        disk.rout = float(rng.uni(2.0, 8.0));
        disk.rin = k % 3 == 0 ? float(rng.uni(0.5, 1.5)) : 0.0f;
        disk.placeAtHole(rng.point(4.0), float(rng.uni(0.1, 0.5)));
        disk.ownColor()->prepareShading(settings.eye);  // as before a frame
        const Vec4f origin = rng.point(20.0);
        Vec4f dirs[16];
        for (int i = 0; i < 16; ++i) {
            const Vec4f aim = disk.centre + rng.direction() * float(rng.uni(0, 1.2) * disk.rout);
            dirs[i] = unitDir(aim - origin);
            if (i % 7 == 3) dirs[i] = -dirs[i];
        }
        const float tMin = k % 4 == 0 ? float(rng.uni(0, 8)) : 0.0f;
        const float tMax = k % 3 == 0 ? float(rng.uni(3, 40)) : kFar;
        alignas(16) RayBundle16 b16;
        makeBundle16(b16, origin, dirs, tMin, tMax);
        b16.settings = &settings;
        uint32_t pix16[4][4] = {};
        for (int g = 0; g < 4; ++g) b16.out[g] = pix16[g];
        LaneMask4 h16[4];
        disk.intersect16(b16, h16);
        disk.shade16(b16, h16);
        for (int g = 0; g < 4; ++g) {
            alignas(16) RayBundle4 b4;
            makeBundle4(b4, origin, &dirs[4 * g], tMin, tMax);
            b4.settings = &settings;
            uint32_t pix4[2][2] = {};
            b4.out[0] = pix4[0];
            b4.out[1] = pix4[1];
            const LaneMask4 hit4 = disk.intersect4(b4);
            disk.shade4(b4, hit4);
            const int m4 = movemask(hit4);
            for (int l = 0; l < 4; ++l) {
                SingleRay r = makeRay(origin, dirs[4 * g + l], tMin, tMax);
                r.settings = &settings;
                const Expected e = annulusReference(d3(disk.centre), d3(disk.normal),
                                                    disk.innerRadius(), disk.rout, r);
                if (e.undecidable) continue;
                ++decided;
                hits += e.hit;
                SCOPED_TRACE(testing::Message() << "disk " << k << " ray " << 4 * g + l);
                const float t = hit1(disk, r);
                ASSERT_EQ(t != kNoDistance, e.hit) << t << " reference " << e.t;
                EXPECT_EQ(disk.occluded1(r), e.hit);
                EXPECT_EQ((m4 >> l & 1) != 0, e.hit);
                EXPECT_EQ(h16[g].lane(l), e.hit);
                if (!e.hit) continue;
                EXPECT_PRED2(closeTo, t, e.t);
                EXPECT_PRED2(closeTo, b4.tHit[l], e.t);
                EXPECT_PRED2(closeTo, b16.tHit[g][l], e.t);
                uint32_t pix1 = 0;
                r.out = &pix1;
                disk.shade1(r, t);
                EXPECT_LE(channelDifference(pix1, pix4[l / 2][l % 2]), 1);
                EXPECT_LE(channelDifference(pix1, pix16[g][l]), 1);
            }
        }
    }
    EXPECT_GT(decided, 1200);
    EXPECT_GT(hits, 300);
}

// What the readers (quick and full) and the writer make of disk items: the values read, the
// message of a refusal with its line, "rin" written only when set, and byte-identical files
// after a round trip. (The edit dock's rows apply the same rules: tests/ui/dockeditobjects.)
TEST(RtObjDisk, ReadersWriterAndEditRulesAgree) {
    struct Case {
        const char* item;
        const char* error;  // part of the message, or null when the file loads
        float rout = 0, rin = 0, tmax = 0;
    };
    const Case cases[] = {
        {"<newdisk/>", nullptr, 1.0f, 0.0f, 10000.0f},
        {"<newdisk><normal>0;0;2;0</normal><rout>12</rout></newdisk>", nullptr, 12, 0, 10000},
        {"<newdisk rout=\"20\" rin=\"4\" tmax=\"6000\"/>", nullptr, 20, 4, 6000},
        {"<newdisk><name>d</name><rout>5</rout><rin>0</rin><tmax>1e6</tmax></newdisk>", nullptr, 5,
         0, 1e6f},
        {"<newdisk><rout>5</rout><rin>5</rin></newdisk>", "rout (5) must be greater than rin (5)"},
        {"<newdisk><rout>3</rout><rin>4</rin></newdisk>", "must be greater than rin"},
        {"<newdisk><rin>-1</rin></newdisk>", "rin must be 0"},
        {"<newdisk><rout>0</rout></newdisk>", "rout must be greater than 0"},
        {"<newdisk rout=\"-2\"/>", "rout must be greater than 0"},
        {"<newdisk><normal>0;0;0;1</normal></newdisk>", "normal must not have zero length"},
        {"<newdisk><normal>0;nan;1;0</normal></newdisk>", "must be a finite number"},
        {"<newdisk><rout>inf</rout></newdisk>", "must be a finite number"},
        {"<newdisk><tmax>inf</tmax></newdisk>", "must be a finite number"},
        {"<newdisk><tmax>0</tmax></newdisk>", "tmax must be greater than 0"},
        {"<newdisk><tmax>100</tmax></newdisk>", "tmax must be a temperature from 300"},
        {"<newdisk><tmax>2e6</tmax></newdisk>", "tmax must be a temperature from 300"},
        {"<newdisk><radius>1</radius></newdisk>", "no property"},
        {"<newdisk><velocity>0.1;0;0;0</velocity></newdisk>", "no property"},
    };
    for (const Case& c : cases) {
        const QByteArray text = QByteArray("<tavolinfile>\n") + c.item + "\n</tavolinfile>\n";
        QByteArray savedBy[2];
        for (const bool quick : {false, true}) {
            SCOPED_TRACE(std::string(c.item) + (quick ? " quick" : " full"));
            Loaded l(text, quick);
            ASSERT_EQ(l.ok, c.error == nullptr) << l.error.toStdString();
            if (!l.ok) {
                EXPECT_TRUE(l.error.contains(QLatin1String(c.error))) << l.error.toStdString();
                EXPECT_TRUE(l.error.contains("line:2")) << l.error.toStdString();
                continue;
            }
            ASSERT_EQ(l.scene.objects.items.size(), 1u);
            const auto* disk = dynamic_cast<const rtObjDisk*>(l.scene.objects.items[0]);
            ASSERT_NE(disk, nullptr);
            EXPECT_EQ(disk->rout, c.rout);
            EXPECT_EQ(disk->rin, c.rin);
            EXPECT_EQ(disk->tmax, c.tmax);
            savedBy[quick] = l.save();
            EXPECT_EQ(savedBy[quick].contains("<rin>"), c.rin != 0.0f);
        }
        if (c.error) continue;
        EXPECT_EQ(savedBy[0], savedBy[1]) << c.item;
        Loaded again(savedBy[0], false);  // saved, loaded and saved again: the same bytes
        ASSERT_TRUE(again.ok);
        EXPECT_EQ(again.save(), savedBy[0]) << c.item;
    }
}
