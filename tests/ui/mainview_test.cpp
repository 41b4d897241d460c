// The frame loop and its views: each view rendering with its own effect overrides, the picture
// drawn exactly as the engine rendered it, the split-view tree, and the Januscircle against a
// bisection of the camera's Doppler formula.
#include <cmath>
#include <functional>
#include <random>

#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "views/binaryview.h"
#include "views/januscircle.h"

using namespace viewtest;

namespace {

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
using Change = std::function<void(RenderSettings&)>;

QImage grabOf(GlView* view) {
    return view->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
}

// Whether a grabbed view shows a W x H frame (row 0 at the bottom) stretched by nearest pixel.
bool showsStretched(const QImage& shown, const std::vector<uint32_t>& frame, int W, int H) {
    const int w = shown.width(), h = shown.height();
    std::vector<uint32_t> stretched;
    PixelBuffer::scaleNearest(frame.data(), W, H, w, h, stretched);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t r, g, b, a;
            PixelBuffer::toBytes(stretched[size_t(h - 1 - y) * w + x], r, g, b, a);
            if (shown.pixel(x, y) != qRgb(r, g, b)) return false;
        }
    return true;
}

}  // namespace

class MainViewTest : public QObject {
    Q_OBJECT

private slots:

    // In a split, a view with an override renders exactly the standalone picture of its own
    // settings, which differs from the document's; the other view renders the document's.
    void eachViewRendersItsOwnEffects() {
        // {the overriding view's switch, its choice, the document's speed, what that view renders}
        const std::tuple<Switch, EffectChoice, float, Change> rows[] = {
            {[](GlView& v) -> ActionChecker& { return v.aberrationChecker(); },
             EffectChoice::Disable, 0.9f, [](RenderSettings& r) { r.aberration = false; }},
            {[](GlView& v) -> ActionChecker& { return v.searchlightChecker(); },
             EffectChoice::Enable, 0.5f, [](RenderSettings& r) { r.searchlight = 3; }},
            {[](GlView& v) -> ActionChecker& { return v.lightBendingChecker(); },
             EffectChoice::Enable, 0.0f, [](RenderSettings& r) { r.lightBending = true; }}};
        for (const auto& [which, choice, speed, expected] : rows) {
            BuiltInView s;  // not shown: engines render at their default size
            MainView& main = s.main;
            main.setPaused(true);  // no forward motion, so every frame is the same
            main.setSearchlightExponent(3);
            main.rootView().view()->splitHorizontally();
            GlView* own = main.rootView().child(0)->view();
            GlView* following = main.rootView().child(1)->view();
            s.doc.getSettings()->speed = speed;
            which(*own).setChoice(choice);
            QVERIFY(waitFrames(main, 3));
            QVERIFY(holdFrames(main));
            const int w = own->engine()->ownPixelBuffer().width();
            const int h = own->engine()->ownPixelBuffer().height();
            RenderSettings mine(*s.doc.getSettings());
            expected(mine);
            const std::vector<uint32_t> docs = referenceRender(s.doc, *s.doc.getSettings(), w, h);
            QVERIFY(pixelsOf(following) == docs);
            QVERIFY(pixelsOf(own) == referenceRender(s.doc, mine, w, h) && pixelsOf(own) != docs);
            main.resumeRendering();
        }
    }

    // A paint while the pool overwrites the buffer with the next frame shows the last whole
    // frame, stretched after a resize; a window resized between two frames shows the frame
    // finished at the old size.
    void aPaintDuringRenderingShowsTheLastWholeFrame() {
        BuiltInView s(320, 200);
        GlView* view = s.main.rootView().view();
        for (int round = 0; round < 2; ++round) {
            s.doc.getSettings()->speed = 0.3f * float(round);  // each round's picture differs
            QVERIFY(waitFrames(s.main, 3));
            QVERIFY(holdFrames(s.main));
            const PixelBuffer& b = view->engine()->ownPixelBuffer();
            const QImage last = b.toImage().convertToFormat(QImage::Format_RGB32);
            const std::vector<uint32_t> lastPixels = pixelsOf(view);
            if (round == 1) s.main.resize(420, 260);  // between frames
            s.main.resumeRendering();  // the held frame is shown and the next one starts at once
            if (round == 0) {
                QCOMPARE(grabOf(view), last);
                view->resize(300, 180);  // while the frame renders
            }
            QVERIFY(showsStretched(grabOf(view), lastPixels, last.width(), last.height()));
        }
    }

    // Random splits and removals at any moment of a frame; under AddressSanitizer this catches
    // an engine or its settings freed too early.
    void randomSplitsAndRemovalsWhileRendering() {
        BuiltInView s(640, 480);
        std::mt19937 rng(12345);
        int removedWhileRendering = 0;
        for (int step = 0; step < 60; ++step) {
            const std::vector<GlView*> views = viewsOf(&s.main.rootView());
            QCOMPARE(int(views.size()), s.main.rootView().viewCount());
            GlView* v = views[rng() % views.size()];
            v->dopplerChecker().setChoice(EffectChoice::Disable);  // the engine reads a copy
            if (views.size() < 2 || (views.size() < 6 && rng() % 2 == 0)) {
                rng() % 2 ? v->splitHorizontally() : v->splitVertically();
            } else {
                // Wait (up to a fifth of a second) for a frame under way: on a fast machine
                // removals at random moments could all fall between frames.
                waitUntil([&] { return s.main.isRendering(); }, 200);
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
        } cases[] = {{0.3f, true, 600, 350},  {0.999f, true, 300, 500}, {-0.95f, false, 640, 480},
                     {0.9f, false, 600, 350}, {-0.9f, true, 600, 350},  {0.0f, true, 600, 350},
                     {2.0f, true, 600, 350},  {0.999f, true, 0, 350}};
        for (const auto& c : cases) {
            RenderSettings s;
            s.speed = c.beta > 1.0f ? 0.999f : c.beta;
            s.aberration = c.aberration;
            s.srtDoppler = c.beta <= 1.0f;
            double radius = -1.0;
            const bool visible = Januscircle::radiusInPixels(s, c.width, c.height, radius);
            const double x = unitCrossing(s.speed, c.aberration);
            const QString row =
                QString("%1 %2 %3x%4").arg(c.beta).arg(c.aberration).arg(c.width).arg(c.height);
            if (c.beta == 0.0f || c.beta > 1.0f || c.width == 0 || x < 0.0) {
                QVERIFY2(!visible, qPrintable(row));
                continue;
            }
            // Column of plane x: the longer side spans 1000 units.
            const double expected = x * std::max(c.width, c.height) / 1000.0;
            QVERIFY2(std::fabs(radius - expected) <= 1e-6 * expected, qPrintable(row));
            QCOMPARE(visible, expected <= 0.5 * std::hypot(c.width, c.height));
        }
    }
};

QTEST_MAIN(MainViewTest)
#include "mainview_test.moc"
