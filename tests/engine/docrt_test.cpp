// The document (loads between frames, failed loads change nothing, the start position) and the
// observer's time (the clock, every frame's start.w, fly paths, films).
#include "engine/docrt.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <functional>
#include <set>

#include "accel/kdtree.h"
#include "engine/filmrenderer.h"
#include "engine/observerclock.h"
#include "engine/scenesnapshot.h"
#include "scene/rendersettings.h"
#include "scene/rtobjbase.h"
#include "scene/rtobjdisk.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "scene/sharedtext.h"
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
const QByteArray kStatic =
    "<tavolinfile>\n  <renderSettings>\n    <start>1;2;3;17.25</start>\n"
    "    <lighttraveltime>1</lighttraveltime>\n  </renderSettings>\n"
    "  <newtexturesingle><texname>t</texname></newtexturesingle>\n"
    "  <sphere><texname>t</texname></sphere>\n</tavolinfile>\n";

}  // namespace

// Loads take effect at the next frame, the last good one wins; a failed load says why and keeps
// the scene, the observer, the fly path and an earlier load still pending.
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

// The start position returns once; recording adds a point per frame; a new scene clears it.
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
    EXPECT_GT(doc.getSceneData()->objects.items.size(), 1u);  // the built-in scene, not the sphere
}

// Choosing an eye is an edit (for undo) only when it changes the eye.
TEST(DocRT, AnotherEyeIsAnEditAndTheSameEyeIsNot) {
    DocRT doc;
    int edits = 0;
    QObject::connect(&doc, &DocRT::eyeEdited, [&edits](const Eye&, const Eye&) { ++edits; });
    Eye other = doc.nextFrameEye();
    other.kind = EyeKind::Cie1931;
    doc.setEye(doc.nextFrameEye());
    EXPECT_EQ(edits, 0);
    doc.setEye(other);
    EXPECT_EQ(edits, 1);
}

// A scene the document is done with (replaced by a load, by an undo's text, by a new scene) is
// freed on the disposal thread while the new one is used: the new scene's objects keep their
// names, and every name of the old scenes leaves the name table by the time the document goes.
TEST(DocRT, ReplacedScenesAreFreedAndTheNewOnesKept) {
    const auto named = [](const char* prefix, int count) {
        QByteArray text = "<tavolinfile><newtexturesingle><texname>t</texname></newtexturesingle>";
        for (int i = 0; i < count; ++i)
            text += "<sphere><name>" + QByteArray(prefix) + QByteArray::number(i) +
                    "</name><texname>t</texname></sphere>";
        return text + "</tavolinfile>";
    };
    const auto holdsNames = [](const DocRT& doc, const char* prefix, int count) {
        const auto& items = doc.getSceneData()->objects.items;
        if (int(items.size()) != count) return false;
        for (int i = 0; i < count; ++i)
            if (items[i]->name != QString(prefix) + QString::number(i)) return false;
        return true;
    };
    const int before = SharedText::entries();
    {
        QTemporaryDir dir;
        DocRT doc;
        ASSERT_TRUE(doc.loadFile(writeFile(dir, "old.tavolin", named("old", 3000))));
        doc.applyPendingChanges();
        ASSERT_TRUE(doc.loadFile(writeFile(dir, "new.tavolin", named("new", 2000))));
        ASSERT_TRUE(doc.applyPendingChanges());
        EXPECT_TRUE(holdsNames(doc, "new", 2000));
        ASSERT_TRUE(doc.restoreSceneText(QString::fromUtf8(named("undo", 1000))));
        doc.applyPendingChanges();  // an undo is no new scene: it says false
        EXPECT_TRUE(holdsNames(doc, "undo", 1000));
        // A loaded scene replaced by another before any frame took it.
        ASSERT_TRUE(doc.loadFile(writeFile(dir, "skipped.tavolin", named("skipped", 500))));
        ASSERT_TRUE(doc.loadFile(writeFile(dir, "last.tavolin", named("last", 700))));
        ASSERT_TRUE(doc.applyPendingChanges());
        EXPECT_TRUE(holdsNames(doc, "last", 700));
        EXPECT_GE(SharedText::entries(), before + 700);
    }
    EXPECT_EQ(SharedText::entries(), before);
}

// A save writes what the window shows from the next frame on, though the frame step that takes
// it over has not come yet: the scene just opened, the undo's scene, the new document; else the
// scene as it is.
TEST(DocRT, ASaveWritesWhatTheNextFrameShows) {
    QTemporaryDir dir;
    const QString before = writeFile(dir, "before.tavolin", kOneSphere);
    const QString opened = writeFile(dir, "opened.tavolin", kTwoSpheres);
    const struct {
        const char* what;
        std::function<void(DocRT&)> request;
        QStringList names;  // of the saved file's objects
        float startX;       // its observer's start
    } cases[] = {
        {"nothing asked", [](DocRT&) {}, {"one"}, 1.0f},
        {"a scene opened", [&](DocRT& d) { ASSERT_TRUE(d.loadFile(opened)); }, {"a", "b"}, 4.0f},
        {"an undo",
         [](DocRT& d) {
             ASSERT_TRUE(d.restoreSceneText(
                 "<tavolinfile><sphere><name>c</name></sphere><sphere><name>b</name></sphere>"
                 "<newtexturesingle><texname>t</texname></newtexturesingle></tavolinfile>"));
         },
         {"c", "b"},
         1.0f},
        {"a new document", [](DocRT& d) { d.requestBuiltInScene(); }, QStringList(8, QString()),
         0.001f},
    };
    for (const auto& c : cases) {
        DocRT doc;
        ASSERT_TRUE(doc.loadFile(before));
        doc.applyPendingChanges();
        c.request(doc);
        const QString saved = dir.filePath("saved.tavolin");
        QString error;
        ASSERT_TRUE(doc.saveFile(saved, &error)) << error.toStdString();
        DocRT check;
        ASSERT_TRUE(check.loadFile(saved));
        check.applyPendingChanges();
        QStringList names;
        for (const rtObjBase* object : check.getSceneData()->objects.items) names << object->name;
        EXPECT_EQ(names, c.names) << c.what;
        EXPECT_EQ(check.position().x, c.startX) << c.what;
        if (names.size() == 8) {  // the new document's spheres, the first in its corner
            const auto* first =
                static_cast<const rtObjSphere<1>*>(check.getSceneData()->objects.items[0]);
            EXPECT_EQ(first->center.x, -0.52f);
            EXPECT_EQ(first->center.z, -5.52f);
        }
        // The document itself goes on to show it.
        doc.applyPendingChanges();
        names.clear();
        for (const rtObjBase* object : doc.getSceneData()->objects.items) names << object->name;
        EXPECT_EQ(names, c.names) << c.what;
    }
}

// An undo of a big scene is read aside (here every undo: restoreAsideBytes 0): frames of the
// scene before it go on until it is read, then a frame step takes it over with its tree. A later
// undo, a load, a save and recorded edits each settle it as the user expects, and nothing of
// the scenes dropped stays behind.
TEST(DocRT, BigUndosAreReadAsideAndTakenOverWhenRead) {
    // The named spheres, then unnamed ones.
    const auto scene = [](std::initializer_list<const char*> names, int unnamed = 0) {
        QByteArray text = "<tavolinfile><newtexturesingle><texname>t</texname></newtexturesingle>";
        for (const char* name : names)
            text += QByteArray("<sphere><name>") + name + "</name><texname>t</texname></sphere>";
        for (int i = 0; i < unnamed; ++i) text += "<sphere/>";
        return text + "</tavolinfile>";
    };
    const auto namesOf = [](const DocRT& doc) {
        QStringList names;
        for (const rtObjBase* object : doc.getSceneData()->objects.items)
            if (!object->name.isEmpty()) names << object->name;
        return names;
    };
    // Frame steps until no undo is under way (or ten seconds).
    const auto settle = [](DocRT& doc) {
        QElapsedTimer waited;
        waited.start();
        do doc.applyPendingChanges();
        while (doc.restoreUnderWay() && waited.elapsed() < 10000);
        doc.applyPendingChanges();
    };
    const int before = SharedText::entries();
    QTemporaryDir dir;
    const QString start = writeFile(dir, "start.tavolin", scene({"s1", "s2"}));
    const QString other = writeFile(dir, "other.tavolin", scene({"o1"}));
    const SceneSnapshot undoA = SceneSnapshot::ofUtf8(scene({"a1", "a2", "a3"}));
    const SceneSnapshot undoB = SceneSnapshot::ofUtf8(scene({"b1"}));
    // Slow enough to read that a frame step at once finds it under way.
    const SceneSnapshot undoBig = SceneSnapshot::ofUtf8(scene({"big"}, 50000));
    const struct {
        const char* what;
        std::function<void(DocRT&)> then;  // after the undo to undoA
        QStringList names;                 // shown at the end
    } cases[] = {
        {"read and taken over", [](DocRT&) {}, {"a1", "a2", "a3"}},
        {"a second undo wins", [&](DocRT& d) { ASSERT_TRUE(d.restoreSnapshot(undoB)); }, {"b1"}},
        {"a small undo after it wins",
         [&](DocRT& d) { ASSERT_TRUE(d.restoreSceneText(scene({"c1"}))); },
         {"c1"}},
        {"a load wins", [&](DocRT& d) { ASSERT_TRUE(d.loadFile(other)); }, {"o1"}},
        {"an edit waits for it and goes with the scene it was made on",
         [&](DocRT& d) {
             ASSERT_TRUE(d.restoreSnapshot(undoBig));
             SceneData* shown = d.getSceneData();
             shown->objects.recordRemoval(shown->objects.items[0]);
             d.applyPendingChanges();
             EXPECT_FALSE(d.restoreUnderWay());
             EXPECT_EQ(d.getSceneData()->objects.items.size(), 50001u);
         },
         {"big"}},
        {"the black hole moved meanwhile: its disk placed again",
         [&](DocRT& d) {
             ASSERT_TRUE(d.restoreSnapshot(
                 SceneSnapshot::ofUtf8(scene({"d1"}).replace("</tavolinfile>",
                                                             "<newdisk><name>disk</name></newdisk>"
                                                             "</tavolinfile>"))));
             d.getSettings()->bhpos = Vec4f(3.0f, 4.0f, 5.0f, 0.0f);
         },
         {"d1", "disk"}},
        {"a save writes it",
         [&](DocRT& d) {
             const QString saved = dir.filePath("saved.tavolin");
             ASSERT_TRUE(d.saveFile(saved));
             DocRT check;
             ASSERT_TRUE(check.loadFile(saved));
             check.applyPendingChanges();
             EXPECT_EQ(namesOf(check), QStringList({"a1", "a2", "a3"}));
         },
         {"a1", "a2", "a3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DocRT doc;
        doc.restoreAsideBytes = 0;
        ASSERT_TRUE(doc.loadFile(start));
        doc.applyPendingChanges();
        ASSERT_TRUE(doc.restoreSnapshot(undoA));
        EXPECT_EQ(namesOf(doc), QStringList({"s1", "s2"}));  // until a frame step takes it over
        c.then(doc);
        settle(doc);
        EXPECT_EQ(namesOf(doc), c.names);
        for (rtObjBase* object : doc.getSceneData()->objects.items)
            if (auto* disk = dynamic_cast<rtObjDisk*>(object))
                EXPECT_EQ(disk->centre.x, doc.getSettings()->bhpos.x);
        // The tree holds the scene shown: its leaves list each object.
        std::set<const rtObjBase*> inTree(doc.getTree()->leaves().begin(),
                                          doc.getTree()->leaves().end());
        for (const rtObjBase* object : doc.getSceneData()->objects.items)
            EXPECT_EQ(inTree.count(object), 1u);
    }
    // Objects without a texture make no scene: refused at once when read on the spot, reported
    // when found out when read aside; the scene shown stays either way.
    DocRT doc;
    QStringList reported;
    DocRT::setErrorReporter([&](const QString&, const QString& text) { reported << text; });
    ASSERT_TRUE(doc.loadFile(start));
    doc.applyPendingChanges();
    const QByteArray empty = "<tavolinfile><sphere/></tavolinfile>";
    EXPECT_FALSE(doc.restoreSceneText(QString::fromUtf8(empty)));
    doc.restoreAsideBytes = 0;
    EXPECT_TRUE(doc.restoreSnapshot(SceneSnapshot::ofUtf8(empty)));
    settle(doc);
    DocRT::setErrorReporter({});
    EXPECT_EQ(reported.size(), 1);
    EXPECT_EQ(namesOf(doc), QStringList({"s1", "s2"}));
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
        const auto connection =
            QObject::connect(&doc, &DocRT::sceneWarnings,
                             [&announced](const QString&, const QStringList& w) { announced = w; });
        const QByteArray text = "<tavolinfile>" + textures + c.items + "</tavolinfile>";
        ASSERT_TRUE(doc.loadFile(writeFile(dir, "w.tavolin", text)));
        QObject::disconnect(connection);
        EXPECT_EQ(doc.loadWarnings(), c.warnings);
        EXPECT_EQ(announced, c.warnings);
    }

    // Many undefined names: the list stays readable, and is cut only when it is too long.
    for (const int n : {SceneData::kMaxWarnings, 300}) {
        QByteArray many = "<tavolinfile>" + textures;
        for (int i = 0; i < n; ++i)
            many += "<sphere><texname>x" + QByteArray::number(i) + "</texname></sphere>";
        ASSERT_TRUE(doc.loadFile(writeFile(dir, "many.tavolin", many + "</tavolinfile>")));
        ASSERT_EQ(doc.loadWarnings().size(), SceneData::kMaxWarnings);
        const QString last = doc.loadWarnings().back();
        EXPECT_TRUE(last.startsWith(n == 300 ? "... and 281 more such" : "The texture \"x19\""))
            << last.toStdString();
    }
}

// Clock operations at given readings, each with the time expected then, worked out by hand.
TEST(ObserverClock, RunsFreezesHoldsAndIsSet) {
    enum Op { Look, Thaw, Freeze, Set, Hold, Release };
    struct Step {
        Op op;
        int64_t nowMs;
        double value;     // the time for Set
        double expected;  // time(nowMs) after the step
    };
    const Step script[] = {
        {Look, 5000, 0, 0.0},      // frozen at 0 from the start
        {Thaw, 5000, 0, 0.0},      // runs from 5 s on the wall clock
        {Freeze, 7250, 0, 2.25},   // stands at 2.25
        {Set, 61000, -4.0, -4.0},  // set while frozen: stays there
        {Thaw, 70000, 0, -4.0},
        {Hold, 72000, 0, -2.0},      // a menu opens: stands at -2
        {Hold, 90000, 0, -2.0},      // holding twice is holding once
        {Release, 100000, 0, -2.0},  // and goes on from -2, not from -2 + 28
        {Look, 100500, 0, -1.5},
        {Set, 101000, 100.0, 100.0},  // set while running: runs on from there
        {Hold, 104000, 0, 103.0},
        {Freeze, 105000, 0, 103.0},   // frozen while held
        {Release, 110000, 0, 103.0},  // still frozen after the hold
        {Release, 121000, 0, 103.0},  // releasing without a hold changes nothing
    };
    ObserverClock clock;
    for (const Step& s : script) {
        switch (s.op) {
            case Look: break;
            case Thaw: clock.setFrozen(false, s.nowMs); break;
            case Freeze: clock.setFrozen(true, s.nowMs); break;
            case Set: EXPECT_TRUE(clock.setTime(s.value, s.nowMs)); break;
            case Hold: clock.hold(s.nowMs); break;
            case Release: clock.release(s.nowMs); break;
        }
        EXPECT_DOUBLE_EQ(clock.time(s.nowMs), s.expected) << "step " << &s - script;
    }
    EXPECT_FALSE(clock.setTime(std::nan(""), 0));
    EXPECT_FALSE(clock.setTime(HUGE_VAL, 0));
}

TEST(DocRTObserverTime, EveryFrameCarriesTheTimeAndFilesDoNot) {
    QTemporaryDir dir;
    DocRT doc;
    EXPECT_TRUE(doc.isObserverTimeFrozen());
    ASSERT_TRUE(doc.setObserverTime(8.5));
    EXPECT_FALSE(doc.setObserverTime(std::nan("")));
    doc.applyPendingChanges();
    EXPECT_EQ(doc.getSettings()->start.w, 8.5f);  // frozen: exactly the time set
    // A loaded scene starts at 0 whatever its file's start.w says.
    ASSERT_TRUE(doc.loadFile(writeFile(dir, "s.tavolin", kStatic)));
    EXPECT_TRUE(doc.applyPendingChanges());
    EXPECT_EQ(doc.getSettings()->start.w, 0.0f);
    EXPECT_EQ(doc.getSettings()->start.z, 3.0f);
    // Saving at time 12 stores time 0 and keeps the switch.
    doc.setObserverTime(12.0);
    doc.applyPendingChanges();
    const QString saved = dir.filePath("saved.tavolin");
    ASSERT_TRUE(doc.saveFile(saved));
    QFile f(saved);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("<start>1;2;3;0</start>")) << text.toStdString();
    EXPECT_TRUE(text.contains("<lighttraveltime>1</lighttraveltime>")) << text.toStdString();
    EXPECT_EQ(doc.getSettings()->start.w, 12.0f);  // the document keeps its time
    // Held (the window's loop holds its frames), the frame gets the time it stood at.
    doc.setObserverTimeFrozen(false);
    doc.holdObserverTime(true);
    const double held = doc.observerTime();
    doc.applyPendingChanges();
    EXPECT_EQ(doc.getSettings()->start.w, float(held));
}

// Fly paths record the observer's time, replay it, and give film frame k that of time k / fps.
TEST(DocRTObserverTime, FlyPathsRecordAndReplayTheTime) {
    DocRT doc;
    doc.requestBuiltInScene();
    doc.applyPendingChanges();
    Recorder& recorder = doc.getRecorder();
    recorder.record(doc.clockMs(), 0.0);
    const double times[] = {5.0, -2.5, 1e6};  // set while frozen: each point gets exactly one
    for (double t : times) {
        doc.setObserverTime(t);
        doc.applyPendingChanges();
    }
    recorder.stop();
    ASSERT_EQ(recorder.pointCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(recorder.point(i).observerTime, times[i]) << i;
    // Observer's time 10 -> 20 over film time 0 -> 2, played from film time 1: 15 at once.
    FlyPathPoint a, b;
    a.observerTime = 10.0;
    b.time = 2.0;
    b.observerTime = 20.0;
    ASSERT_TRUE(recorder.setPoints({a, b}));
    doc.setObserverTime(-7.0);
    recorder.play(doc.clockMs(), 1.0);
    doc.applyPendingChanges();
    EXPECT_NEAR(doc.getSettings()->start.w, 15.0f, 0.01f);  // a few ms may pass
    recorder.stop();
    RenderSettings s;
    for (int k = 0; k <= 8; ++k) {
        FilmRenderer::frameSettings(s, *doc.getSettings(), recorder, k, 4);
        EXPECT_EQ(s.start.w, float(10.0 + 1.25 * k)) << k;
    }
}
