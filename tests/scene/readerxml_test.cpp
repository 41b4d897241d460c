// Scene files: refused input with line and column, limits, byte-identical load/save cycles, and
// the optional eye of the render settings.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "scene/colblackbody.h"
#include "scene/coldiscrete.h"
#include "scene/lights.h"
#include "scene/readerxml.h"
#include "scene/rendersettings.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "scene/texturesingle.h"

namespace {

struct Loaded {
    RenderSettings settings;
    SceneData scene;
    bool ok = false;
    QString error;
};

std::unique_ptr<Loaded> parse(const QByteArray& text) {
    auto l = std::make_unique<Loaded>();
    Reader::ReaderXml reader;
    reader.registerSettings(&l->settings);
    reader.registerScene(&l->scene);
    l->ok = reader.parseText(text);
    l->error = reader.errorText();
    return l;
}

QByteArray save(Loaded& l) {
    Reader::ReaderXml writer;
    writer.registerSettings(&l.settings);
    writer.registerScene(&l.scene);
    QByteArray out;
    QTextStream stream(&out);
    writer.write(stream);
    stream.flush();
    return out;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

QByteArray withEye(const char* eyeText) {
    return QByteArray("<tavolinfile>\n  <renderSettings>\n    <bhradius>0.5</bhradius>\n    <eye>") +
           eyeText + "</eye>\n  </renderSettings>\n</tavolinfile>\n";
}

}  // namespace

TEST(ReaderXml, RefusesWhatItCannotRead) {
    const char* bad[] = {
        "<tavolinfile>\n  <plane>\n    <foo>1</foo>\n  </plane>\n</tavolinfile>\n",  // unknown
        "<tavolinfile><cylinder/></tavolinfile>",                              // unknown tag
        "<tavolinfile><sphere><radius>abc</radius></sphere></tavolinfile>",    // not a number
        "<tavolinfile><sphere><center>1;2;3</center></sphere></tavolinfile>",  // three parts
        "<tavolinfile><newcolor><wavelength>(600;1;2)</wavelength></newcolor></tavolinfile>",
        "<tavolinfile><sphere><radius unit=\"m\">1</radius></sphere></tavolinfile>",
        "<tavolinfile><sphere bogus=\"1\"/></tavolinfile>",
        "<tavolinfile><sphere><radius>1</radius>",  // truncated
        "",                                         // empty input
        "\x01\x02\x03 binary",
    };
    for (const char* text : bad) {
        auto l = parse(text);
        EXPECT_FALSE(l->ok) << text;
        EXPECT_TRUE(l->error.startsWith("Fatal error: ")) << l->error.toStdString();
        EXPECT_TRUE(l->error.contains("  line:")) << l->error.toStdString();
    }
}

// Load, save, load, save: the two saved files are identical, for the bench scenes and for a file
// with every kind of item (attributes, escaped names, six-digit values, infinite lifetimes,
// blackbody colours, an edited eye). What the first load gave is what the second one gives.
TEST(ReaderXml, SaveLoadSaveIsByteIdenticalForEveryKindOfItem) {
    const QString files[] = {QStringLiteral(TAVOLIN_TEST_DATA "/every-kind.tavolin"),
                             QStringLiteral(TAVOLIN_TEST_DATA "/spheres8.tavolin"),
                             QStringLiteral(TAVOLIN_TEST_DATA "/temple.tavolin"),
                             QStringLiteral(TAVOLIN_TEST_DATA "/sphere-grid.tavolin"),
                             QStringLiteral(TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge.tavolin"),
                             QStringLiteral(TAVOLIN_SOURCE_DIR
                                            "/resources/scenes/stonehenge-natural.tavolin"),
                             QStringLiteral(TAVOLIN_SOURCE_DIR
                                            "/resources/scenes/black-hole-with-disk.tavolin")};
    for (const QString& file : files) {
        auto first = parse(readFile(file));
        ASSERT_TRUE(first->ok) << file.toStdString() << ": " << first->error.toStdString();
        const QByteArray saved1 = save(*first);
        auto second = parse(saved1);
        ASSERT_TRUE(second->ok) << second->error.toStdString();
        const QByteArray saved2 = save(*second);
        EXPECT_EQ(saved1, saved2) << file.toStdString();
        EXPECT_EQ(first->scene.colors.items.size(), second->scene.colors.items.size());
        EXPECT_EQ(first->scene.objects.items.size(), second->scene.objects.items.size());
    }
    auto l = parse(readFile(files[0]));
    auto again = parse(save(*l));
    for (Loaded* loaded : {l.get(), again.get()}) {
        const SceneData& scene = loaded->scene;
        EXPECT_EQ(loaded->settings.start.z, 3e-05f);
        EXPECT_EQ(loaded->settings.bhradius, 123457.0f);
        EXPECT_EQ(loaded->settings.eye.channel[2], EyeChannel(560, 660, 790));
        ASSERT_EQ(scene.objects.items.size(), 4u);
        EXPECT_EQ(scene.objects.items[0]->name, "a<b>&c");
        auto* moving = dynamic_cast<rtObjSphere<0>*>(scene.objects.items[1]);
        ASSERT_NE(moving, nullptr);
        EXPECT_EQ(moving->tmin, -HUGE_VALF);
        EXPECT_EQ(moving->mov.x, 0.5f);
        auto* plane = dynamic_cast<rtObjPlane*>(scene.objects.items[2]);
        ASSERT_NE(plane, nullptr);
        EXPECT_EQ(plane->name, "floortile");
        EXPECT_EQ(plane->sx, 3.5f);
        EXPECT_EQ(scene.lights.items.at(0)->intensity, 0.8f);
        EXPECT_EQ(scene.colors.get("c")->toSpectrumText(), "(600.5;1)(450;0.125)");
        // Blackbody colours keep temperature and luminance (defaults for what was left out) and
        // are read back into the same lines.
        auto* ember = dynamic_cast<const ColBlackbody*>(scene.colors.get("ember"));
        auto* sun = dynamic_cast<const ColBlackbody*>(scene.colors.get("sun"));
        ASSERT_TRUE(ember && sun);
        EXPECT_EQ(ember->luminance, 1.0f);
        EXPECT_EQ(ember->intensities, ColBlackbody(QStringLiteral("e"), 3000, 1).intensities);
        EXPECT_EQ(sun->intensities, ColBlackbody(QStringLiteral("s"), 5800, 0.75f).intensities);
        EXPECT_EQ(dynamic_cast<const ColBlackbody*>(scene.colors.get("c")), nullptr);
    }
    EXPECT_FALSE(save(*l).contains("(205;")) << "no spectrum text for blackbody colours";
}

TEST(ReaderXml, EntityDeclarationsAreRefusedButCharacterReferencesStay) {
    // Declared entities could expand a small file into gigabytes; the writer never declares any.
    auto declared = parse(
        "<!DOCTYPE tavolinfile [<!ENTITY a \"x\">]><tavolinfile><sphere><name>&a;</name>"
        "</sphere></tavolinfile>");
    EXPECT_FALSE(declared->ok);
    EXPECT_TRUE(declared->error.startsWith("Fatal error: entity declarations are not supported"))
        << declared->error.toStdString();
    EXPECT_TRUE(declared->scene.objects.items.empty());

    // A document type without declarations, predefined entities and character references are
    // plain XML and still read.
    auto plain = parse(
        "<!DOCTYPE tavolinfile><tavolinfile><sphere><name>a&amp;b&#x43;&lt;</name></sphere>"
        "</tavolinfile>");
    ASSERT_TRUE(plain->ok) << plain->error.toStdString();
    ASSERT_EQ(plain->scene.objects.items.size(), 1u);
    EXPECT_EQ(plain->scene.objects.items[0]->name, "a&bC<");
}

TEST(ReaderXml, ItemsPastTheLimitAreRefusedWithTheLimitNamed) {
    // Settings blocks are the cheapest items: they all fill the same settings.
    const QByteArray item = "<renderSettings/>\n";
    QByteArray text = "<tavolinfile>\n";
    text.reserve(qsizetype(item.size()) * (Reader::ReaderXml::kMaxItems + 1) + 40);
    for (int i = 0; i < Reader::ReaderXml::kMaxItems; ++i) text += item;
    auto atLimit = parse(text + "</tavolinfile>\n");
    EXPECT_TRUE(atLimit->ok) << atLimit->error.toStdString();
    auto past = parse(text + item + "</tavolinfile>\n");
    EXPECT_FALSE(past->ok);
    EXPECT_EQ(past->error.toStdString(),
              "Fatal error: the file has more than 1000000 items  line:1000002  column:17");
}

TEST(ReaderXml, ColoursPastTheLineLimitAreRefused) {
    const auto colour = [](int lines) {
        QByteArray w;
        for (int i = 0; i < lines; ++i) w += "(" + QByteArray::number(300 + i * 0.5) + ";1)";
        return "<tavolinfile>\n<newcolor><colname>c</colname><wavelength>" + w +
               "</wavelength></newcolor></tavolinfile>";
    };
    auto atLimit = parse(colour(Reader::ReaderXml::kMaxColorLines));
    EXPECT_TRUE(atLimit->ok) << atLimit->error.toStdString();
    auto past = parse(colour(Reader::ReaderXml::kMaxColorLines + 1));
    EXPECT_FALSE(past->ok);
    EXPECT_TRUE(past->error.startsWith("Fatal error: a colour may have at most 1000 spectral "
                                       "lines, <newcolor> has 1001  line:2  column:"))
        << past->error.toStdString();
}

// Thousands of colours that no texture uses cost nothing per frame: only the colours textures
// draw with are prepared (2000 unused blackbodies once took 20 s).
TEST(ReaderXml, OnlyColoursThatTexturesUseAreShaded) {
    QByteArray text = "<tavolinfile>";
    for (int i = 0; i < 2000; ++i) text += "<newblackbody/>";
    text += "<newblackbody><colname>sun</colname></newblackbody>"
            "<newtexturesingle><texname>t</texname><color>sun</color></newtexturesingle>"
            "<newtexturequad><texname>q</texname><colora>sun</colora><colorb>nowhere</colorb>"
            "</newtexturequad></tavolinfile>";
    auto l = parse(text);
    ASSERT_TRUE(l->ok) << l->error.toStdString();
    l->scene.resolve();
    ASSERT_EQ(l->scene.shadedColors.size(), 2u);
    EXPECT_EQ(l->scene.shadedColors[0]->name, "sun");
    EXPECT_EQ(l->scene.shadedColors[1], l->scene.colors.items.front());  // the stand-in
}

// Every preset and an edited eye survive a save and a load; the element is the last line of
// the render settings, and only an eye other than the default one writes it.
TEST(RenderSettingsEye, EveryEyeSurvivesARoundTrip) {
    std::vector<Eye> eyes;
    for (const EyePreset& preset : eyePresets()) eyes.push_back(preset.eye);
    Eye edited = defaultEye();
    edited.channel[1] = EyeChannel(412.5f, 633.25f, 1001.75f);
    eyes.push_back(edited);
    for (const Eye& eye : eyes) {
        Loaded scene;
        scene.settings.eye = eye;
        const QByteArray saved = save(scene);
        const bool named = eye != defaultEye();
        EXPECT_EQ(saved.contains("    <eye>"), named);
        if (named) {
            EXPECT_TRUE(saved.contains("</eye>\n  </renderSettings>\n"));
        }
        auto back = parse(saved);
        ASSERT_TRUE(back->ok) << saved.toStdString();
        EXPECT_TRUE(back->settings.eye == eye) << saved.toStdString();
        EXPECT_EQ(back->settings.eye.kind, eye.kind);
        EXPECT_EQ(save(*back), saved);
    }
    // The CIE eye by its name; the curves by their nine wavelengths, red first.
    auto cie = parse(withEye("cie1931"));
    EXPECT_EQ(cie->settings.eye.kind, EyeKind::Cie1931);
    auto curves = parse(withEye(" 400;500;600; 500;600;700 ;600;700;800\n    "));
    EXPECT_EQ(curves->settings.eye.kind, EyeKind::ThreeCurve);
    EXPECT_EQ(curves->settings.eye.channel[0], EyeChannel(400, 500, 600));
    EXPECT_EQ(curves->settings.eye.channel[2], EyeChannel(600, 700, 800));
}

TEST(RenderSettingsEye, UnreadableEyesStopTheLoad) {
    for (const char* text : {"", "cie", "CIE1931", "400;500;600", "400;500;600;500;600;700;600;700",
                             "400;500;600;500;600;700;600;700;800;900",
                             "400;500;600;500;500;700;600;700;800",  // peak not above lo
                             "400;500;600;500;600;700;600;900;800",  // hi below peak
                             "400;500;600;500;600;700;600;700;x", "400;500;inf;500;600;700;600;700;800"}) {
        auto scene = parse(withEye(text));
        EXPECT_FALSE(scene->ok) << text;
        EXPECT_EQ(scene->settings.eye, defaultEye()) << text;
    }
}

// The light-travel-time switch of the render settings: 0 or 1, off when absent, written only
// when on, refused otherwise with the reader's message; the same for the full XML parser and
// the quick reading. The time a file's start stores never becomes the observer's time.
TEST(RenderSettingsLightTravelTime, ReadWrittenAndRefusedByBothReaders) {
    struct Case {
        const char* element;  // the property's text, or null for no element
        bool ok;
        bool on;
    };
    const Case cases[] = {
        {nullptr, true, false}, {"0", true, false}, {"1", true, true},  {" 1\n ", true, true},
        {"2", false, false},    {"", false, false}, {"on", false, false}, {"1.0", false, false},
        {"-1", false, false},   {"01", false, false},
    };
    for (const Case& c : cases) {
        QByteArray text = "<tavolinfile>\n  <renderSettings>\n    <start>1;2;3;42.5</start>\n";
        if (c.element) text += QByteArray("    <lighttraveltime>") + c.element + "</lighttraveltime>\n";
        text += "  </renderSettings>\n</tavolinfile>\n";
        for (const bool quick : {false, true}) {
            const std::string label = std::string(c.element ? c.element : "(none)") +
                                      (quick ? " quick" : " full");
            RenderSettings settings;
            SceneData scene;
            Reader::ReaderXml reader;
            reader.setQuickReading(quick);
            reader.registerSettings(&settings);
            reader.registerScene(&scene);
            ASSERT_EQ(reader.parseText(text), c.ok) << label;
            if (!c.ok) {
                EXPECT_TRUE(reader.errorText().startsWith(
                    "Fatal error: <renderSettings> has no property \"lighttraveltime\" or "
                    "cannot read"))
                    << label << ": " << reader.errorText().toStdString();
                EXPECT_TRUE(reader.errorText().contains("  line:4")) << label;
                continue;
            }
            EXPECT_EQ(settings.lightTravelTime, c.on) << label;
            EXPECT_EQ(settings.start.z, 3.0f) << label;
            EXPECT_EQ(settings.start.w, 0.0f) << label;  // 42.5 was a clock reading, not ours
            Loaded loaded;
            loaded.settings = settings;
            const QByteArray saved = save(loaded);
            EXPECT_EQ(saved.contains("    <lighttraveltime>1</lighttraveltime>\n"), c.on) << label;
            EXPECT_EQ(saved.contains("lighttraveltime"), c.on) << label;
            auto back = parse(saved);
            ASSERT_TRUE(back->ok) << label;
            EXPECT_EQ(back->settings.lightTravelTime, c.on) << label;
        }
    }
}

// The velocity of spheres, planes and cubes: read in both forms, written back only when it is not
// zero (files without it stay byte-identical), refused unless slower than light.
TEST(ReaderXml, VelocityIsOptionalAndSlowerThanLight) {
    struct Case {
        const char* item;
        const char* error;  // part of the message, or null when the file loads
        float vx;
    };
    const Case cases[] = {
        {"<sphere><velocity>0.5;0;0;0</velocity></sphere>", nullptr, 0.5f},
        {"<cube velocity=\"-0.25;0.5;0.5;0\"/>", nullptr, -0.25f},
        {"<plane><velocity>0.9;0;0.3;0</velocity></plane>", nullptr, 0.9f},
        {"<sphere/>", nullptr, 0.0f},
        {"<sphere><velocity>0.6;0.8;0;0</velocity></sphere>", "velocity must be slower than light", 0},
        {"<cube velocity=\"2;0;0;0\"/>", "velocity must be slower than light", 0},
        {"<plane><velocity>inf;0;0;0</velocity></plane>", "must be a finite number", 0},
        {"<movsphere><velocity>0.1;0;0;0</velocity></movsphere>", "no property", 0},
    };
    for (const Case& c : cases) {
        auto l = parse(QByteArray("<tavolinfile>") + c.item + "</tavolinfile>");
        if (c.error) {
            EXPECT_FALSE(l->ok) << c.item;
            EXPECT_TRUE(l->error.contains(c.error)) << c.item << ": " << l->error.toStdString();
            continue;
        }
        ASSERT_TRUE(l->ok) << c.item << ": " << l->error.toStdString();
        ASSERT_EQ(l->scene.objects.items.size(), 1u);
        EXPECT_EQ(l->scene.objects.items[0]->velocity.x, c.vx) << c.item;
        EXPECT_EQ(l->scene.objects.items[0]->isMoving(), c.vx != 0.0f) << c.item;
        const QByteArray saved = save(*l);
        EXPECT_EQ(saved.contains("<velocity>"), c.vx != 0.0f) << c.item;
        auto again = parse(saved);
        ASSERT_TRUE(again->ok);
        EXPECT_EQ(save(*again), saved) << c.item;
    }
}

// The starry-sky switch of the render settings: 0 or 1, off when absent, written only when on
// (files without it keep their bytes), refused otherwise; the same for both readers.
TEST(RenderSettingsStarrySky, ReadWrittenAndRefusedByBothReaders) {
    struct Case {
        const char* element;  // the property's text, or null for no element
        bool ok, on;
    };
    const Case cases[] = {{nullptr, true, false}, {"0", true, false}, {"1", true, true},
                          {" 1 ", true, true},    {"2", false, false}, {"on", false, false},
                          {"", false, false}};
    for (const Case& c : cases) {
        QByteArray text = "<tavolinfile>\n  <renderSettings>\n    <start>1;2;3;0</start>\n";
        if (c.element) text += QByteArray("    <starrysky>") + c.element + "</starrysky>\n";
        text += "  </renderSettings>\n</tavolinfile>\n";
        for (const bool quick : {false, true}) {
            const std::string label =
                std::string(c.element ? c.element : "(none)") + (quick ? " quick" : " full");
            RenderSettings settings;
            SceneData scene;
            Reader::ReaderXml reader;
            reader.setQuickReading(quick);
            reader.registerSettings(&settings);
            reader.registerScene(&scene);
            ASSERT_EQ(reader.parseText(text), c.ok) << label;
            if (!c.ok) {
                EXPECT_TRUE(reader.errorText().contains("\"starrysky\"")) << label;
                continue;
            }
            EXPECT_EQ(settings.starrySky, c.on) << label;
            Loaded loaded;
            loaded.settings = settings;
            const QByteArray saved = save(loaded);
            EXPECT_EQ(saved.contains("    <starrysky>1</starrysky>\n"), c.on) << label;
            EXPECT_EQ(saved.contains("starrysky"), c.on) << label;
            EXPECT_EQ(parse(saved)->settings.starrySky, c.on) << label;
        }
    }
}
