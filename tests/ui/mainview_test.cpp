// The frame loop: frame rate from the last ten time stamps, holding frames while a context menu
// is open, each view rendering with its own effect overrides, the picture drawn by OpenGL exactly
// as the engine rendered it (also stretched while the next frame renders), and the cursor
// read-outs against closed-form directions and Doppler factors.
#include <cmath>
#include <functional>
#include <random>

#include "views/frametimes.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"

using namespace viewtest;

namespace {

// Pixels of a grabbed view that differ from a W x H frame (row 0 at the bottom) stretched by
// nearest pixel to the grab's size.
int stretchMismatches(const QImage& shown, const std::vector<uint32_t>& frame, int W, int H) {
    const int w = shown.width(), h = shown.height();
    std::vector<uint32_t> stretched;
    PixelBuffer::scaleNearest(frame.data(), W, H, w, h, stretched);
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
        for (int x = w / 3; x < 2 * w / 3; ++x)
            for (int shift : {0, 8, 16}) sum += double((pixels[size_t(y) * w + x] >> shift) & 0xff);
    return sum;
}

// A shown main view of the built-in scene.
struct Shown {
    DocRT doc;
    MainView main;
    static DocRT* builtIn(DocRT& doc) {
        doc.requestBuiltInScene();
        return &doc;
    }
    Shown(int w, int h) : main(nullptr, builtIn(doc)) {
        main.resize(w, h);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
    }
};

using Switch = std::function<ActionChecker&(GlView&)>;
using Setup = std::function<void(MainView&, RenderSettings&)>;
using Change = std::function<void(RenderSettings&)>;
using Read = std::function<bool(const RenderSettings&)>;

}  // namespace

Q_DECLARE_METATYPE(Switch)
Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(Read)

class MainViewTest : public QObject {
    Q_OBJECT

private slots:
    // The ring against a brute-force rate over the recorded stamps; the live loop's rate against
    // the document-clock times at which its steps ran.
    void frameRateFromTheLastTenStamps() {
        FrameTimes ring;
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> gap(0.005, 0.2);
        std::vector<double> stamps{3.0};
        ring.record(3.0);
        QVERIFY(std::isinf(ring.framesPerSecond()));
        for (int n = 2; n <= 37; ++n) {
            stamps.push_back(stamps.back() + gap(rng));
            ring.record(stamps.back());
            const double expected = n < 10 ? n / (stamps.back() - stamps.front())
                                           : 10.0 / (stamps.back() - stamps[n - 10]);
            QCOMPARE(ring.count(), std::min(n, 10));
            QCOMPARE(ring.framesPerSecond(), float(expected));
        }

        Shown s(640, 480);
        std::vector<int> steps;
        connect(&s.main, &MainView::updateStatusBar, this,
                [&] { steps.push_back(s.doc.clockMs()); });
        QVERIFY(waitFrames(s.main, 12));
        QVERIFY(holdFrames(s.main));
        const size_t n = steps.size();
        const double expected = 10.0 / ((steps[n - 1] - steps[n - 10]) / 1000.0);
        // Stamps are taken a few milliseconds before each step ends.
        QVERIFY(std::fabs(s.main.framesPerSecond() - expected) <= 0.15 * expected + 1.0);
        s.main.resumeRendering();
    }

    // A real context menu: the pause and the hold while it is open, and the frame that starts as
    // soon as it closes. Choosing "Remove" in it removes the view afterwards.
    void contextMenuHoldsFramesAndRemoveWorksFromIt() {
        Shown s(600, 300);
        MainView& main = s.main;
        main.rootView().view()->splitHorizontally();
        QVERIFY(waitFrames(main, 3));
        GlView* left = main.rootView().child(0)->view();
        GlView* right = main.rootView().child(1)->view();
        long startedWhileOpen = -1, heldAt = -1;
        bool pausedWhileOpen = false, chooseRemove = false;
        auto inspect = [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            pausedWhileOpen = main.isPaused();
            // A frame that was running when the menu opened ends; the next one waits.
            for (int i = 0; i < 6000 && !main.isFramePending(); ++i) spin(5);
            heldAt = main.framesStarted();
            spin(300);
            startedWhileOpen = main.framesStarted() - heldAt;
            for (QAction* a : menu->actions())
                if (chooseRemove && a->text() == "Remove") a->trigger();
            menu->close();
        };
        QTimer::singleShot(200, this, inspect);
        const QPoint centre(left->width() / 2, left->height() / 2);
        QContextMenuEvent event(QContextMenuEvent::Mouse, centre, left->mapToGlobal(centre));
        QApplication::sendEvent(left, &event);
        QCOMPARE(startedWhileOpen, 0L);
        QVERIFY(pausedWhileOpen);
        QVERIFY(!main.isPaused() && !main.isMenuOpen());
        QCOMPARE(main.framesStarted(), heldAt + 1);  // closing the menu started the held frame

        chooseRemove = true;
        QTimer::singleShot(200, this, inspect);
        QApplication::sendEvent(left, &event);
        QVERIFY(waitFrames(main, 2));
        QCOMPARE(main.rootView().view(), right);
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
        const Switch light = [](GlView& v) -> ActionChecker& { return v.searchlightChecker(); };
        const Switch bending = [](GlView& v) -> ActionChecker& {
            return v.lightBendingChecker();
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
            << light << on << half << Change([](RenderSettings& s) { s.searchlight = 4; }) << true;
        QTest::newRow("photon counting on")
            << light << on << Setup([](MainView& m, RenderSettings& s) {
                   s.speed = 0.5f;
                   m.setSearchlightExponent(3);
               })
            << Change([](RenderSettings& s) { s.searchlight = 3; }) << true;
        QTest::newRow("searchlight off, document on")
            << light << off << Setup([](MainView& m, RenderSettings& s) {
                   s.speed = 0.5f;
                   m.setSearchlightExponent(3);
                   m.slotViewSearchlight(true);
               })
            << Change([](RenderSettings& s) { s.searchlight = 0; }) << false;
        // Lensing on in one view only: the two pictures of the hole side by side.
        QTest::newRow("light bending on")
            << bending << on << Setup([](MainView&, RenderSettings&) {})
            << Change([](RenderSettings& s) { s.lightBending = true; }) << false;
    }

    // The Effects menu holds one Enable / Disable / Use Parent group per effect, in this order.
    void theEffectsMenuListsEveryGroupInOrder() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.setPaused(true);
        const QStringList entries = menuTexts(main.rootView().view()->effectsMenu());
        qsizetype last = -1;
        for (const char* group : {"Aberration", "Doppler Effect", "Searchlight",
                                  "Light Travel Time", "Starry Sky", "Light Bending",
                                  "Januscircle"}) {
            const qsizetype at = entries.indexOf(QString("Enable ") + group);
            QVERIFY2(at > last, group);
            QVERIFY2(entries.contains(QString("Disable ") + group), group);
            QVERIFY2(entries.contains(QString("Use Parent ") + group), group);
            last = at;
        }
        main.resumeRendering();
    }

    // {a document switch's view group, how a frame's settings show it}: a view that enables it
    // against the document renders from its own copy with the switch on; the other view follows
    // the document. (Every combination of choice and document state: ViewEffects' own test.)
    void documentSwitchesOverridePerView_data() {
        QTest::addColumn<Switch>("which");
        QTest::addColumn<Read>("isOn");
        QTest::newRow("light travel time")
            << Switch([](GlView& v) -> ActionChecker& { return v.lightTravelTimeChecker(); })
            << Read([](const RenderSettings& s) { return s.lightTravelTime; });
        QTest::newRow("starry sky")
            << Switch([](GlView& v) -> ActionChecker& { return v.starrySkyChecker(); })
            << Read([](const RenderSettings& s) { return s.starrySky; });
        QTest::newRow("light bending")
            << Switch([](GlView& v) -> ActionChecker& { return v.lightBendingChecker(); })
            << Read([](const RenderSettings& s) { return s.lightBending; });
    }

    void documentSwitchesOverridePerView() {
        QFETCH(Switch, which);
        QFETCH(Read, isOn);
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.setPaused(true);
        main.rootView().view()->splitHorizontally();
        GlView* own = main.rootView().child(0)->view();
        GlView* following = main.rootView().child(1)->view();
        which(*own).setChoice(EffectChoice::Enable);
        QVERIFY(waitFrames(main, 2));
        QVERIFY(holdFrames(main));
        QVERIFY(own->frameSettings() != doc.getSettings());
        QVERIFY(isOn(*own->frameSettings()));
        QCOMPARE(following->frameSettings(), doc.getSettings());
        QVERIFY(!isOn(*doc.getSettings()));
        main.resumeRendering();
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
    // toolkit postpones repaints as it likes) shows the last whole frame, never an older or a
    // half-rendered one; after a resize, that frame stretched. A window resized between two
    // frames shows the frame finished at the old size, not the buffer resized for the next one.
    void aPaintDuringRenderingShowsTheLastWholeFrame() {
        Shown s(320, 200);
        GlView* view = s.main.rootView().view();
        QImage previous;
        for (int round = 0; round < 3; ++round) {
            s.doc.getSettings()->speed = 0.2f * float(round);  // each round's picture differs
            QVERIFY(waitFrames(s.main, 3));
            QVERIFY(holdFrames(s.main));
            const PixelBuffer& b = view->engine()->ownPixelBuffer();
            const QImage last = b.toImage().convertToFormat(QImage::Format_RGB32);
            const std::vector<uint32_t> lastPixels = pixelsOf(view);
            QVERIFY(last != previous);
            previous = last;
            if (round == 2) s.main.resize(420, 260);  // between frames
            s.main.resumeRendering();  // the held frame is shown and the next one starts at once
            if (round < 2) {
                QCOMPARE(view->grabFramebuffer().convertToFormat(QImage::Format_RGB32), last);
                view->resize(300 - 20 * round, 180 - 10 * round);  // while the frame renders
            } else {
                QCOMPARE(b.width(), 420);
            }
            const QImage shown = view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
            QCOMPARE(shown.size(), view->size());
            QCOMPARE(stretchMismatches(shown, lastPixels, last.width(), last.height()), 0);
        }
        QVERIFY(holdFrames(s.main));
        s.main.resumeRendering();
    }

    // The cursor read-outs of a square view at speed 0.6: at the centre, resting and transformed
    // direction are lookat and the Doppler read-out is gamma; up and to the right by a quarter
    // of the view, by the camera's plane at distance 1.
    void cursorReadOutsAgainstTheCamera() {
        Shown s(400, 400);
        QVERIFY(waitFrames(s.main, 2));
        s.doc.getSettings()->speed = 0.6f;
        s.main.suspendRendering();
        GlView* view = s.main.rootView().view();
        const RenderSettings& set = *s.doc.getSettings();
        // u = (x - 200) / 400, v = (y - 200) / 400; t = sqrt(u^2 + v^2 + 1).
        for (const QPoint at : {QPoint(200, 200), QPoint(300, 100)}) {
            hover(view, at);
            QTRY_COMPARE(s.main.cursorX(), at.x());
            const double u = (at.x() - 200) / 400.0, v = (at.y() - 200) / 400.0;
            QCOMPARE(s.main.navigation().cursorU(), float(u));
            QCOMPARE(s.main.navigation().cursorV(), float(v));
            const double r = std::hypot(u, v), t = std::sqrt(r * r + 1.0);
            const Vec4f rest = s.main.cursorRestingDirection();
            const Vec4f moved = s.main.cursorTransformedDirection();
            for (int i = 0; i < 3; ++i) {
                const double side = u * set.dirx[i] + v * set.diry[i];
                QVERIFY(std::fabs(rest[i] - (side + set.lookat[i])) < 1e-6);
                QVERIFY(std::fabs(moved[i] - (side + t * set.lookat[i])) < 1e-6);
            }
            // (beta r / t + 1) gamma, with gamma(0.6) = 1.25.
            QVERIFY(std::fabs(s.main.cursorDoppler() - (0.6 * r / t + 1.0) * 1.25) < 1e-5);
        }
        s.main.resumeRendering();
    }
};

QTEST_MAIN(MainViewTest)
#include "mainview_test.moc"
