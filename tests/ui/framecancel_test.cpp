// Slow frames in the live loop: a tool's hold waits for a bent frame to end; switching the effect
// off or destroying the view stops it at once (a bent frame once ran on for seconds after each of
// these).
#include <memory>
#include <vector>

#include "base/traceoutput.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"

using namespace viewtest;

constexpr int kStopWithinMs = 1500;  // "a fraction of a second", with room for a loaded machine

class FrameCancelTest : public QObject {
    Q_OBJECT

private slots:
    // The default scene's black hole in view, light bending on: the view grows until a whole
    // frame takes 2 s. A tool's hold gets control back once the next frame has ended, finished
    // rather than cancelled; switching bending off stops the one after at once; closing does not
    // wait for a third.
    void holdWaitsWhileSwitchAndCloseStopTheBentFrame() {
        TraceOutput::setEnabled(false);
        DocRT doc;
        QVERIFY(doc.loadFile(TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge.tavolin"));
        auto main = std::make_unique<MainView>(nullptr, &doc);
        main->setPaused(true);
        main->slotEnableLightbending(true);
        main->show();
        const PixelBuffer& b = main->rootView().view()->engine()->ownPixelBuffer();
        qint64 took = 0;
        for (int w = 1200, h = 900; w <= 4800 && took < 2000; w *= 2, h *= 2) {
            main->resize(w, h);
            QVERIFY(waitUntil([&] { return b.width() == w && main->isRendering(); }, 600000) >= 0);
            const long frame = main->framesStarted();
            took = waitUntil([&] { return main->framesStarted() > frame; }, 600000);
        }
        spin(300);
        if (took < 2000 || !main->isRendering()) QSKIP("no bent frame stayed slow in this run");
        TimeRT* engine = main->rootView().view()->engine();
        main->suspendRenderingUntilIdle();
        QVERIFY(!main->isRendering() && !engine->wasCancelled());
        main->resumeRendering();
        spin(300);
        main->slotEnableLightbending(false);
        const qint64 stopped = waitUntil([&] { return !main->isRendering(); }, 60000);
        QVERIFY2(stopped >= 0 && stopped < kStopWithinMs, "the frame stops soon after the switch");
        QVERIFY(engine->wasCancelled());
        main->slotEnableLightbending(true);
        QVERIFY(waitFrames(*main, 1));
        spin(300);
        QElapsedTimer closing;
        closing.start();
        main.reset();
        QVERIFY2(closing.elapsed() < kStopWithinMs, "closing does not wait for the frame");
    }
};

QTEST_MAIN(FrameCancelTest)
#include "framecancel_test.moc"
