// The scene's text kept for undo: packed and unpacked to the same text, and the document's
// snapshots: each edit's before and after are the scene's text at those moments whatever
// happened between the edits (loads, restores, the built-in scene, dropped edits), and an edit
// following another shares its text before with the other's text after.
#include "engine/scenesnapshot.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>
#include <future>
#include <stdexcept>
#include <utility>
#include <vector>

#include "engine/docrt.h"
#include "scene/rtobjbase.h"
#include "scene/scenedata.h"
#include "tests/engine/doctesthelpers.h"

using namespace doctest;

TEST(SceneSnapshot, GivesBackTheTextItWasMadeOf) {
    QString long_;
    for (int i = 0; i < 20000; ++i)
        long_ +=
            QString("  <sphere><center>%1;0;-5;0</center><radius>0.5</radius></sphere>\n").arg(i);
    const QString texts[] = {QString(), "<tavolinfile/>", QString::fromUtf8("Łódź ✓ 星 \u00e9\n"),
                             long_};
    for (const QString& text : texts) {
        const SceneSnapshot snapshot = SceneSnapshot::of(text);
        EXPECT_FALSE(snapshot.isNull());
        EXPECT_EQ(snapshot.text(), text);
        EXPECT_EQ(snapshot.utf8(), text.toUtf8());
        const SceneSnapshot copy = snapshot;
        EXPECT_TRUE(copy.sharesTextWith(snapshot));
        EXPECT_FALSE(SceneSnapshot::of(text).sharesTextWith(snapshot));
    }
    // Scene text packs to a small part of its UTF-8 bytes.
    EXPECT_LT(SceneSnapshot::of(long_).storedBytes() * 8, long_.toUtf8().size());
    EXPECT_TRUE(SceneSnapshot().isNull());
    EXPECT_TRUE(SceneSnapshot().text().isEmpty());
}

// Texts of several pieces' length, packed in up to five pieces (cut wherever the sizes fall,
// inside a character's UTF-8 bytes too), come back whole and in order.
TEST(SceneSnapshot, GivesBackLongTextsPackedInPieces) {
    QByteArray text;
    for (int i = 0; text.size() < 3 * SceneSnapshot::kMinPieceBytes + 17; ++i)
        text +=
            QString::fromUtf8("  <sphere><name>星%1</name><center>%1;0;-5;0</center></sphere>\n")
                .arg(i)
                .toUtf8();
    for (int threads : {1, 2, 3, 5}) {
        const SceneSnapshot snapshot = SceneSnapshot::ofUtf8(text, threads);
        EXPECT_TRUE(snapshot.utf8() == text) << threads << " threads";
        EXPECT_LT(snapshot.storedBytes() * 4, text.size()) << threads << " threads";
    }
}

// Written aside: a snapshot exists at once, its copies share the text once it is written, and
// what the writer throws reaches whoever asks for the text.
TEST(SceneSnapshot, WrittenAsideGivesItsTextOnceWritten) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    const SceneSnapshot snapshot = SceneSnapshot::writtenAside([released] {
        released.wait();
        return QByteArray("<tavolinfile/>");
    });
    EXPECT_FALSE(snapshot.isNull());
    const SceneSnapshot copy = snapshot;
    release.set_value();
    snapshot.wait();
    EXPECT_EQ(copy.utf8(), QByteArray("<tavolinfile/>"));
    EXPECT_TRUE(copy.sharesTextWith(snapshot));

    const SceneSnapshot failed =
        SceneSnapshot::writtenAside([]() -> QByteArray { throw std::runtime_error("unwritable"); });
    failed.wait();
    EXPECT_FALSE(failed.isNull());
    EXPECT_THROW(failed.utf8(), std::runtime_error);
}

namespace {

const QByteArray kBalls =
    "<tavolinfile><sphere><name>a</name><texname>t</texname></sphere>"
    "<sphere><name>b</name><texname>t</texname></sphere>"
    "<newtexturesingle><texname>t</texname></newtexturesingle></tavolinfile>";
const QByteArray kBox =
    "<tavolinfile><cube><name>box</name><texxy>t</texxy></cube>"
    "<newtexturesingle><texname>t</texname></newtexturesingle></tavolinfile>";

// Records an edit renaming the document's first object, as the edit dock does.
void renameFirst(DocRT& doc, const QString& name) {
    SceneData& scene = *doc.getSceneData();
    ASSERT_FALSE(scene.objects.items.empty());
    rtObjBase* copy = scene.objects.items.front()->clone();
    copy->name = SharedText(name);
    scene.objects.recordChange(copy, scene.objects.items.front());
}

}  // namespace

// Run twice: as the window does without the edit dock, and with the dock shown, where the text
// for the next edit is written ahead before and after every step; a step that replaces the
// scene stops it, and an edit takes the text written ahead as its before.
class DocRTSnapshots : public ::testing::TestWithParam<bool> {};

INSTANTIATE_TEST_SUITE_P(WithoutAndWithTextAhead, DocRTSnapshots, ::testing::Bool());

TEST_P(DocRTSnapshots, EveryEditKeepsTheTextsAroundItWhateverCameBetween) {
    const bool ahead = GetParam();
    QTemporaryDir dir;
    ErrorCapture errors;
    const QString balls = writeFile(dir, "balls.tavolin", kBalls);
    const QString box = writeFile(dir, "box.tavolin", kBox);
    DocRT doc;
    load(doc, balls);
    std::vector<std::pair<SceneSnapshot, SceneSnapshot>> edits;
    QObject::connect(
        &doc, &DocRT::sceneEdited,
        [&](const SceneSnapshot& b, const SceneSnapshot& a) { edits.emplace_back(b, a); });

    // What happens to the document before each edit; an empty step is none.
    const struct {
        const char* what;
        std::function<void()> step;
        bool follows;  // the edit before the step is the last change of the items
    } steps[] = {
        {"nothing", [] {}, false},
        {"nothing again", [] {}, true},
        {"another scene loaded", [&] { load(doc, box); }, false},
        {"an edit undone",
         [&] {
             ASSERT_TRUE(doc.restoreSnapshot(edits.back().first));
             doc.applyPendingChanges();
         },
         false},
        {"the built-in scene",
         [&] {
             doc.requestBuiltInScene();
             doc.applyPendingChanges();
         },
         false},
        {"edits dropped by a restore",
         [&] {
             renameFirst(doc, "dropped");
             ASSERT_TRUE(doc.restoreSceneText(doc.sceneText()));
             doc.applyPendingChanges();
         },
         false},
        {"the same file loaded again", [&] { load(doc, balls); }, false},
        {"an edit after it", [] {}, true},
    };
    int n = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        if (ahead) doc.prepareSceneSnapshot();
        s.step();
        SceneSnapshot written;
        if (ahead) {
            doc.prepareSceneSnapshot();
            written = doc.sceneSnapshot();
        }
        const size_t before = edits.size();
        const QString textBefore = doc.sceneText();
        renameFirst(doc, QString::fromUtf8("\u00e9dit\u661f%1").arg(++n));
        doc.applyPendingChanges();
        ASSERT_EQ(edits.size(), before + 1);
        const auto& [b, a] = edits.back();
        EXPECT_EQ(b.text(), textBefore);
        if (ahead) {
            EXPECT_TRUE(b.sharesTextWith(written));
        }
        EXPECT_EQ(a.text(), doc.sceneText());
        EXPECT_TRUE(a.text().contains(QString::fromUtf8("\u00e9dit\u661f%1").arg(n)));
        if (s.follows) {
            EXPECT_TRUE(b.sharesTextWith(edits[edits.size() - 2].second));
        }
    }
    EXPECT_TRUE(errors.titles.isEmpty()) << errors.titles.join(", ").toStdString();

    // Undone, the last edit's scene is the one before it.
    ASSERT_TRUE(doc.restoreSnapshot(edits.back().first));
    doc.applyPendingChanges();
    EXPECT_EQ(doc.sceneText().toStdString(), edits.back().first.text().toStdString());
}
