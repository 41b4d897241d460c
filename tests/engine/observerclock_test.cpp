// The observer's time: a clock that runs with wall-clock seconds, stands still when frozen or
// held, and is set to any finite time; and the document, which writes it into every frame's
// start.w, starts a taken-over scene at 0, never stores it in a scene file, records it with
// fly paths and replays it in films.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "engine/docrt.h"
#include "engine/filmrenderer.h"
#include "engine/observerclock.h"
#include "scene/rendersettings.h"
#include "tests/engine/doctesthelpers.h"

using namespace doctest;

// A script of clock operations at given readings, each followed by the time expected then. The
// expected times are worked out by hand: running stretches add (now - then) / 1000.
TEST(ObserverClock, RunsFreezesHoldsAndIsSet) {
    enum Op { Look, Thaw, Freeze, Set, Hold, Release };
    struct Step {
        Op op;
        int64_t nowMs;
        double value;     // the time for Set
        double expected;  // time(nowMs) after the step
    };
    const Step script[] = {
        {Look, 5000, 0, 0.0},        // frozen at 0 from the start
        {Thaw, 5000, 0, 0.0},        // runs from 5 s on the wall clock
        {Look, 6500, 0, 1.5},
        {Freeze, 7250, 0, 2.25},     // stands at 2.25
        {Look, 60000, 0, 2.25},
        {Set, 61000, -4.0, -4.0},    // set while frozen: stays there
        {Look, 70000, 0, -4.0},
        {Thaw, 70000, 0, -4.0},
        {Look, 71000, 0, -3.0},
        {Hold, 72000, 0, -2.0},      // a menu opens: stands at -2
        {Hold, 90000, 0, -2.0},      // holding twice is holding once
        {Look, 95000, 0, -2.0},
        {Release, 100000, 0, -2.0},  // and goes on from -2, not from -2 + 28
        {Look, 100500, 0, -1.5},
        {Set, 101000, 100.0, 100.0}, // set while running: runs on from there
        {Look, 103000, 0, 102.0},
        {Hold, 104000, 0, 103.0},
        {Freeze, 105000, 0, 103.0},  // frozen while held
        {Release, 110000, 0, 103.0}, // still frozen after the hold
        {Look, 120000, 0, 103.0},
        {Release, 121000, 0, 103.0}, // releasing without a hold changes nothing
    };
    ObserverClock clock;
    int line = 0;
    for (const Step& s : script) {
        ++line;
        switch (s.op) {
            case Look: break;
            case Thaw: clock.setFrozen(false, s.nowMs); break;
            case Freeze: clock.setFrozen(true, s.nowMs); break;
            case Set: EXPECT_TRUE(clock.setTime(s.value, s.nowMs)); break;
            case Hold: clock.hold(s.nowMs); break;
            case Release: clock.release(s.nowMs); break;
        }
        EXPECT_DOUBLE_EQ(clock.time(s.nowMs), s.expected) << "step " << line;
    }
    EXPECT_FALSE(clock.setTime(std::nan(""), 0));
    EXPECT_FALSE(clock.setTime(HUGE_VAL, 0));
    EXPECT_DOUBLE_EQ(clock.time(121000), 103.0);
}

namespace {
const QByteArray kStatic =
    "<tavolinfile>\n  <renderSettings>\n    <start>1;2;3;17.25</start>\n"
    "    <lighttraveltime>1</lighttraveltime>\n  </renderSettings>\n"
    "  <newtexturesingle><texname>t</texname></newtexturesingle>\n"
    "  <sphere><texname>t</texname></sphere>\n</tavolinfile>\n";
}  // namespace

TEST(DocRTObserverTime, EveryFrameCarriesTheTimeAndFilesDoNot) {
    QTemporaryDir dir;
    DocRT doc;
    EXPECT_TRUE(doc.isObserverTimeFrozen());
    doc.applyPendingChanges();
    EXPECT_EQ(doc.getSettings()->start.w, 0.0f);

    ASSERT_TRUE(doc.setObserverTime(8.5));
    EXPECT_FALSE(doc.setObserverTime(std::nan("")));
    doc.applyPendingChanges();
    EXPECT_EQ(doc.getSettings()->start.w, 8.5f);  // frozen: exactly the time set

    // A loaded scene starts at 0 whatever its file's start.w says, with the file's switch.
    ASSERT_TRUE(doc.loadFile(writeFile(dir, "s.tavolin", kStatic)));
    EXPECT_TRUE(doc.applyPendingChanges());
    EXPECT_EQ(doc.getSettings()->start.w, 0.0f);
    EXPECT_EQ(doc.observerTime(), 0.0);
    EXPECT_TRUE(doc.getSettings()->lightTravelTime);
    EXPECT_EQ(doc.getSettings()->start.z, 3.0f);

    // Saving at time 12 stores time 0 and keeps the switch.
    doc.setObserverTime(12.0);
    doc.applyPendingChanges();
    EXPECT_EQ(doc.getSettings()->start.w, 12.0f);
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
    doc.holdObserverTime(false);
    EXPECT_FALSE(doc.isObserverTimeHeld());
}

// Recording keeps the observer's time with every point; playing sets it back from the
// recording; a film's frame k renders at the recorded time of film time k / fps.
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

    // A recording whose observer's time runs 10 -> 20 over film time 0 -> 2, played from film
    // time 1: the document's time is 15 at once.
    FlyPathPoint a, b;
    a.time = 0.0;
    a.observerTime = 10.0;
    b.time = 2.0;
    b.observerTime = 20.0;
    ASSERT_TRUE(recorder.setPoints({a, b}));
    doc.setObserverTime(-7.0);
    recorder.play(doc.clockMs(), 1.0);
    doc.applyPendingChanges();
    EXPECT_NEAR(doc.observerTime(), 15.0, 0.01);  // a few ms may pass between the readings
    EXPECT_NEAR(doc.getSettings()->start.w, 15.0f, 0.01f);
    recorder.stop();

    // Film frames at 4 fps: film times 0, 0.25 ... 2 give observer's times 10, 11.25 ... 20.
    RenderSettings s;
    for (int k = 0; k <= 8; ++k) {
        FilmRenderer::frameSettings(s, *doc.getSettings(), recorder, k, 4);
        EXPECT_EQ(s.start.w, float(10.0 + 1.25 * k)) << k;
    }
}
