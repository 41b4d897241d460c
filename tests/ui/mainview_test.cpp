// The frame loop: frame rate from the last ten time stamps, holding frames while a context menu
// is open, each view rendering with its own effect overrides, and the picture drawn by OpenGL
// exactly as the engine rendered it (directly and stretched, also while the next frame renders).
#include <QMenu>
#include <QSplitter>
#include <QtTest>
#include <cmath>
#include <functional>
#include <random>

#include "engine/views/frametimes.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"

using namespace viewtest;

namespace {

// Pixels of a grabbed view that differ from a W x H frame (row 0 at the bottom) stretched by
// nearest pixel to the grab's size.
int stretchMismatches(const QImage& shown, const uint32_t* frame, int W, int H) {
    const int w = shown.width(), h = shown.height();
    std::vector<uint32_t> stretched;
    PixelBuffer::scaleNearest(frame, W, H, w, h, stretched);
    int mismatches = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t r, g, b, a;
            PixelBuffer::toBytes(stretched[size_t(h - 1 - y) * w + x], r, g, b, a);
            if (shown.pixel(x, y) != qRgb(r, g, b)) ++mismatches;
        }
    return mismatches;
}

// Sum of the three channels over the middle third of a w x h picture.
double middleBrightness(const std::vector<uint32_t>& pixels, int w, int h) {
    double sum = 0.0;
    for (int y = h / 3; y < 2 * h / 3; ++y)
        for (int x = w / 3; x < 2 * w / 3; ++x) {
            const uint32_t p = pixels[size_t(y) * w + x];
            sum += double(p & 0xff) + double((p >> 8) & 0xff) + double((p >> 16) & 0xff);
        }
    return sum;
}

using Switch = std::function<ActionChecker&(GlView&)>;
using Setup = std::function<void(MainView&, RenderSettings&)>;
using Change = std::function<void(RenderSettings&)>;

}  // namespace

Q_DECLARE_METATYPE(Switch)
Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Change)

class MainViewTest : public QObject {
    Q_OBJECT

private slots:
    // The ring against a brute-force rate over the recorded stamps.
    void frameRateFromTheLastTenStamps() {
        FrameTimes ring;
        QCOMPARE(ring.framesPerSecond(), 0.0f);
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> gap(0.005, 0.2);
        std::vector<double> stamps;
        double t = 3.0;
        for (int i = 0; i < 37; ++i) {
            t += gap(rng);
            stamps.push_back(t);
            ring.record(t);
            const int n = int(stamps.size());
            double expected;
            if (n == 1)
                expected = INFINITY;
            else if (n < 10)
                expected = n / (stamps.back() - stamps.front());
            else
                expected = 10.0 / (stamps.back() - stamps[n - 10]);
            QCOMPARE(ring.count(), std::min(n, 10));
            if (n == 1)
                QVERIFY(std::isinf(ring.framesPerSecond()));
            else
                QCOMPARE(ring.framesPerSecond(), float(expected));
        }
        // Ten frames 25 ms apart: 10 / 0.225 s.
        FrameTimes even;
        for (int i = 0; i < 10; ++i) even.record(1.0 + 0.025 * i);
        QCOMPARE(even.framesPerSecond(), float(10.0 / 0.225));
    }

    // The live loop's rate agrees with the document-clock times at which its steps ran.
    void liveFrameRateAfterTenFrames() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.resize(640, 480);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        std::vector<int> stepTimes;
        connect(&main, &MainView::updateStatusBar, this,
                [&] { stepTimes.push_back(doc.clockMs()); });
        QVERIFY(waitFrames(main, 12));
        main.suspendRendering();
        QVERIFY(holdFrames(main));
        const size_t n = stepTimes.size();
        QVERIFY(n >= 11);
        const double span = (stepTimes[n - 1] - stepTimes[n - 10]) / 1000.0;
        const double expected = 10.0 / span;
        const float fps = main.framesPerSecond();
        qInfo("frames per second %g, from step times %g", fps, expected);
        // Stamps are taken a few milliseconds before each step ends.
        QVERIFY(std::fabs(fps - expected) <= 0.15 * expected + 1.0);
        main.resumeRendering();
    }

    // A real context menu: the hold while it is open, the pause, and the frame that
    // starts as soon as it closes. Choosing "Remove" in it removes the view afterwards.
    void contextMenuHoldsFramesAndRemoveWorksFromIt() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.resize(600, 300);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        main.rootView().view()->splitHorizontally();
        QVERIFY(waitFrames(main, 3));
        GlView* left = main.rootView().child(0)->view();
        GlView* right = main.rootView().child(1)->view();

        QStringList entries;
        long startedWhileOpen = -1;
        bool pausedWhileOpen = false;
        bool chooseRemove = false;
        long heldAt = -1;
        auto inspect = [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            entries = menuTexts(*menu);
            pausedWhileOpen = main.isPaused();
            // A frame that was running when the menu opened ends; the next one waits.
            for (int i = 0; i < 6000 && !main.isFramePending(); ++i) spin(5);
            heldAt = main.framesStarted();
            spin(300);
            startedWhileOpen = main.framesStarted() - heldAt;
            if (chooseRemove) {
                for (QAction* a : menu->actions())
                    if (a->text() == "Remove") a->trigger();
            }
            menu->close();
        };
        QTimer::singleShot(200, this, inspect);
        const QPoint centre(left->width() / 2, left->height() / 2);
        QContextMenuEvent event(QContextMenuEvent::Mouse, centre, left->mapToGlobal(centre));
        QApplication::sendEvent(left, &event);
        QVERIFY(entries.contains("Remove"));
        QCOMPARE(startedWhileOpen, 0L);
        QVERIFY(pausedWhileOpen);
        QVERIFY(!main.isPaused());
        QVERIFY(!main.isMenuOpen());
        // Closing the menu started the held frame at once.
        QCOMPARE(main.framesStarted(), heldAt + 1);

        chooseRemove = true;
        QTimer::singleShot(200, this, inspect);
        QApplication::sendEvent(left, &event);
        spin(100);
        QVERIFY(waitFrames(main, 2));
        QVERIFY(main.rootView().isLeaf());
        QCOMPARE(main.rootView().view(), right);
        QVERIFY(!main.isMenuOpen());
    }

    // {the overriding view's switch, its choice, the document's state, what the overriding
    // view renders}: in a split, the view with the override renders exactly the standalone
    // picture of its settings, the other one the document's; a brightening searchlight (ahead
    // of the D = 1 ring at speed 0.5) darkens no channel of any pixel and the middle clearly
    // brightens.
    void eachViewRendersItsOwnEffects_data() {
        QTest::addColumn<Switch>("which");
        QTest::addColumn<int>("choice");
        QTest::addColumn<Setup>("document");
        QTest::addColumn<Change>("expected");
        QTest::addColumn<bool>("brighter");
        const Switch aberration = [](GlView& v) -> ActionChecker& { return v.aberrationChecker(); };
        const Switch doppler = [](GlView& v) -> ActionChecker& { return v.dopplerChecker(); };
        const Switch searchlight = [](GlView& v) -> ActionChecker& {
            return v.searchlightChecker();
        };
        const int off = int(EffectChoice::Disable), on = int(EffectChoice::Enable);
        const Setup fast = [](MainView&, RenderSettings& s) { s.speed = 0.9f; };
        const Setup half = [](MainView&, RenderSettings& s) { s.speed = 0.5f; };
        QTest::newRow("aberration off")
            << aberration << off << fast << Change([](RenderSettings& s) { s.aberration = false; })
            << false;
        QTest::newRow("Doppler off")
            << doppler << off << fast << Change([](RenderSettings& s) { s.srtDoppler = false; })
            << false;
        QTest::newRow("Doppler off, document without aberration")
            << doppler << off << Setup([](MainView& m, RenderSettings& s) {
                   s.speed = 0.9f;
                   m.slotViewAberration(false);
               })
            << Change([](RenderSettings& s) { s.srtDoppler = false; }) << false;
        QTest::newRow("searchlight on")
            << searchlight << on << half << Change([](RenderSettings& s) { s.searchlight = 4; })
            << true;
        QTest::newRow("photon counting on")
            << searchlight << on << Setup([](MainView& m, RenderSettings& s) {
                   s.speed = 0.5f;
                   m.setSearchlightExponent(3);
               })
            << Change([](RenderSettings& s) { s.searchlight = 3; }) << true;
        QTest::newRow("searchlight off, document on")
            << searchlight << off << Setup([](MainView& m, RenderSettings& s) {
                   s.speed = 0.5f;
                   m.setSearchlightExponent(3);
                   m.slotViewSearchlight(true);
               })
            << Change([](RenderSettings& s) { s.searchlight = 0; }) << false;
    }

    void eachViewRendersItsOwnEffects() {
        QFETCH(Switch, which);
        QFETCH(int, choice);
        QFETCH(Setup, document);
        QFETCH(Change, expected);
        QFETCH(bool, brighter);
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);  // not shown: engines render at their default size
        main.setPaused(true);          // no forward motion, so every frame is the same
        main.rootView().view()->splitHorizontally();
        GlView* own = main.rootView().child(0)->view();
        GlView* following = main.rootView().child(1)->view();
        document(main, *doc.getSettings());
        which(*own).setChoice(EffectChoice(choice));
        QVERIFY(waitFrames(main, 3));
        QVERIFY(holdFrames(main));
        QVERIFY(own->frameSettings() != doc.getSettings());
        QCOMPARE(following->frameSettings(), doc.getSettings());
        const int w = own->engine()->ownPixelBuffer().width();
        const int h = own->engine()->ownPixelBuffer().height();
        RenderSettings mine(*doc.getSettings());
        expected(mine);
        const std::vector<uint32_t> docs = referenceRender(doc, *doc.getSettings(), w, h);
        const std::vector<uint32_t> owns = referenceRender(doc, mine, w, h);
        QVERIFY(owns != docs);
        QVERIFY(pixelsOf(following) == docs);
        QVERIFY(pixelsOf(own) == owns);
        if (brighter) {
            int darker = 0;
            for (size_t i = 0; i < owns.size(); ++i)
                for (int shift : {0, 8, 16})
                    if (((owns[i] >> shift) & 0xff) < ((docs[i] >> shift) & 0xff)) ++darker;
            QCOMPARE(darker, 0);
            QVERIFY(middleBrightness(owns, w, h) > 1.2 * middleBrightness(docs, w, h));
        }
        main.resumeRendering();
    }

    // A paint that comes while the pool overwrites the engine's buffer with the next frame (the
    // toolkit postpones repaints as it likes) still shows the last whole frame, never an older
    // one and never a half-rendered one.
    void aPaintDuringRenderingShowsTheLastWholeFrame() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.resize(320, 200);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        GlView* view = main.rootView().view();
        QImage previous;
        for (int round = 0; round < 4; ++round) {
            doc.getSettings()->speed = 0.2f * float(round);  // each round's picture differs
            QVERIFY(waitFrames(main, 3));
            QVERIFY(holdFrames(main));
            const QImage last =
                view->engine()->ownPixelBuffer().toImage().convertToFormat(QImage::Format_RGB32);
            const std::vector<uint32_t> lastPixels = pixelsOf(view);
            QVERIFY(last != previous);
            previous = last;
            main.resumeRendering();  // the held frame is shown and the next one starts at once
            QImage shown = view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
            QCOMPARE(shown, last);

            // A resize now gives the widget a fresh framebuffer and a paint at once, long before
            // the frame under way is done: it shows the last whole frame stretched.
            const int w = 300 - 20 * round, h = 180 - 10 * round;
            view->resize(w, h);
            shown = view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
            QCOMPARE(shown.size(), QSize(w, h));
            QCOMPARE(stretchMismatches(shown, lastPixels.data(), last.width(), last.height()), 0);
        }
        QVERIFY(holdFrames(main));
        main.resumeRendering();
    }

    // A window resized between two frames: the frame finished at the old size is what the view
    // shows next (stretched), not the engine's buffer after it took the new size for the next
    // frame.
    void aResizeBetweenFramesShowsTheFinishedFrameStretched() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.resize(320, 200);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        GlView* view = main.rootView().view();
        QVERIFY(waitFrames(main, 3));
        QVERIFY(holdFrames(main));
        const std::vector<uint32_t> finished = pixelsOf(view);
        QCOMPARE(view->engine()->ownPixelBuffer().width(), 320);
        main.resize(420, 260);
        spin(50);
        QCOMPARE(view->size(), QSize(420, 260));
        main.resumeRendering();  // prepares the next frame at 420 x 260 and shows the held one
        QCOMPARE(view->engine()->ownPixelBuffer().width(), 420);
        const QImage shown = view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), QSize(420, 260));
        QCOMPARE(stretchMismatches(shown, finished.data(), 320, 200), 0);
        QVERIFY(holdFrames(main));
        main.resumeRendering();
    }

    // The status-bar read-outs at the centre of a view: resting and transformed direction are
    // lookat, the Doppler read-out is gamma.
    void cursorReadOutsAtTheCentre() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.resize(400, 400);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QVERIFY(waitFrames(main, 2));
        doc.getSettings()->speed = 0.6f;
        int statusUpdates = 0;
        connect(&main, &MainView::updateStatusBar, this, [&] { ++statusUpdates; });
        main.suspendRendering();
        GlView* view = main.rootView().view();
        hover(view, QPoint(200, 200));
        QTRY_COMPARE(main.cursorX(), 200);
        QCOMPARE(main.cursorY(), 200);
        QVERIFY(statusUpdates > 0);  // a square view refreshes the status bar on moves
        const RenderSettings& s = *doc.getSettings();
        const Vec4f rest = main.cursorRestingDirection();
        const Vec4f moved = main.cursorTransformedDirection();
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(rest[i], s.lookat[i]);
            QCOMPARE(moved[i], s.lookat[i]);
        }
        QCOMPARE(main.cursorDoppler(), 1.25f);  // gamma(0.6) = 1 / 0.8

        // Up and to the right: u = (300 - 200) / 400 = 0.25, v = (100 - 200) / 400 = -0.25.
        hover(view, QPoint(300, 100));
        QTRY_COMPARE(main.cursorX(), 300);
        QCOMPARE(main.navigation().cursorU(), 0.25f);
        QCOMPARE(main.navigation().cursorV(), -0.25f);
        const Vec4f rest2 = main.cursorRestingDirection();
        const Vec4f moved2 = main.cursorTransformedDirection();
        const double q = std::sqrt(1.125);
        for (int i = 0; i < 3; ++i) {
            const double side = 0.25 * s.dirx[i] - 0.25 * s.diry[i];
            QVERIFY(std::fabs(rest2[i] - (side + s.lookat[i])) < 1e-6);
            QVERIFY(std::fabs(moved2[i] - (side + q * s.lookat[i])) < 1e-6);
        }
        // (beta r / t + 1) gamma with r = |(u, v)| and t = sqrt(u^2 + v^2 + 1).
        const double r = std::sqrt(0.125);
        QVERIFY(std::fabs(main.cursorDoppler() - (0.6 * r / q + 1.0) * 1.25) < 1e-5);
        main.resumeRendering();
    }
};

QTEST_MAIN(MainViewTest)
#include "mainview_test.moc"
