// Slow frames in the live loop: a light-bending frame of a large view reports rising progress
// that ends at 100; switching the effect off, choosing another effect in a view's context menu
// or destroying the main view stops it long before it would have ended; a tool's hold on the
// loop waits for it to end; the P key announces the pause.
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <utility>
#include <vector>

#include "geometry/traceoutput.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"

using namespace viewtest;

namespace {

// A machine fast enough to finish even the largest bent frame within the checks' waits has
// nothing to cancel: such a run checks that its quick frames really were bent, says so and skips.
constexpr const char* kNoSlowFrame = "no bent frame stayed under way long enough in this run";
constexpr int kStopWithinMs = 1500;  // "a fraction of a second", with room for a loaded machine

// The default scene, whose black hole is in view; light bending is switched on once the main
// view has taken the scene over.
void loadScene(DocRT& doc) {
    TraceOutput::setEnabled(false);
    QVERIFY(doc.loadFile(QStringLiteral(TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge.tavolin")));
}

// Holds the observer still and switches light bending on.
void bendLight(MainView& main) {
    main.setPaused(true);
    main.slotEnableLightbending(true);
}

// Gets a large bent frame under way in main, or, on a machine too quick for one, checks that its
// quick frames were bent and skips the test: it has nothing to cancel.
#define SLOW_BENT_FRAME_OR_SKIP(main, doc)                                      \
    if (!largeBentFrameUnderWay(main)) {                                        \
        QVERIFY2(holdsTheBentPicture(main, doc), "the quick frames were bent"); \
        QSKIP(kNoSlowFrame);                                                    \
    }

// Runs the event loop until pred() or the time-out; the time it took in milliseconds, or -1.
template <typename Pred>
qint64 waitUntil(Pred pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return -1;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return t.elapsed();
}

}  // namespace

class FrameCancelTest : public QObject {
    Q_OBJECT

    // Shows main at the given size and returns once a frame of that size is being rendered.
    static bool startFrameOfSize(MainView& main, int w, int h) {
        main.resize(w, h);
        if (!main.isVisible()) {
            main.show();
            if (!QTest::qWaitForWindowExposed(&main)) return false;
        }
        // A frame renders into a buffer of the size its view had when it was prepared.
        TimeRT* engine = main.rootView().view()->engine();
        return waitUntil(
                   [&] {
                       return main.isRendering() && engine->ownPixelBuffer().width() == w &&
                              engine->ownPixelBuffer().height() == h;
                   },
                   600000) >= 0;
    }

    // Whether the view holds the document's bent picture, pixel for pixel as a standalone
    // render draws it: a frame drawn without the black hole's paths would be quick for the
    // wrong reason.
    static bool holdsTheBentPicture(MainView& main, DocRT& doc) {
        if (!holdFrames(main)) return false;
        GlView* view = main.rootView().view();
        const PixelBuffer& b = view->engine()->ownPixelBuffer();
        RenderSettings bent(*doc.getSettings());
        RenderSettings straight(bent);
        straight.lightBending = false;
        const std::vector<uint32_t> live = pixelsOf(view);
        const bool right = live == referenceRender(doc, bent, b.width(), b.height()) &&
                           live != referenceRender(doc, straight, b.width(), b.height());
        main.resumeRendering();
        return right;
    }

    // A large bent frame is under way with more than a second to go. Rows cost very different
    // times (those whose light passes near the hole take most of a bent frame), so the share of
    // rows done says little; instead the view grows until a whole frame takes 2 s, and the next
    // frame of that size has been running for 300 ms.
    static bool largeBentFrameUnderWay(MainView& main) {
        for (int w = 1200, h = 900; w <= 4800; w *= 2, h *= 2) {
            if (!startFrameOfSize(main, w, h)) return false;
            const long frame = main.framesStarted();
            const qint64 took = waitUntil([&] { return main.framesStarted() > frame; }, 600000);
            if (took < 0) return false;
            if (took < 2000) continue;
            spin(300);
            return main.isRendering();
        }
        return false;
    }

private slots:
    // The view grows until a frame is slow enough to report (light bending, whatever its
    // speed); that frame's reports rise and end at 100, and the next frame reports from its
    // start.
    void slowFrameReportsRisingProgressEndingAt100() {
        DocRT doc;
        loadScene(doc);
        MainView main(nullptr, &doc);
        bendLight(main);
        std::vector<std::pair<long, int>> reports;  // (frame, percent)
        connect(&main, &MainView::frameProgress, this,
                [&](int percent) { reports.emplace_back(main.framesStarted(), percent); });
        std::vector<int> seen;
        long slowFrame = -1;
        // A quick frame right after a slow one reports too (the bar stays up) and then ends with
        // -1: only a frame whose reports end at 100 was slow itself.
        const auto slowEnough = [&] { return seen.size() >= 2 && seen.back() == 100; };
        for (int w = 160, h = 120; !slowEnough() && w <= 5120; w *= 2, h *= 2) {
            seen.clear();
            QVERIFY(startFrameOfSize(main, w, h));
            slowFrame = main.framesStarted();
            QVERIFY(waitUntil([&] { return main.framesStarted() > slowFrame; }, 600000) >= 0);
            for (const auto& [frame, percent] : reports)
                if (frame == slowFrame) seen.push_back(percent);
        }
        if (reports.empty()) {
            QVERIFY2(holdsTheBentPicture(main, doc), "the quick frames were bent");
            QSKIP(kNoSlowFrame);
        }
        QString sequence;  // frame:percent of every report, for a failure's message
        for (const auto& [frame, percent] : reports)
            sequence += QStringLiteral(" %1:%2").arg(frame).arg(percent);
        QVERIFY2(slowEnough(), qPrintable("a slow frame reports its progress while it renders:" +
                                          sequence));
        for (size_t i = 1; i < seen.size(); ++i)
            QVERIFY2(seen[i] >= seen[i - 1],
                     qPrintable(QStringLiteral("frame %1 of%2").arg(slowFrame).arg(sequence)));
        QVERIFY(seen.front() < 100);
        QCOMPARE(seen.back(), 100);
        QVERIFY(waitUntil([&] { return reports.back().first == slowFrame + 1; }, 5000) >= 0);
        QVERIFY(reports.back().second < 100);

        // Plain frames of a small view are quick again, and the progress goes away (a plain
        // frame of the largest view can itself take longer than the progress delay).
        main.slotEnableLightbending(false);
        main.resize(320, 240);
        QVERIFY(waitUntil([&] { return reports.back().second == -1; }, 60000) >= 0);
    }

    // The live loop's bent frame is the standalone bent picture (and not the straight one).
    void liveBentFrameIsTheStandalonePicture() {
        DocRT doc;
        loadScene(doc);
        MainView main(nullptr, &doc);
        bendLight(main);
        QVERIFY(startFrameOfSize(main, 320, 240));
        QVERIFY(waitFrames(main, 2));
        QVERIFY(holdsTheBentPicture(main, doc));
    }

    void bentFrameStopsWhenBendingGoesOff() {
        DocRT doc;
        loadScene(doc);
        MainView main(nullptr, &doc);
        bendLight(main);
        SLOW_BENT_FRAME_OR_SKIP(main, doc);
        const long bent = main.framesStarted();
        // The workers stop at once; drawing the next frame of so large a view may then take a
        // while on a software renderer, which is not what is measured here.
        main.slotEnableLightbending(false);
        const qint64 stopped = waitUntil([&] { return !main.isRendering(); }, 60000);
        qInfo("the bent frame stopped %lld ms after the switch", stopped);
        QVERIFY2(stopped >= 0 && stopped < kStopWithinMs,
                 "the bent frame stops soon after the switch");
        QVERIFY(main.rootView().view()->engine()->wasCancelled());
        QVERIFY(waitUntil([&] { return main.framesStarted() > bent; }, 60000) >= 0);
        // Switching an effect to the state it is in leaves the frame alone.
        QVERIFY(waitFrames(main, 2));
        main.slotEnableLightbending(false);
        QVERIFY(!main.rootView().view()->engine()->wasCancelled());
    }

    // The same switch made for one view in its context menu: the menu holds the next frame back
    // while it is open, but the frame under way is cancelled at once rather than finished.
    void contextMenuEffectStopsTheBentFrame() {
        DocRT doc;
        loadScene(doc);
        MainView main(nullptr, &doc);
        bendLight(main);
        SLOW_BENT_FRAME_OR_SKIP(main, doc);
        GlView* view = main.rootView().view();
        bool menuWasOpen = false, underWay = false, cancelled = false;
        qint64 stoppedMs = -1;
        QTimer::singleShot(0, this, [&] {  // runs in the menu's own event loop
            menuWasOpen = view->isContextMenuOpen();
            underWay = main.isRendering();
            view->aberrationChecker().disableAction()->trigger();
            stoppedMs = waitUntil([&] { return !main.isRendering(); }, 60000);
            cancelled = view->engine()->wasCancelled();
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        });
        const QPoint at(40, 40);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->mapToGlobal(at));
        QCoreApplication::sendEvent(view, &event);
        QVERIFY(menuWasOpen);
        QVERIFY2(underWay, "the bent frame was still being rendered when the menu opened");
        QCOMPARE(view->aberrationChecker().choice(), EffectChoice::Disable);
        qInfo("the bent frame stopped %lld ms after the menu choice", stoppedMs);
        QVERIFY2(cancelled, "the frame was cancelled, not finished");
        QVERIFY(stoppedMs >= 0 && stoppedMs < kStopWithinMs);

        // The Januscircle is drawn over the picture: switching it leaves the frame alone.
        QVERIFY(waitUntil([&] { return main.isRendering(); }, 60000) >= 0);
        view->januscircleChecker().enableAction()->trigger();
        QVERIFY(!view->engine()->wasCancelled());  // a cancellation is asked for at once
    }

    void destroyingTheViewDuringASlowFrameReturnsPromptly() {
        DocRT doc;
        loadScene(doc);
        auto main = std::make_unique<MainView>(nullptr, &doc);
        bendLight(*main);
        SLOW_BENT_FRAME_OR_SKIP(*main, doc);
        QElapsedTimer closing;
        closing.start();
        main.reset();
        qInfo("the view was gone %lld ms after closing", closing.elapsed());
        QVERIFY2(closing.elapsed() < kStopWithinMs, "closing does not wait for the frame");
    }

    // A tool that holds the loop gets control back once the frame under way has ended, finished
    // rather than cancelled, with the loop's next step waiting for the hold's end.
    void holdingTheLoopWaitsForTheFrameUnderWay() {
        DocRT doc;
        loadScene(doc);
        MainView main(nullptr, &doc);
        bendLight(main);
        SLOW_BENT_FRAME_OR_SKIP(main, doc);
        const long frame = main.framesStarted();
        main.suspendRenderingUntilIdle();
        QVERIFY(!main.isRendering());
        QVERIFY(main.isFramePending());
        QCOMPARE(main.framesStarted(), frame);
        QVERIFY(!main.rootView().view()->engine()->wasCancelled());
        main.resumeRendering();
        QCOMPARE(main.framesStarted(), frame + 1);
    }

    void pKeyAnnouncesThePause() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        std::vector<bool> announced;
        connect(&main, &MainView::pausedChanged, this,
                [&](bool paused) { announced.push_back(paused); });
        main.setPaused(true);  // a menu's brief pause is not announced
        main.setPaused(false);
        QVERIFY(announced.empty());
        QVERIFY(main.viewKeyPress(Qt::Key_P));
        main.viewKeyRelease(Qt::Key_P);
        QVERIFY(main.isPaused());
        main.viewKeyPress(Qt::Key_Up);  // other keys leave the pause alone
        main.viewKeyRelease(Qt::Key_Up);
        QVERIFY(main.viewKeyPress(Qt::Key_P));
        QCOMPARE(announced, std::vector<bool>({true, false}));
        QVERIFY(!main.isPaused());
    }
};

QTEST_MAIN(FrameCancelTest)
#include "framecancel_test.moc"
