// The frame loop and its views: frame rate from the last ten time stamps, holding frames while a
// context menu is open, each view rendering with its own effect overrides, the picture drawn by
// OpenGL exactly as the engine rendered it (also stretched while the next frame renders), the
// cursor read-outs against closed-form directions and Doppler factors, the split-view tree (and
// splitting and removing while frames render), and the Januscircle against a bisection of the
// camera's own Doppler formula.
#include <QElapsedTimer>
#include <cmath>
#include <functional>
#include <random>

#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "views/binaryview.h"
#include "views/frametimes.h"
#include "views/januscircle.h"

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

// Checks the tree invariants below node (parents, splitters, widget placement) and lists its
// views; an empty list when an invariant fails.
std::vector<GlView*> viewsOf(BinaryView* node) {
    if (node->isLeaf()) {
        if (!node->view() || node->splitter() ||
            node->view()->parentWidget() != node->parentSplitter())
            return {};
        return {node->view()};
    }
    QSplitter* split = node->splitter();
    if (node->view() || !split || split->parentWidget() != node->parentSplitter() ||
        split->count() != 2)
        return {};
    std::vector<GlView*> views;
    for (int i = 0; i < 2; ++i) {
        BinaryView* child = node->child(i);
        if (child->parent() != node || child->parentSplitter() != split ||
            split->widget(i) != child->widget())
            return {};
        const std::vector<GlView*> below = viewsOf(child);
        if (below.empty()) return {};
        views.insert(views.end(), below.begin(), below.end());
    }
    return views;
}

// The camera's Doppler factor of the ray through image-plane point (x, 0), in double.
double cameraDoppler(double x, double beta, bool aberration) {
    const double gamma = 1.0 / std::sqrt(1.0 - beta * beta);
    const double s = std::sqrt(x * x + 1000000.0);
    if (!aberration) return 1.0 / ((beta * 1000.0 / s + 1.0) * gamma);
    const double f = (1000.0 - beta * s) * gamma;
    const double d = std::sqrt(x * x + f * f);
    return 1.0 / ((beta * f / d + 1.0) * gamma);
}

// Image-plane x > 0 where the factor crosses 1, or -1 if it does not within 10^7 units.
double unitCrossing(double beta, bool aberration) {
    double lo = 0.0, hi = 1.0;
    const bool belowAtCentre = cameraDoppler(0.0, beta, aberration) < 1.0;
    while ((cameraDoppler(hi, beta, aberration) < 1.0) == belowAtCentre) {
        lo = hi;
        hi *= 2.0;
        if (hi > 1e7) return -1.0;
    }
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        ((cameraDoppler(mid, beta, aberration) < 1.0) == belowAtCentre ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
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

        BuiltInView s(640, 480);
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
        BuiltInView s(600, 300);
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

    // {the overriding view's switch, its choice, the document's state, what the overriding view
    // renders, whether its picture must differ from the document's}: in a split, the view with
    // the override renders from its own copy of the settings exactly the standalone picture of
    // them, the other one the document's. (Every combination of choice and document state:
    // ViewEffects' own test; how the searchlight brightens: LightShading's.)
    void eachViewRendersItsOwnEffects_data() {
        QTest::addColumn<Switch>("which");
        QTest::addColumn<int>("choice");
        QTest::addColumn<Setup>("document");
        QTest::addColumn<Change>("expected");
        QTest::addColumn<bool>("differs");
        const int off = int(EffectChoice::Disable), on = int(EffectChoice::Enable);
        const Setup fast = [](MainView&, RenderSettings& s) { s.speed = 0.9f; };
        const Setup still = [](MainView&, RenderSettings&) {};
        using Checker = ActionChecker& (GlView::*)();
        auto row = [](const char* name, Checker which, int choice, bool differs, Setup document,
                      Change expected) {
            const Switch pick = [which](GlView& v) -> ActionChecker& { return (v.*which)(); };
            QTest::newRow(name) << pick << choice << document << expected << differs;
        };
        row("aberration off", &GlView::aberrationChecker, off, true, fast,
            [](RenderSettings& s) { s.aberration = false; });
        row("Doppler off", &GlView::dopplerChecker, off, true, fast,
            [](RenderSettings& s) { s.srtDoppler = false; });
        const Setup photons = [](MainView& m, RenderSettings& s) {
            s.speed = 0.5f;
            m.setSearchlightExponent(3);
        };
        row("photon counting on", &GlView::searchlightChecker, on, true, photons,
            [](RenderSettings& s) { s.searchlight = 3; });
        // Lensing on in one view only: the two pictures of the hole side by side.
        row("light bending on", &GlView::lightBendingChecker, on, true, still,
            [](RenderSettings& s) { s.lightBending = true; });
        row("starry sky on", &GlView::starrySkyChecker, on, false, still,
            [](RenderSettings& s) { s.starrySky = true; });
        row("light travel time on", &GlView::lightTravelTimeChecker, on, false, still,
            [](RenderSettings& s) { s.lightTravelTime = true; });
    }

    void eachViewRendersItsOwnEffects() {
        QFETCH(Switch, which);
        QFETCH(int, choice);
        QFETCH(Setup, document);
        QFETCH(Change, expected);
        QFETCH(bool, differs);
        BuiltInView s;  // not shown: engines render at their default size
        MainView& main = s.main;
        main.setPaused(true);  // no forward motion, so every frame is the same
        main.rootView().view()->splitHorizontally();
        GlView* own = main.rootView().child(0)->view();
        GlView* following = main.rootView().child(1)->view();
        document(main, *s.doc.getSettings());
        which(*own).setChoice(EffectChoice(choice));
        QVERIFY(waitFrames(main, 3));
        QVERIFY(holdFrames(main));
        const int w = own->engine()->ownPixelBuffer().width();
        const int h = own->engine()->ownPixelBuffer().height();
        RenderSettings mine(*s.doc.getSettings());
        expected(mine);
        auto flags = [](const RenderSettings& r) {
            return QList<int>{r.aberration,      r.srtDoppler, r.lightBending,
                              r.lightTravelTime, r.starrySky,  r.searchlight};
        };
        QCOMPARE(flags(*own->frameSettings()), flags(mine));
        QCOMPARE(following->frameSettings(), s.doc.getSettings());
        const std::vector<uint32_t> docs = referenceRender(s.doc, *s.doc.getSettings(), w, h);
        const std::vector<uint32_t> owns = referenceRender(s.doc, mine, w, h);
        QVERIFY(!differs || owns != docs);
        QVERIFY(pixelsOf(following) == docs);
        QVERIFY(pixelsOf(own) == owns);
        main.resumeRendering();
    }

    // A paint that comes while the pool overwrites the engine's buffer with the next frame (the
    // toolkit postpones repaints as it likes) shows the last whole frame, never an older or a
    // half-rendered one; after a resize, that frame stretched. A window resized between two
    // frames shows the frame finished at the old size, not the buffer resized for the next one.
    void aPaintDuringRenderingShowsTheLastWholeFrame() {
        BuiltInView s(320, 200);
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
        BuiltInView s(400, 400);
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

    // The new view comes first, both share the room, each engine renders at its view's size; the
    // former view keeps its effect choices. Removals let the sibling take the parent's place,
    // keep the outer splitter's sizes, and never the last view.
    void splitAndRemove() {
        BuiltInView s(801, 400);
        MainView& main = s.main;
        BinaryView& root = main.rootView();
        GlView* a = root.view();
        QVERIFY(!root.remove(a));
        a->aberrationChecker().setChoice(EffectChoice::Disable);
        a->splitHorizontally();  // [new b | a]
        QVERIFY(waitFrames(main, 2));
        GlView* b = root.child(0)->view();
        QCOMPARE(viewsOf(&root), (std::vector<GlView*>{b, a}));
        QCOMPARE(root.splitter()->orientation(), Qt::Horizontal);
        QVERIFY(b->geometry().x() < a->geometry().x());
        QVERIFY(qAbs(b->width() - a->width()) <= 1 + root.splitter()->handleWidth());
        QCOMPARE(b->height(), a->height());
        QCOMPARE(b->aberrationChecker().choice(), EffectChoice::UseParent);
        QCOMPARE(a->aberrationChecker().choice(), EffectChoice::Disable);
        QCOMPARE(b->engine()->ownPixelBuffer().width(), b->width());
        QVERIFY(menuTexts(b->rebuildContextMenu()).contains("Remove"));

        b->splitVertically();  // [(c / b) | a]
        GlView* c = root.child(0)->child(0)->view();
        root.splitter()->setSizes({600, 200});
        spin(50);
        const QList<int> outer = root.splitter()->sizes();
        a->splitVertically();  // [(c / b) | (d / a)]
        GlView* d = root.child(1)->child(0)->view();
        QCOMPARE(viewsOf(&root), (std::vector<GlView*>{c, b, d, a}));
        b->deleteWidget();  // c takes the left node's place
        QCOMPARE(viewsOf(&root), (std::vector<GlView*>{c, d, a}));
        QCOMPARE(root.splitter()->sizes(), outer);
        QVERIFY(waitFrames(main, 2));
        c->deleteWidget();  // the right subtree (d / a) moves up to the root
        QCOMPARE(viewsOf(&root), (std::vector<GlView*>{d, a}));
        QCOMPARE(root.splitter()->orientation(), Qt::Vertical);
        QCOMPARE(root.parentSplitter(), static_cast<QSplitter*>(&main));
        d->deleteWidget();
        QVERIFY(waitFrames(main, 2));
        QCOMPARE(viewsOf(&root), std::vector<GlView*>{a});
        QCOMPARE(a->width(), main.width());
        QCOMPARE(a->engine()->ownPixelBuffer().width(), a->width());
        QCOMPARE(menuTexts(a->rebuildContextMenu()),
                 QStringList({"Split horizontally", "Split vertically", "Effects"}));
    }

    // Random splits and removals, each at any moment of a frame (often while the pool renders
    // the removed view's engine). Under AddressSanitizer this catches an engine or its settings
    // freed too early.
    void randomSplitsAndRemovalsWhileRendering() {
        BuiltInView s(640, 480);
        std::mt19937 rng(12345);
        int removedWhileRendering = 0, removals = 0;
        for (int step = 0; step < 60; ++step) {
            const std::vector<GlView*> views = viewsOf(&s.main.rootView());
            QCOMPARE(int(views.size()), s.main.rootView().viewCount());
            GlView* v = views[rng() % views.size()];
            // Private settings make the engine read the view's own copy while rendering.
            v->dopplerChecker().setChoice(EffectChoice::Disable);
            if (views.size() < 2 || (views.size() < 6 && rng() % 2 == 0)) {
                if (rng() % 2)
                    v->splitHorizontally();
                else
                    v->splitVertically();
            } else {
                // Every other removal waits (up to a fifth of a second) for a frame under way:
                // on a fast machine frames are short, and removals at random moments could all
                // fall between them.
                if (++removals % 2 == 0) {
                    QElapsedTimer waited;
                    waited.start();
                    while (!s.main.isRendering() && waited.elapsed() < 200) spin(1);
                }
                removedWhileRendering += s.main.isRendering();
                v->deleteWidget();
            }
            spin(int(rng() % 15));
        }
        QVERIFY(waitFrames(s.main, 3));
        QVERIFY2(removedWhileRendering > 0, "no removal met a running frame");
    }

    // {speed, aberration, view width, height}: the ring's radius is the bisected crossing of
    // D = 1 on the centre row; no ring at rest, without the Doppler effect (speed 2 stands for
    // it here) or in a view without columns.
    void januscircleRadiusMatchesTheCameraFormula() {
        const struct {
            float beta;
            bool aberration;
            int width, height;
        } cases[] = {
            {0.3f, true, 600, 350},     {0.9f, true, 600, 350},     {0.99f, true, 600, 350},
            {0.999f, true, 300, 500},   {0.9999f, true, 1280, 720}, {-0.95f, false, 640, 480},
            {-0.999f, false, 200, 640}, {0.9f, false, 600, 350},    {-0.9f, true, 600, 350},
            {0.0f, true, 600, 350},     {2.0f, true, 600, 350},     {0.999f, true, 0, 350}};
        for (const auto& c : cases) {
            RenderSettings s;
            s.speed = c.beta > 1.0f ? 0.999f : c.beta;
            s.aberration = c.aberration;
            s.srtDoppler = c.beta <= 1.0f;
            double radius = -1.0, cosine = 0.0;
            const bool visible = Januscircle::radiusInPixels(s, c.width, c.height, radius);
            const double x = unitCrossing(s.speed, c.aberration);
            const QString row =
                QString("%1 %2 %3x%4").arg(c.beta).arg(c.aberration).arg(c.width).arg(c.height);
            if (x < 0.0)
                QVERIFY2(!Januscircle::unitDopplerCosine(s.speed, c.aberration, true, cosine),
                         qPrintable(row));
            if (c.beta == 0.0f || c.beta > 1.0f || c.width == 0 || x < 0.0) {
                QVERIFY2(!visible, qPrintable(row));
                continue;
            }
            // Column of plane x: the longer side spans 1000 units.
            const double expected = x * std::max(c.width, c.height) / 1000.0;
            QVERIFY2(std::fabs(radius - expected) <= 1e-6 * expected,
                     qPrintable(row + QString(": %1, bisection %2").arg(radius).arg(expected)));
            QCOMPARE(visible, expected <= 0.5 * std::hypot(c.width, c.height));
        }
    }

    // A view with the Januscircle on draws a thin ring of the computed radius around the
    // centre over the unchanged picture; following the document, it draws it when the document
    // flag is set.
    void januscircleIsDrawnOverThePicture() {
        BuiltInView s(400, 300);
        s.main.setPaused(true);
        s.doc.getSettings()->speed = 0.999f;
        QVERIFY(waitFrames(s.main, 3));
        QVERIFY(holdFrames(s.main));
        GlView* view = s.main.rootView().view();
        QCOMPARE(view->size(), QSize(400, 300));
        auto grab = [&] { return view->grabFramebuffer().convertToFormat(QImage::Format_RGB32); };
        const QImage plain = grab();
        view->januscircleChecker().setChoice(EffectChoice::Enable);
        const QImage ring = grab();
        double radius = 0.0;
        QVERIFY(Januscircle::radiusInPixels(*s.doc.getSettings(), 400, 300, radius));
        QVERIFY(radius > 100.0 && radius < 140.0);
        int changed = 0, offRing = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x) {
                if (plain.pixel(x, y) == ring.pixel(x, y)) continue;
                ++changed;
                const double d = std::hypot(x + 0.5 - 200.0, y + 0.5 - 150.0);
                if (std::fabs(d - radius) > 2.0) ++offRing;
            }
        QCOMPARE(offRing, 0);
        QVERIFY2(changed > 0.5 * 2.0 * M_PI * radius, qPrintable(QString::number(changed)));
        view->januscircleChecker().setChoice(EffectChoice::UseParent);
        QCOMPARE(grab(), plain);
        s.doc.getSettings()->januscircle = true;
        QCOMPARE(grab(), ring);
        view->januscircleChecker().setChoice(EffectChoice::Disable);
        QCOMPARE(grab(), plain);
        s.main.resumeRendering();
    }
};

QTEST_MAIN(MainViewTest)
#include "mainview_test.moc"
