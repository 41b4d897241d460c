// The document: loads apply only between frames, failed loads change nothing, the start
// position, the eye request and saving.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "engine/docrt.h"
#include "accel/kdtree.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"
#include "tests/engine/doctesthelpers.h"

using namespace doctest;

namespace {

const QByteArray kOneSphere =
    "<tavolinfile><renderSettings><start>1;2;3;0</start></renderSettings>"
    "<sphere><name>one</name><texname>t</texname></sphere>"
    "<newtexturesingle><texname>t</texname></newtexturesingle></tavolinfile>";
const QByteArray kTwoSpheres =
    "<tavolinfile><renderSettings><start>4;5;6;0</start></renderSettings>"
    "<sphere><name>a</name></sphere><sphere><name>b</name></sphere>"
    "<newtexturesingle><texname>t</texname></newtexturesingle></tavolinfile>";

}  // namespace

// Loads take effect at the next frame and the last good one wins; a failed load (bad, missing)
// says why and keeps the scene, the observer, the fly path and an earlier load still pending.
TEST(DocRT, LoadsApplyAtTheNextFrameAndFailedLoadsChangeNothing) {
    QTemporaryDir dir;
    ErrorCapture errors;
    DocRT doc;
    ASSERT_TRUE(doc.loadFile(writeFile(dir, "one.tavolin", kOneSphere)));
    doc.applyPendingChanges();
    EXPECT_FALSE(doc.applyPendingChanges());  // nothing new
    ASSERT_TRUE(doc.loadFile(writeFile(dir, "one.tavolin", kOneSphere)));
    ASSERT_TRUE(doc.loadFile(writeFile(dir, "two.tavolin", kTwoSpheres)));
    EXPECT_EQ(doc.getSceneData()->objects.items.size(), 1u);  // not before the frame
    const QString bad = writeFile(dir, "bad.tavolin", "<tavolinfile><plane><foo>1</foo>");
    EXPECT_FALSE(doc.loadFile(bad));
    EXPECT_FALSE(doc.loadFile(dir.filePath("missing.tavolin")));
    ASSERT_EQ(errors.titles.size(), 2);
    EXPECT_EQ(errors.titles[0], "Error reading file " + bad);
    EXPECT_TRUE(errors.texts[0].startsWith("Fatal error: "));
    EXPECT_TRUE(doc.applyPendingChanges());
    EXPECT_EQ(doc.getSceneData()->objects.items.size(), 2u);
    EXPECT_EQ(doc.position().y, 5.0f);

    doc.observerFrame().m[0][1] = 42.0f;
    doc.getRecorder().addPoint(FlyPathPoint());
    EXPECT_FALSE(doc.loadFile(bad));
    EXPECT_FALSE(doc.applyPendingChanges());
    EXPECT_EQ(doc.getSceneData()->objects.items.size(), 2u);
    EXPECT_EQ(doc.getSettings()->start.x, 42.0f);
    EXPECT_EQ(doc.getRecorder().pointCount(), 1);
}

// The start position returns once after flying (keeping the speed); recording adds a point per
// frame; taking over a new scene clears the fly path.
TEST(DocRT, StartPositionAndRecordingFollowTheFrames) {
    QTemporaryDir dir;
    DocRT doc;
    ASSERT_TRUE(doc.loadFile(writeFile(dir, "one.tavolin", kOneSphere)));
    doc.applyPendingChanges();
    doc.observerFrame().m[0][1] = 100.0f;
    doc.observerFrame().m[3][3] = -1.0f;
    doc.getSettings()->speed = 0.5f;
    doc.loadStartPosition();
    doc.applyPendingChanges();
    EXPECT_EQ(doc.getSettings()->start.x, 1.0f);
    EXPECT_EQ(doc.getSettings()->lookat.z, 1.0f);
    EXPECT_EQ(doc.getSettings()->speed, 0.5f);
    doc.observerFrame().m[0][1] = 7.0f;  // flying on from there is not undone
    doc.getRecorder().record(doc.clockMs(), 0.0);
    for (int i = 0; i < 3; ++i) doc.applyPendingChanges();
    EXPECT_EQ(doc.getSettings()->start.x, 7.0f);
    EXPECT_EQ(doc.getRecorder().pointCount(), 3);
    doc.requestBuiltInScene();
    doc.applyPendingChanges();
    EXPECT_EQ(doc.getRecorder().pointCount(), 0);
}

TEST(DocRT, EyeBackgroundAndBundleSizeChangeOnlyAtTheNextFrame) {
    DocRT doc;  // nothing requested yet: the settings' own packet size stands
    doc.getSettings()->maxBundleSize = 1;
    EXPECT_EQ(doc.maxBundleSize(), 1);
    const Eye humans = eyePresets()[3].eye;
    doc.setEye(humans);
    const uint8_t red[4] = {255, 0, 0, 255};
    doc.setBackground(red);
    doc.setMaxBundleSize(4);
    EXPECT_NE(doc.getSettings()->eye, humans);
    uint8_t pending[4];
    doc.background(pending);
    EXPECT_EQ(pending[0], 255);  // the dialog sees the pending value
    EXPECT_EQ(doc.maxBundleSize(), 4);
    EXPECT_EQ(doc.getSettings()->maxBundleSize, 1);
    doc.applyPendingChanges();
    EXPECT_EQ(doc.getSettings()->eye, humans);
    EXPECT_EQ(doc.getSettings()->background[0], 255);
    EXPECT_EQ(doc.getSettings()->maxBundleSize, 4);
}

TEST(DocRT, SavedSceneLoadsBackWithItsObserver) {
    QTemporaryDir dir;
    DocRT doc, other;
    doc.requestBuiltInScene();
    doc.applyPendingChanges();
    QString error;
    EXPECT_FALSE(doc.saveFile(dir.filePath("no/such/folder/x.tavolin"), &error));
    EXPECT_TRUE(error.contains("no/such/folder/x.tavolin: No such file or directory"))
        << error.toStdString();
    ASSERT_TRUE(doc.saveFile(dir.filePath("saved.tavolin")));
    ASSERT_TRUE(other.loadFile(dir.filePath("saved.tavolin")));
    other.applyPendingChanges();
    EXPECT_EQ(other.getSceneData()->objects.items.size(), 8u);
    EXPECT_EQ(other.getSettings()->start.z, doc.getSettings()->start.z);
    EXPECT_EQ(other.getSettings()->bhradius, 1.0f);
}

// Names that are not defined, or defined twice, still render (the first texture or colour stands
// in) but are announced, once each, naming the name and who uses it.
TEST(DocRT, UndefinedAndDuplicateNamesAreWarnedAbout) {
    const QByteArray textures =
        "<newtexturesingle><texname>t</texname><color>red</color></newtexturesingle>"
        "<newcolor><colname>red</colname><wavelength>(600;1)</wavelength></newcolor>";
    const struct {
        QByteArray items;
        QStringList warnings;
    } cases[] = {
        {"<sphere><name>a</name><texname>t</texname></sphere>", {}},
        {"<sphere><name>a</name><texname>tt</texname></sphere>"
         "<sphere><name>b</name><texname>tt</texname></sphere>",
         {"The texture \"tt\" (used by the object \"a\") is not defined; the first texture "
          "\"t\" is drawn instead"}},
        {"<cube><name>c</name><texxy>t</texxy><texyz>t</texyz><texzx>side</texzx></cube>",
         {"The texture \"side\" (used by the object \"c\") is not defined; the first texture "
          "\"t\" is drawn instead"}},
        {"<newtexturesingle><texname>u</texname><color>blue</color></newtexturesingle>",
         {"The colour \"blue\" (used by the texture \"u\") is not defined; the colour "
          "\"default\" is drawn instead"}},
        {"<newtexturesingle><texname>t</texname><color>red</color></newtexturesingle>"
         "<newcolor><colname>red</colname></newcolor><newcolor><colname>red</colname></newcolor>",
         {"The colour \"red\" is defined more than once; only the first is used",
          "The texture \"t\" is defined more than once; only the first is used"}},
    };
    QTemporaryDir dir;
    DocRT doc;
    for (const auto& c : cases) {
        QStringList announced;
        const auto connection = QObject::connect(
            &doc, &DocRT::sceneWarnings,
            [&announced](const QString&, const QStringList& w) { announced = w; });
        const QByteArray text = "<tavolinfile>" + textures + c.items + "</tavolinfile>";
        ASSERT_TRUE(doc.loadFile(writeFile(dir, "w.tavolin", text)));
        QObject::disconnect(connection);
        EXPECT_EQ(doc.loadWarnings(), c.warnings);
        EXPECT_EQ(announced, c.warnings);
    }

    // Hundreds of undefined names: the list stays readable.
    QByteArray many = "<tavolinfile>" + textures;
    for (int i = 0; i < 300; ++i)
        many += "<sphere><texname>x" + QByteArray::number(i) + "</texname></sphere>";
    ASSERT_TRUE(doc.loadFile(writeFile(dir, "many.tavolin", many + "</tavolinfile>")));
    ASSERT_EQ(doc.loadWarnings().size(), SceneData::kMaxWarnings);
    EXPECT_EQ(doc.loadWarnings().back(), "... and 281 more such warnings");
}
