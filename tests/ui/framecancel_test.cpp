// Slow frames in the live loop: a light-bending frame of a large view reports rising progress
// that ends at 100; a tool's hold on the loop waits for it to end; switching the effect off,
// choosing another effect in a view's context menu or destroying the main view stops it long
// before it would have ended (a bent frame once ran on for seconds after each of these); the
// P key announces the pause.
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "base/traceoutput.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"

using namespace viewtest;

namespace {

// A machine fast enough to finish even the largest bent frame within the checks' waits has
// nothing to cancel: such a run checks that its quick frames really were bent, says so and skips.
constexpr const char* kNoSlowFrame = "no bent frame stayed under way long enough in this run";
constexpr int kStopWithinMs = 1500;  // "a fraction of a second", with room for a loaded machine
constexpr int kLongWait = 600000;    // a large bent frame on a slow machine

// The default scene, whose black hole is in view, with the observer held still and light
// bending switched on.
struct BentView {
    DocRT doc;
    std::unique_ptr<MainView> main;
    BentView() {
        TraceOutput::setEnabled(false);
        QVERIFY(doc.loadFile(TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge.tavolin"));
        main = std::make_unique<MainView>(nullptr, &doc);
        main->setPaused(true);
        main->slotEnableLightbending(true);
    }

    // Shows the view at the given size and returns once a frame of that size is being rendered
    // (a frame renders into a buffer of the size its view had when it was prepared).
    bool startFrameOfSize(int w, int h) {
        main->resize(w, h);
        main->show();
        const PixelBuffer& b = main->rootView().view()->engine()->ownPixelBuffer();
        const auto sized = [&] { return b.width() == w && b.height() == h; };
        return waitUntil([&] { return main->isRendering() && sized(); }, kLongWait) >= 0;
    }

    // Whether the view holds the document's bent picture, pixel for pixel as a standalone render
    // draws it: a frame drawn without the black hole's paths would be quick for the wrong reason.
    bool holdsTheBentPicture() {
        if (!holdFrames(*main)) return false;
        GlView* view = main->rootView().view();
        const PixelBuffer& b = view->engine()->ownPixelBuffer();
        RenderSettings bent(*doc.getSettings());
        RenderSettings straight(bent);
        straight.lightBending = false;
        const std::vector<uint32_t> live = pixelsOf(view);
        const bool right = live == referenceRender(doc, bent, b.width(), b.height()) &&
                           live != referenceRender(doc, straight, b.width(), b.height());
        main->resumeRendering();
        return right;
    }

    // A large bent frame is under way with more than a second to go. Rows cost very different
    // times (those whose light passes near the hole take most of a bent frame), so the share of
    // rows done says little; instead the view grows until a whole frame takes 2 s, and the next
    // frame of that size has been running for 300 ms.
    bool slowFrameUnderWay() {
        for (int w = 1200, h = 900; w <= 4800; w *= 2, h *= 2) {
            if (!startFrameOfSize(w, h)) return false;
            const long frame = main->framesStarted();
            const qint64 took = waitUntil([&] { return main->framesStarted() > frame; }, kLongWait);
            if (took < 0) return false;
            if (took < 2000) continue;
            spin(300);
            return main->isRendering();
        }
        return false;
    }
};

#define SLOW_BENT_FRAME_OR_SKIP(v)                                         \
    if (!(v).slowFrameUnderWay()) {                                        \
        QVERIFY2((v).holdsTheBentPicture(), "the quick frames were bent"); \
        QSKIP(kNoSlowFrame);                                               \
    }

}  // namespace

class FrameCancelTest : public QObject {
    Q_OBJECT

private slots:
    // The live loop's bent frame is the standalone bent picture (and not the straight one).
    // The view grows until a frame is slow enough to report; its reports rise and end at 100, and
    // the next frame reports from its start.
    void slowFrameReportsRisingProgressEndingAt100() {
        BentView v;
        QVERIFY(v.startFrameOfSize(320, 240));
        QVERIFY(waitFrames(*v.main, 2));
        QVERIFY(v.holdsTheBentPicture());
        std::vector<std::pair<long, int>> reports;  // (frame, percent)
        connect(v.main.get(), &MainView::frameProgress, this,
                [&](int percent) { reports.emplace_back(v.main->framesStarted(), percent); });
        std::vector<int> seen;
        long slowFrame = -1;
        // A quick frame right after a slow one reports too (the bar stays up) and then ends with
        // -1: only a frame whose reports end at 100 was slow itself.
        for (int w = 160, h = 120; !(seen.size() >= 2 && seen.back() == 100) && w <= 5120;
             w *= 2, h *= 2) {
            seen.clear();
            QVERIFY(v.startFrameOfSize(w, h));
            slowFrame = v.main->framesStarted();
            QVERIFY(waitUntil([&] { return v.main->framesStarted() > slowFrame; }, kLongWait) >= 0);
            for (const auto& [frame, percent] : reports)
                if (frame == slowFrame) seen.push_back(percent);
        }
        if (reports.empty()) QSKIP(kNoSlowFrame);
        QVERIFY2(seen.size() >= 2 && seen.front() < 100 && seen.back() == 100,
                 "a slow frame reports its progress while it renders");
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QVERIFY(waitUntil([&] { return reports.back().first == slowFrame + 1; }, 5000) >= 0);
        QVERIFY(reports.back().second < 100);
        // Plain frames of a small view are quick again, and the progress goes away.
        v.main->slotEnableLightbending(false);
        v.main->resize(320, 240);
        QVERIFY(waitUntil([&] { return reports.back().second == -1; }, 60000) >= 0);
    }

    // A tool that holds the loop gets control back once the frame under way has ended, finished
    // rather than cancelled; switching bending off stops the next one at once (switching it to
    // the state it is in does not); destroying the view does not wait for a third one.
    void holdWaitsWhileSwitchAndCloseStopTheBentFrame() {
        BentView v;
        MainView& main = *v.main;
        SLOW_BENT_FRAME_OR_SKIP(v);
        TimeRT* engine = main.rootView().view()->engine();
        const long frame = main.framesStarted();
        main.suspendRenderingUntilIdle();
        QVERIFY(!main.isRendering() && main.isFramePending());
        QCOMPARE(main.framesStarted(), frame);
        QVERIFY(!engine->wasCancelled());
        main.resumeRendering();
        QCOMPARE(main.framesStarted(), frame + 1);

        spin(300);  // the next frame, as large, is under way
        main.slotEnableLightbending(false);
        const qint64 stopped = waitUntil([&] { return !main.isRendering(); }, 60000);
        qInfo("the bent frame stopped %lld ms after the switch", stopped);
        QVERIFY2(stopped >= 0 && stopped < kStopWithinMs, "the frame stops soon after the switch");
        QVERIFY(engine->wasCancelled());
        QVERIFY(waitFrames(main, 2));
        main.slotEnableLightbending(false);
        QVERIFY(!engine->wasCancelled());

        main.slotEnableLightbending(true);
        QVERIFY(waitFrames(main, 1));
        spin(300);
        QElapsedTimer closing;
        closing.start();
        v.main.reset();
        qInfo("the view was gone %lld ms after closing", closing.elapsed());
        QVERIFY2(closing.elapsed() < kStopWithinMs, "closing does not wait for the frame");
    }

    // The same switch made for one view in its context menu: the menu holds the next frame back
    // while it is open, but the frame under way is cancelled at once rather than finished. The
    // Januscircle is drawn over the picture: switching it leaves the frame alone.
    void contextMenuEffectStopsTheBentFrame() {
        BentView v;
        MainView& main = *v.main;
        SLOW_BENT_FRAME_OR_SKIP(v);
        GlView* view = main.rootView().view();
        bool underWay = false, cancelled = false;
        qint64 stoppedMs = -1;
        QTimer::singleShot(0, this, [&] {  // runs in the menu's own event loop
            underWay = view->isContextMenuOpen() && main.isRendering();
            view->aberrationChecker().disableAction()->trigger();
            stoppedMs = waitUntil([&] { return !main.isRendering(); }, 60000);
            cancelled = view->engine()->wasCancelled();
            QApplication::activePopupWidget()->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(40, 40),
                                view->mapToGlobal(QPoint(40, 40)));
        QCoreApplication::sendEvent(view, &event);
        QVERIFY2(underWay, "the bent frame was still being rendered when the menu opened");
        QCOMPARE(view->aberrationChecker().choice(), EffectChoice::Disable);
        qInfo("the bent frame stopped %lld ms after the menu choice", stoppedMs);
        QVERIFY2(cancelled, "the frame was cancelled, not finished");
        QVERIFY(stoppedMs >= 0 && stoppedMs < kStopWithinMs);
        QVERIFY(waitUntil([&] { return main.isRendering(); }, 60000) >= 0);
        view->januscircleChecker().enableAction()->trigger();
        QVERIFY(!view->engine()->wasCancelled());
    }

    // P pauses and resumes and says so; a menu's brief pause and other keys do not.
    void pKeyAnnouncesThePause() {
        BuiltInView v;
        MainView& main = v.main;
        std::vector<bool> announced;
        connect(&main, &MainView::pausedChanged, this, [&](bool p) { announced.push_back(p); });
        main.setPaused(true);
        main.setPaused(false);
        QVERIFY(main.viewKeyPress(Qt::Key_P));
        main.viewKeyRelease(Qt::Key_P);
        QVERIFY(main.isPaused());
        main.viewKeyPress(Qt::Key_Up);
        main.viewKeyRelease(Qt::Key_Up);
        QVERIFY(main.viewKeyPress(Qt::Key_P));
        QCOMPARE(announced, std::vector<bool>({true, false}));
        QVERIFY(!main.isPaused());
    }
};

QTEST_MAIN(FrameCancelTest)
#include "framecancel_test.moc"
