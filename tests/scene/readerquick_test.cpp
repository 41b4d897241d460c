// The quick reading of plain scene files against the full XML parser: for every file the two
// must agree on success, on the error message (with its line and column) and on the scene as
// it is saved again. The cases sit on the quick reading's edges: numbers it parses itself or
// hands on, blanks, attributes, self-closing tags, malformed XML, refused values and limits.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTextStream>

#include "scene/readerxml.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"

namespace {

struct Outcome {
    bool ok = false;
    QString error;
    QByteArray saved;
};

Outcome read(const QByteArray& text, bool quick) {
    RenderSettings settings;
    SceneData scene;
    Outcome out;
    {
        Reader::ReaderXml reader;
        reader.setQuickReading(quick);
        reader.registerSettings(&settings);
        reader.registerScene(&scene);
        out.ok = reader.parseText(text);
        out.error = reader.errorText();
    }
    if (out.ok) {
        Reader::ReaderXml writer;
        writer.registerSettings(&settings);
        writer.registerScene(&scene);
        QTextStream stream(&out.saved, QIODevice::WriteOnly);
        writer.write(stream);
    }
    return out;
}

void expectSame(const QByteArray& text, const std::string& label) {
    const Outcome full = read(text, false);
    const Outcome quick = read(text, true);
    EXPECT_EQ(quick.ok, full.ok) << label;
    EXPECT_EQ(quick.error.toStdString(), full.error.toStdString()) << label;
    EXPECT_EQ(quick.saved.toStdString(), full.saved.toStdString()) << label;
}

const char* const kTexture = "<newtexturesingle texname=\"t\"/>";

TEST(QuickReading, AgreesWithTheFullParserOnEdgeCases) {
    const std::vector<std::string> items = {
        // numbers: plain, signed, exponents, blanks, and texts only the element can judge
        "<sphere center=\"1;-2.5;3e2;0\" radius=\".5\"/>",
        "<sphere center=\"&lt;1;2;3;0>\" radius=\"5.\"/>",
        "<sphere center=\"<1;2;3;0\"/>",
        "<sphere center=\"1;2;3;0>\" radius=\"+1\"/>",
        "<sphere center=\"1; 2 ;3;0\" radius=\" 0.25 \"/>",
        "<sphere center=\"1;2;3\" radius=\"1\"/>",
        "<sphere center=\"1;2;3;0;5\"/>",
        "<sphere center=\"1;2;x;0\"/>",
        "<sphere radius=\"1e39\"/>",
        "<sphere center=\"1e-50;0;0;0\"/>",
        "<sphere center=\"3.4028236e38;0;0;0\"/>",
        "<movsphere tmin=\"1e-50\" tmax=\"1e39\"/>",
        "<sphere center=\"1;2;3;0>>\"/>",
        "<sphere center=\"1;2;3;1e\"/>",
        "<sphere radius=\"1e-50\"/>",
        "<sphere radius=\"1e-40\"/>",
        "<sphere radius=\"3.4028236e38\"/>",
        "<sphere radius=\"0\"/>",
        "<sphere radius=\"-0\"/>",
        "<sphere radius=\"-1\"/>",
        "<sphere radius=\"1-2\"/>",
        "<sphere radius=\"inf\"/>",
        "<sphere radius=\"\"/>",
        "<movsphere tmin=\"-inf\" tmax=\"inf\" mov=\"0.1;0;0;0\"/>",
        // velocities: optional, slower than light, of every body kind
        "<sphere velocity=\"0.3;-0.4;0.5;0\"/>",
        "<sphere velocity=\"0.6;0.8;0;0\"/>",
        "<sphere><velocity>1;0;0;0</velocity></sphere>",
        "<cube velocity=\"0;0;-0.99;0\"/>",
        "<plane><velocity>0;0;0;0</velocity></plane>",
        "<plane velocity=\"nan;0;0;0\"/>",
        "<movsphere velocity=\"0.1;0;0;0\"/>",
        // element form, blanks and names
        "<sphere>\n  <name> a b\tc </name>\n  <radius>\n 2 </radius>\n</sphere>",
        "<sphere><name></name><texname>  </texname></sphere>",
        "<sphere name=\"n\" texname=\"t\"><center>0;0;1;0</center></sphere>",
        "<sphere><center>1;2;3;0</center><center>4;5;6;0</center></sphere>",
        "<sphere/><sphere></sphere><cube/><plane/>",
        // edges of cubes and planes
        "<cube x=\"0;0;0;0\"/>",
        "<cube x=\"1;0;0;0\" y=\"2;0;0;0\"/>",
        "<cube x=\"1;0;0;0\" y=\"0;1;0;0\" z=\"1;1;0;0\"/>",
        "<cube pos=\"1;2;3;0\" x=\"1;0.1;0;0\" y=\"0;1;0;0\" z=\"0;0.2;1;0\" sx=\"2\"/>",
        "<plane x=\"1;0;0;0\" y=\"1;0;0;0\"/>",
        "<plane><x>0;1;0;0</x><y>0;0;1;0</y></plane>",
        // unknown names, attributes on properties, malformed and unusual XML
        "<sphere colour=\"1\"/>",
        "<sphere><radius a=\"1\">1</radius></sphere>",
        "<sphere><center><x/>1</center></sphere>",
        "<ball/>",
        "<sphere radius=\"1\" radius=\"2\"/>",
        "<sphere radius='2'/>",
        "<sphere radius=\"1\"texname=\"t\"/>",
        "<sphere><radius>1</radiu></sphere>",
        "<sphere><!-- c --><radius>1</radius></sphere>",
        "<sphere><radius>1&#x35;</radius></sphere>",
        "<sphere><name>a]]>b</name></sphere>",
        "<sphere><name>\xc3\xa9</name></sphere>",
        "<sphere><name>a\r\nb</name></sphere>",
        "<sphere name=\"a\tb\"/>",
        "<tavolinfile/>",
        "</sphere>",
        "<sphere>",
        "<renderSettings lookat=\"0;0;0;0\"/>",
        "<renderSettings><start>1;2;3;0</start></renderSettings>",
        "<renderSettings><lighttraveltime>1</lighttraveltime></renderSettings>",
        "<renderSettings lighttraveltime=\"0\"><start>1;2;3;9</start></renderSettings>",
        "<renderSettings lighttraveltime=\"2\"/>",
        "<renderSettings><lighttraveltime> true </lighttraveltime></renderSettings>",
        "<newcolor colname=\"c\"><wavelength>(500;1)(600;2)</wavelength></newcolor>",
    };
    for (const std::string& item : items) {
        const QByteArray body = QByteArray::fromStdString(item);
        expectSame("<tavolinfile>" + QByteArray(kTexture) + body + "</tavolinfile>", item);
        expectSame("<tavolinfile>\n  " + body + "\n</tavolinfile>\n", "no texture: " + item);
    }
    // Around the root: text before it, a second root, trailing text, nothing at all.
    for (const char* text :
         {"x<tavolinfile/>", " <tavolinfile/>", "<tavolinfile/><tavolinfile/>",
          "<tavolinfile/>\n\n", "<tavolinfile/>x", "", "<?xml version=\"1.0\"?><tavolinfile/>",
          "<tavolinfile>text<sphere/>more</tavolinfile>"})
        expectSame(text, text);
}

TEST(QuickReading, AgreesWithTheFullParserOnEveryStoredScene) {
    const QString source = QStringLiteral(TAVOLIN_SOURCE_DIR);
    int files = 0;
    for (const QString& folder : {source + "/tests/data", source + "/tests/data/hostile",
                                  source + "/fuzz/corpus/scenefile",
                                  source + "/fuzz/corpus/docload",
                                  source + "/fuzz/corpus/sceneroundtrip"}) {
        for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files)) {
            QFile file(info.filePath());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            expectSame(file.readAll(), info.filePath().toStdString());
            ++files;
        }
    }
    EXPECT_GT(files, 20);
}

TEST(QuickReading, DepthPastTheLimitGivesTheFullParsersMessage) {
    QByteArray deep = "<tavolinfile><sphere>";
    for (int i = 0; i < Reader::ReaderXml::kMaxDepth; ++i) deep += "<a>";
    expectSame(deep, "deep");
}

}  // namespace
