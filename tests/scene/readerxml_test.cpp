// Scene files: the quick reading against the full parser, byte-identical round trips of every
// stored scene, tables of accepted and refused items read alike by both readers, the limits.
#include "scene/readerxml.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <sstream>

#include "scene/rendersettings.h"
#include "scene/rtobjdisk.h"
#include "scene/scenedata.h"

namespace {

// A scene file read by one of the readers, and written back.
struct Loaded {
    RenderSettings settings;
    SceneData scene;
    bool ok = false;
    QString error;

    Loaded() = default;
    explicit Loaded(const QByteArray& text, bool quick = false) {
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

void expectSameFromBothReaders(const QByteArray& text, const std::string& label) {
    Loaded full(text, false), quick(text, true);
    EXPECT_EQ(quick.ok, full.ok) << label;
    EXPECT_EQ(quick.error.toStdString(), full.error.toStdString()) << label;
    if (full.ok && quick.ok) {
        EXPECT_EQ(quick.save().toStdString(), full.save().toStdString()) << label;
    }
}

QByteArray wrapped(const char* item) {
    return QByteArray("<tavolinfile>\n") + item + "\n</tavolinfile>\n";
}

}  // namespace

// Edges of the quick reading's own work: numbers (sign, blanks, exponents, float range), vectors,
// velocities, element and attribute forms, names, edges of cubes and planes, unknown names, the
// settings' observer, and the depth limit. XML it leaves to the parser: tests/scene/xmlscan.
TEST(QuickReading, AgreesWithTheFullParserOnEdgeCases) {
    std::vector<std::string> items = {
        "<sphere center=\"1;2;3;0>\" radius=\"+1\"/>",
        "<sphere center=\"1; 2 ;3;0\" radius=\" 0.25 \"/>",
        "<movsphere tmin=\"-inf\" tmax=\"inf\" mov=\"0.1;0;0;0\"/>",
        "<sphere><velocity>1;0;0;0</velocity></sphere>",
        "<sphere>\n  <name> a b\tc </name>\n  <radius>\n 2 </radius>\n</sphere>",
        // Names given, then emptied: the last word counts, a blank one too.
        "<cube><name>a</name><name> </name><texxy>t</texxy><texxy></texxy><texyz/></cube>",
        "<newtexturesingle><texname>t</texname><color>c</color><color></color></newtexturesingle>",
        "<cube pos=\"1;2;3;0\" x=\"1;0.1;0;0\" y=\"0;1;0;0\" z=\"0;0.2;1;0\" sx=\"2\"/>",
        "<sphere><radius a=\"1\">1</radius></sphere>",
        "<renderSettings lighttraveltime=\"0\"><start>1;2;3;9</start></renderSettings>",
        "<newcolor colname=\"c\"><wavelength>(500;1)(600;2)</wavelength></newcolor>"};
    for (const char* item :
         {"<movsphere tmin=\"1e-50\" tmax=\"1e39\"/>", "<plane velocity=\"nan;0;0;0\"/>",
          "<movsphere velocity=\"0.1;0;0;0\"/>", "<cube x=\"0;0;0;0\"/>",
          "<cube x=\"1;0;0;0\" y=\"2;0;0;0\"/>", "<newdisk rout=\"0\"/>", "<sphere colour=\"1\"/>",
          "<sphere><center><x/>1</center></sphere>", "<ball/>", "</sphere>", "<sphere>",
          "<renderSettings lookat=\"0;0;0;0\"/>"})
        items.push_back(item);
    for (const char* radius : {".5", "1e39", "1e-50", "3.4028236e38", "0", "-0", "1-2", "inf", ""})
        items.push_back(std::string("<sphere radius=\"") + radius + "\"/>");
    for (const char* center : {"1;-2.5;3e2;0", "<1;2;3;0", "1;2;3", "1;2;3;0;5", "1;2;x;0",
                               "1e-50;0;0;0", "1;2;3;0>>", "0.6;0.8;0;0"})
        items.push_back(std::string("<sphere center=\"") + center + "\" velocity=\"" + center +
                        "\"/>");
    for (const std::string& item : items) expectSameFromBothReaders(wrapped(item.c_str()), item);
    QByteArray deep = "<tavolinfile><sphere>";
    for (int i = 0; i < Reader::ReaderXml::kMaxDepth; ++i) deep += "<a>";
    for (const char* text : {"<tavolinfile/><tavolinfile/>", "<tavolinfile/>x", "",
                             "<tavolinfile>text<sphere/>more</tavolinfile>", deep.constData()})
        expectSameFromBothReaders(text, text);
}

// Every stored scene (bench scenes, the shipped ones, hostile files, fuzzing seeds): both readers
// agree, and one that loads saves, loads and saves again into the same bytes.
TEST(ReaderXml, EveryStoredSceneReadsAlikeAndSavesByteIdentically) {
    const QString source = QStringLiteral(TAVOLIN_SOURCE_DIR);
    int files = 0, loaded = 0;
    for (const QString& folder :
         {source + "/tests/data", source + "/tests/data/hostile", source + "/resources/scenes",
          source + "/fuzz/corpus/scenefile", source + "/fuzz/corpus/docload",
          source + "/fuzz/corpus/sceneroundtrip"}) {
        for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files)) {
            if (info.suffix() == "py" || info.suffix() == "txt") continue;
            QFile file(info.filePath());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray text = file.readAll();
            const std::string label = info.filePath().toStdString();
            expectSameFromBothReaders(text, label);
            ++files;
            Loaded first(text);
            if (!first.ok) continue;
            ++loaded;
            const QByteArray saved = first.save();
            Loaded second(saved);
            ASSERT_TRUE(second.ok) << label << ": " << second.error.toStdString();
            EXPECT_EQ(second.save(), saved) << label;
        }
    }
    EXPECT_GT(files, 30);
    EXPECT_GT(loaded, 10);
}

namespace {

// What a row reads: the first object's disk sizes or velocity, else the render settings' light
// travel time, start (a clock reading, never the observer's time), sky and eye.
std::string values(const Loaded& l) {
    std::ostringstream out;
    const RenderSettings& s = l.settings;
    if (l.scene.objects.items.empty()) {
        out << s.lightTravelTime << ' ' << s.start.z << ' ' << s.start.w << ' ' << s.starrySky
            << ' ' << int(s.eye.kind) << ' ' << s.eye.channel[0].lo << ' ' << s.eye.channel[2].hi;
    } else if (const auto* disk = dynamic_cast<const rtObjDisk*>(l.scene.objects.items[0])) {
        out << "disk " << disk->rout << ' ' << disk->rin << ' ' << disk->tmax;
    } else {
        out << "v " << l.scene.objects.items[0]->velocity().x << ' '
            << l.scene.objects.items[0]->isMoving();
    }
    return out.str();
}

}  // namespace

// What both readers accept: the values, the same file written by both, a property written back
// only when set, and the same bytes once saved, loaded and saved again.
TEST(ReaderXml, AcceptedItemsReadAndWriteBackAlike) {
    const std::string ltt = "<renderSettings><start>1;2;3;42.5</start>";
    const std::string cie = "0 0 0 0 1 " + std::to_string(int(cieHumanEye().channel[0].lo)) + " " +
                            std::to_string(int(cieHumanEye().channel[2].hi));
    const struct {
        std::string item, want;
        const char* written;  // in the saved file exactly when present is true
        bool present;
    } cases[] = {
        {"<newdisk/>", "disk 1 0 10000", "<rin>", false},
        {"<newdisk rout=\"20\" rin=\"4\" tmax=\"6000\"/>", "disk 20 4 6000", "<rin>", true},
        {"<cube><velocity>-0.25;0.5;0.5;0</velocity></cube>", "v -0.25 1", "<velocity>", true},
        {"<sphere/>", "v 0 0", "<velocity>", false},
        {ltt + "</renderSettings>", "0 3 0 0 0 500 880", "lighttraveltime", false},
        {ltt + "<lighttraveltime>0</lighttraveltime><starrysky>0</starrysky></renderSettings>",
         "0 3 0 0 0 500 880", "starrysky", false},
        {ltt + "<lighttraveltime> 1\n </lighttraveltime></renderSettings>", "1 3 0 0 0 500 880",
         "    <lighttraveltime>1</lighttraveltime>\n", true},
        {"<renderSettings><starrysky> 1 </starrysky></renderSettings>", "0 0 0 1 0 500 880",
         "    <starrysky>1</starrysky>\n", true},
        // The CIE eye by its name; the curves by their nine wavelengths, red first.
        {"<renderSettings><eye>cie1931</eye></renderSettings>", cie, "    <eye>", true},
        {"<renderSettings><eye> 400;500;600; 500;600;700 ;600;700;810.25\n </eye></renderSettings>",
         "0 0 0 0 0 400 810.25", "</eye>\n  </renderSettings>\n", true},
    };
    for (const auto& c : cases) {
        QByteArray savedBy[2];
        for (const bool quick : {false, true}) {
            SCOPED_TRACE(c.item + (quick ? " quick" : " full"));
            Loaded l(wrapped(c.item.c_str()), quick);
            ASSERT_TRUE(l.ok) << l.error.toStdString();
            EXPECT_EQ(values(l), c.want);
            savedBy[quick] = l.save();
            EXPECT_EQ(savedBy[quick].contains(c.written), c.present);
            Loaded again(savedBy[quick]);
            ASSERT_TRUE(again.ok);
            EXPECT_EQ(values(again), c.want);
            EXPECT_EQ(again.save(), savedBy[quick]);
        }
        EXPECT_EQ(savedBy[0], savedBy[1]) << c.item;
    }
    EXPECT_FALSE(Loaded().save().contains("<eye>"));  // the default eye is not written
}

// What both readers refuse, one row per message, with the item's line; a refused eye leaves the
// settings' eye alone. Broken XML and entity declarations name a line too.
TEST(ReaderXml, RefusedItemsNameTheirProblemAndLine) {
    std::vector<std::pair<std::string, const char*>> cases = {
        {"<plane><foo>1</foo></plane>", "<plane> has no property \"foo\" or cannot read \"1\""},
        {"<sphere><center>1;2;3</center></sphere>", "center"},
        {"<newcolor><wavelength>(600;1;2)</wavelength></newcolor>", "wavelength"},
        {"<newdisk><rout>5</rout><rin>5</rin></newdisk>", "rout (5) must be greater than rin (5)"},
        {"<newdisk><rin>-1</rin></newdisk>", "rin must be 0"},
        {"<newdisk rout=\"-2\"/>", "rout must be greater than 0"},
        {"<newdisk><normal>0;0;0;1</normal></newdisk>", "normal must not have zero length"},
        {"<newdisk><tmax>inf</tmax></newdisk>", "must be a finite number"},
        {"<newdisk><tmax>100</tmax></newdisk>", "tmax must be a temperature from 300"},
        {"<newdisk><velocity>0.1;0;0;0</velocity></newdisk>", "no property"},
        {"<sphere><velocity>0.6;0.8;0;0</velocity></sphere>", "velocity must be slower than light"},
        {"<renderSettings><lighttraveltime>2</lighttraveltime></renderSettings>",
         "Fatal error: <renderSettings> has no property \"lighttraveltime\" or cannot read"},
        {"<renderSettings><lighttraveltime>01</lighttraveltime></renderSettings>",
         "\"lighttraveltime\""},
        {"<renderSettings><starrysky>on</starrysky></renderSettings>", "\"starrysky\""},
        {"<ball/>", "unknown element <ball>"},
        {"<sphere radius=\"-1\"/>", "radius must be greater than 0, not \"-1\""},
        {"<sphere><radius>0</radius></sphere>", "radius must be greater than 0"},
        {"<cube sz=\"-0.5\"/>", "sz must be greater than 0"},
        {"<plane sx=\"0\"/>", "sx must be greater than 0"},
        {"<plane x=\"2;0;0;0\" y=\"-4;0;1e-7;0\"/>", "<plane> edges x and y are parallel"},
        {"<cube x=\"1;0;0;0\" y=\"0;1;0;0\" z=\"1;1;0;0\"/>", "edges x, y and z lie in one plane"},
        // Parallel only as saved, with six digits: accepted, it would not load from its own file.
        {"<cube><y>1;1;0;0</y><z>1;1.000004;0;0</z></cube>", "<cube> edges y and z are parallel"},
        {"<renderSettings bhradius=\"-1\"/>", "bhradius must be greater than 0"},
        {"<renderSettings lookat=\"0;0;0;0\"/>", "the observer's direction lookat has zero length"},
        {"<renderSettings><lookat>0;1;0;0</lookat><diry>0;2;0;0</diry></renderSettings>",
         "the observer's directions lookat and diry are parallel"},
    };
    for (const char* eye :
         {"cie", "400;500;600;500;600;700;600;700", "400;500;600;500;500;700;600;700;800",
          "400;500;600;500;600;700;600;900;800", "400;500;inf;500;600;700;600;700;800"})
        cases.emplace_back(std::string("<renderSettings><eye>") + eye + "</eye></renderSettings>",
                           "\"eye\"");
    for (const auto& [item, error] : cases) {
        for (const bool quick : {false, true}) {
            SCOPED_TRACE(item + (quick ? " quick" : " full"));
            Loaded l(wrapped(item.c_str()), quick);
            ASSERT_FALSE(l.ok);
            EXPECT_TRUE(l.error.startsWith("Fatal error: ")) << l.error.toStdString();
            EXPECT_TRUE(l.error.contains(QLatin1String(error))) << l.error.toStdString();
            EXPECT_TRUE(l.error.contains("  line:2")) << l.error.toStdString();
            EXPECT_EQ(l.settings.eye, defaultEye());
        }
    }
    // Declared entities could expand a small file into gigabytes; the writer declares none.
    for (const char* text : {"<tavolinfile><sphere><radius>1</radius>", "", "\x01\x02\x03 b",
                             "<!DOCTYPE tavolinfile [<!ENTITY a \"x\">]><tavolinfile/>"}) {
        Loaded l(text);
        EXPECT_FALSE(l.ok) << text;
        EXPECT_TRUE(l.error.startsWith("Fatal error: ")) << l.error.toStdString();
        EXPECT_TRUE(l.error.contains("  line:")) << l.error.toStdString();
        EXPECT_EQ(l.error.contains("entity declarations are not supported"),
                  text[0] == '<' && text[1] == '!');
    }
}

// Objects, other items and a colour's lines up to the limits load; one more is refused with the
// limit named, by the quick reading and the full one alike. A scene read at the object limit
// reads back from the text the program writes of it, which adds the settings block and the
// default colour and texture.
TEST(ReaderXml, ItemsAndColourLinesPastTheLimitsAreRefused) {
    constexpr int kMax = Reader::ReaderXml::kMaxItems;
    const auto repeated = [](const QByteArray& item, int n) {
        QByteArray text;
        text.reserve(item.size() * n);
        for (int i = 0; i < n; ++i) text += item;
        return text;
    };
    const QByteArray spheres = repeated("<sphere/>\n", kMax);
    const QByteArray lights = repeated("<light/>\n", kMax);
    const struct {
        QByteArray body;
        const char* error;  // empty: loads
    } cases[] = {
        {"<newtexturesingle><texname>t</texname></newtexturesingle>\n" + spheres +
             "<renderSettings/>\n<renderSettings/>\n",
         ""},
        {spheres + "<movsphere/>\n",
         "Fatal error: the file has more than 1000000 objects  line:1000002  column:12"},
        {lights + "<newcolor/>\n",
         "Fatal error: the file has more than 1000000 colours, textures and lights  "
         "line:1000002  column:11"},
    };
    // The quick reading counts as the full one does, and hands a refusal to it for the message.
    for (const auto& c : cases) {
        Loaded l("<tavolinfile>\n" + c.body + "</tavolinfile>\n", true);
        EXPECT_EQ(l.error.toStdString(), c.error);
        EXPECT_EQ(l.ok, *c.error == 0);
        if (!l.ok) continue;
        ASSERT_EQ(l.scene.objects.items.size(), size_t(kMax));
        Loaded again(l.save(), true);
        EXPECT_TRUE(again.ok) << again.error.toStdString();
        EXPECT_EQ(again.scene.objects.items.size(), size_t(kMax));
    }

    const auto colour = [](int lines) {
        QByteArray w;
        for (int i = 0; i < lines; ++i) w += "(" + QByteArray::number(300 + i * 0.5) + ";1)";
        return "<tavolinfile>\n<newcolor><colname>c</colname><wavelength>" + w +
               "</wavelength></newcolor></tavolinfile>";
    };
    Loaded linesAtLimit(colour(Reader::ReaderXml::kMaxColorLines));
    EXPECT_TRUE(linesAtLimit.ok) << linesAtLimit.error.toStdString();
    Loaded linesPast(colour(Reader::ReaderXml::kMaxColorLines + 1));
    EXPECT_TRUE(
        linesPast.error.startsWith("Fatal error: a colour may have at most 1000 spectral "
                                   "lines, <newcolor> has 1001  line:2  column:"));
}
