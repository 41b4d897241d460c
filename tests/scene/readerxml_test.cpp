// Scene files: reading by events with attributes as properties, defaults for empty blocks, errors
// with line and column, whitespace-free names, escaping, and byte-identical load/save cycles.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "scene/coldiscrete.h"
#include "scene/readerxml.h"
#include "scene/rendersettings.h"
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

}  // namespace

// Attributes are properties, an empty block gives the class's defaults, the block's end updates
// derived fields, and names lose their spaces.
TEST(ReaderXml, AttributesDefaultsAndNames) {
    auto l = parse(
        "<tavolinfile><sphere name=\"a\"><radius>2</radius></sphere><plane></plane><movsphere/>"
        "<sphere><name> big ball </name></sphere></tavolinfile>");
    ASSERT_TRUE(l->ok) << l->error.toStdString();
    const auto& items = l->scene.objects.items;
    ASSERT_EQ(items.size(), 4u);
    auto* s = dynamic_cast<rtObjSphere<1>*>(items[0]);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->name, "a");
    EXPECT_EQ(s->radius, 2.0f);
    EXPECT_EQ(s->radius2, 4.0f);
    auto* p = dynamic_cast<rtObjPlane*>(items[1]);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->x.x, 1.0f);
    EXPECT_EQ(p->y.y, 1.0f);
    EXPECT_EQ(p->sx, 5.0f);
    EXPECT_NE(dynamic_cast<rtObjSphere<0>*>(items[2]), nullptr);
    EXPECT_EQ(items[3]->name, "bigball");
}

TEST(ReaderXml, UnknownPropertyStopsWithLineAndColumn) {
    auto l = parse("<tavolinfile>\n  <plane>\n    <foo>1</foo>\n  </plane>\n</tavolinfile>\n");
    EXPECT_FALSE(l->ok);
    EXPECT_TRUE(l->error.startsWith("Fatal error: ")) << l->error.toStdString();
    EXPECT_TRUE(l->error.contains("foo")) << l->error.toStdString();
    EXPECT_TRUE(l->error.contains("  line:3  column:")) << l->error.toStdString();
}

TEST(ReaderXml, RefusesWhatItCannotRead) {
    const char* bad[] = {
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

TEST(ReaderXml, WritesTheBlockLayout) {
    auto l = parse("<tavolinfile><sphere><name>ball</name></sphere></tavolinfile>");
    ASSERT_TRUE(l->ok);
    const QString text = QString::fromUtf8(save(*l));
    const QStringList lines = text.split('\n');
    ASSERT_GE(lines.size(), 16);
    EXPECT_EQ(lines[0], "<tavolinfile>");
    EXPECT_EQ(lines[1], "  <renderSettings>");
    EXPECT_EQ(lines[2], "    <start>0;0;0;0</start>");
    EXPECT_EQ(lines[3], "    <lookat>0;0;1;-1</lookat>");
    EXPECT_EQ(lines[7], "    <bhradius>0.1</bhradius>");
    EXPECT_EQ(lines[8], "  </renderSettings>");
    EXPECT_EQ(lines[9], "  <sphere>");
    EXPECT_EQ(lines[10], "    <name>ball</name>");
    EXPECT_EQ(lines[11], "    <center>0;0;0;0</center>");
    EXPECT_EQ(lines[12], "    <radius>0.5</radius>");
    EXPECT_EQ(lines[13], "    <texname></texname>");
    EXPECT_EQ(lines[14], "  </sphere>");
    EXPECT_EQ(lines[15], "  <newcolor>");  // the default colour is written like any other
    EXPECT_TRUE(text.endsWith("</tavolinfile>\n"));
}

TEST(ReaderXml, EscapedNamesSurviveARoundTrip) {
    auto l = parse("<tavolinfile><sphere><name>a&lt;b&gt;&amp;c</name></sphere></tavolinfile>");
    ASSERT_TRUE(l->ok) << l->error.toStdString();
    EXPECT_EQ(l->scene.objects.items[0]->name, "a<b>&c");
    const QByteArray saved = save(*l);
    EXPECT_TRUE(saved.contains("<name>a&lt;b&gt;&amp;c</name>"));
    auto again = parse(saved);
    ASSERT_TRUE(again->ok) << again->error.toStdString();
    EXPECT_EQ(again->scene.objects.items[0]->name, "a<b>&c");
}

// Load, save, load, save: the two saved files are identical.
TEST(ReaderXml, SaveLoadSaveIsByteIdenticalForEveryBenchScene) {
    const QString files[] = {QStringLiteral(TAVOLIN_TEST_DATA "/spheres8.tavolin"),
                             QStringLiteral(TAVOLIN_TEST_DATA "/temple.tavolin"),
                             QStringLiteral(TAVOLIN_TEST_DATA "/sphere-grid.tavolin"),
                             QStringLiteral(TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge.tavolin")};
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
}

TEST(ReaderXml, EveryValueSurvivesARoundTripAtSixDigits) {
    auto l = parse(
        "<tavolinfile><renderSettings><start>1.5;-2.25;3e-05;0</start><bhradius>123457"
        "</bhradius></renderSettings><newcolor><wavelength>(600.5;1)(450;0.125)</wavelength>"
        "<colname>c</colname></newcolor></tavolinfile>");
    ASSERT_TRUE(l->ok) << l->error.toStdString();
    EXPECT_EQ(l->settings.start.z, 3e-05f);
    EXPECT_EQ(l->settings.bhradius, 123457.0f);
    auto again = parse(save(*l));
    ASSERT_TRUE(again->ok);
    EXPECT_EQ(again->settings.start.y, -2.25f);
    ASSERT_EQ(again->scene.colors.items.size(), 2u);
    EXPECT_EQ(again->scene.colors.items[1]->toSpectrumText(), "(600.5;1)(450;0.125)");
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
