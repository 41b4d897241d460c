// Hostile scene files: each is loaded and rendered or refused with a short message; none
// crashes, hangs, reads a file it shouldn't, or touches the current scene when refused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>

#include "accel/kdtree.h"
#include "engine/docrt.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"
#include "tests/engine/doctesthelpers.h"

using namespace doctest;

namespace {

constexpr int kMaxMessage = 600;  // the message box must stay readable
const QByteArray kTexture =
    "<newtexturesingle><texname>t</texname><color>default</color></newtexturesingle>";

QString hostile(const char* name) { return dataFile("hostile/") + name; }

// The number of pixels a picture of the document leaves unwritten.
int renderStale(DocRT& doc, int bundle, bool bending) {
    RenderSettings settings = *doc.getSettings();
    settings.maxBundleSize = bundle;
    settings.lightBending = bending;
    settings.speed = bending ? 0.0f : 0.7f;
    const std::vector<uint32_t> p = trace(doc, settings, 9, 7);
    return int(std::count(p.begin(), p.end(), kStale));
}

// A document holding the eight-sphere scene, the "current scene" a refused file must not touch.
struct Current {
    TraceOutputOff quiet;
    ErrorCapture errors;
    DocRT doc;
    std::vector<rtObjBase*> objects;
    Current() {
        load(doc, dataFile("spheres8.tavolin"));
        objects = doc.getSceneData()->objects.items;
    }
    // A refusal says why under the file's name and keeps scene and observer; a load applies
    // and renders at every packet size, bent and straight. Returns whether the file loaded.
    bool loadOrRefuse(const QString& path) {
        const int reported = errors.texts.size();
        const Vec4f position = doc.position();
        if (!doc.loadFile(path)) {
            EXPECT_EQ(errors.texts.size(), reported + 1) << path.toStdString();
            if (errors.texts.size() > reported) {
                EXPECT_EQ(errors.titles.last(), "Error reading file " + path);
                EXPECT_FALSE(errors.texts.last().isEmpty());
                EXPECT_LE(errors.texts.last().size(), kMaxMessage);
            }
            EXPECT_FALSE(doc.applyPendingChanges());
            EXPECT_EQ(doc.getSceneData()->objects.items, objects) << path.toStdString();
            EXPECT_EQ(doc.position().z, position.z);
            EXPECT_EQ(renderStale(doc, 4, false), 0);
            return false;
        }
        EXPECT_TRUE(doc.applyPendingChanges());
        EXPECT_TRUE(doc.getTree()->hasNodes());
        for (int bundle : {1, 2, 4})
            for (bool bending : {false, true})
                EXPECT_EQ(renderStale(doc, bundle, bending), 0) << bundle << " " << bending;
        objects = doc.getSceneData()->objects.items;
        return true;
    }
};

QByteArray inFile(const QByteArray& items) { return "<tavolinfile>" + items + "</tavolinfile>"; }

}  // namespace

// How each file's refusal begins (nullptr: it loads and renders; "": any short message), and
// the name of the one sphere some files hold.
TEST(HostileScene, EachFileLoadsOrIsRefusedWithItsMessage) {
    QTemporaryDir dir;
    const QString fifoImage = dir.filePath("pipe.png");  // would block if read
    ASSERT_EQ(mkfifo(QFile::encodeName(fifoImage).constData(), 0600), 0);
    const char* nested = "Fatal error: elements are nested more than 64 deep  line:";
    QByteArray deep64 = "<sphere><texname>t</texname><name>";  // the name opens level 3
    for (int level = 4; level <= 64; ++level) deep64 += "<name>";
    for (int level = 4; level <= 64; ++level) deep64 += "</name>";
    const QByteArray tenMb(10 * 1024 * 1024, 'n');
    const auto image = [&](const QString& path) {
        return inFile("<newtextureimage><texname>i</texname><colr>default</colr><colg>default"
                      "</colg><colb>default</colb><imagefilename>" + path.toUtf8() +
                      "</imagefilename></newtextureimage><plane><pos>-2;-2;-3;0</pos>"
                      "<texname>i</texname></plane>");
    };
    const auto observer = [](const char* lookat, const char* dirx, const char* diry) {
        return inFile(QByteArray("<renderSettings><lookat>") + lookat + "</lookat><dirx>" + dirx +
                      "</dirx><diry>" + diry + "</diry></renderSettings><sphere><center>0;0;-4;0"
                      "</center><texname>t</texname></sphere>" + kTexture);
    };
    const struct {
        QString path;
        const char* refusal;
        QString name = QString();  // the loaded object's name, where one is checked
    } cases[] = {
        // Refused where the 65th level opens (a few MB of such tags once took hundreds of MB).
        {hostile("deep-property.tavolin"), nested},
        {hostile("deep-items.tavolin"), nested},
        {writeFile(dir, "deep64.tavolin", inFile(deep64 + "</name></sphere>" + kTexture)), nullptr},
        {"/dev/zero", "Could not read %1: not a regular file"},
        // Huge texts are named shortened; a huge name loads whole; UTF-16 files load.
        {writeFile(dir, "tag.tavolin", inFile("<" + tenMb + "/>")), ""},
        {writeFile(
             dir, "name.tavolin",
             inFile("<sphere><texname>t</texname><name>" + tenMb + "</name></sphere>" + kTexture)),
         nullptr, QString(tenMb)},
        {hostile("utf16le-bom.tavolin"), nullptr, QString::fromUtf8("kugel\xc3\xa4")},
        {hostile("billion-laughs.tavolin"), ""},
        {hostile("external-entity.tavolin"), ""},
        {hostile("external-dtd.tavolin"), nullptr, "a"},  // the DTD is never read
        {hostile("non-utf8.tavolin"), ""},
        {hostile("degenerate.tavolin"), ""},
        {hostile("no-texture.tavolin"),
         "The scene has 1 object(s) but no texture to draw them with."},
        {hostile("nonfinite.tavolin"),  // refused at its first NaN
         "Fatal error: <renderSettings> bhpos must be a finite number, not \"nan;inf;-inf;0\"  "
         "line:3  column:33"},
        // Image textures read only regular files; a missing picture draws the colours.
        {writeFile(dir, "fifo.tavolin", image(fifoImage)), nullptr},
        {writeFile(dir, "o1.tavolin", observer("0;0;0;0", "1;0;0;0", "0;1;0;0")),
         "Fatal error: the observer's direction lookat has zero length  line:1  column:"},
        {writeFile(dir, "o3.tavolin", observer("0;0;-1;0", "1;0;0;0", "2;0;0;0")),
         "Fatal error: the observer's directions dirx and diry are parallel  line:1  column:"},
    };
    Current current;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.left(200).toStdString());
        EXPECT_EQ(current.loadOrRefuse(c.path), c.refusal == nullptr);
        if (c.refusal && *c.refusal) {
            const QString& error = current.errors.texts.last();
            EXPECT_TRUE(error.startsWith(QString(c.refusal).replace("%1", c.path)))
                << error.toStdString();
        }
        if (!c.name.isEmpty()) {
            ASSERT_EQ(current.objects.size(), 1u);
            EXPECT_EQ(current.objects[0]->name, c.name);
        }
    }
    // Directions of any length are directions: the unit ones' picture, Doppler colours included.
    std::vector<uint32_t> pictures[2];
    for (const int k : {1, 3}) {
        DocRT doc;
        load(doc, writeFile(dir, "o.tavolin",
                            observer(k == 1 ? "0;0;-1;0" : "0;0;-3;0",
                                     k == 1 ? "1;0;0;0" : "2;0;0;0", "0;1;0;0")));
        doc.getSettings()->speed = 0.5f;
        pictures[k / 3] = trace(doc, *doc.getSettings(), 16, 12);
    }
    EXPECT_EQ(pictures[0], pictures[1]);
}
