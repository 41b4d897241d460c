// The searchlight and the exposure in the desktop program: the Options switch and its exponent,
// the brightness read-out against the closed-form beaming factor, and automatic exposure in the
// frame loop. (Each view's own searchlight is a row of the effects table in mainview_test.)
#include <algorithm>
#include <cmath>

#include "engine/autoexposure.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/dlgrenderoptions.h"
#include "ui/mainwindow.h"

using namespace viewtest;

namespace {

// The bright end computed here from scratch: the 99th percentile (nearest rank) of the largest
// channel over the pixels that are not the background.
int percentileBrightEnd(const std::vector<uint32_t>& pixels, uint32_t background) {
    std::vector<int> m;
    for (uint32_t p : pixels)
        if (p != background)
            m.push_back(int(std::max({p & 0xffu, (p >> 8) & 0xffu, (p >> 16) & 0xffu})));
    std::sort(m.begin(), m.end());
    return m.empty() ? -1 : m[size_t(std::ceil(0.99 * double(m.size()))) - 1];
}

// Brightness factor (1/D)^k of the pixel at relative cursor offsets (u, v) in a w x h view, from
// the relativistic Doppler factor in the observer's frame, D = gamma (1 - beta cos theta'), where
// theta' is the angle between the pixel's ray (x, y, 1000) on the image plane and the motion.
double closedFormBrightness(double beta, int k, double u, double v, int w, int h) {
    const double x = u * 1000.0 * (w >= h ? 1.0 : double(w) / h);
    const double y = v * 1000.0 * (w >= h ? double(h) / w : 1.0);
    const double cosTheta = 1000.0 / std::sqrt(x * x + y * y + 1.0e6);
    const double gamma = 1.0 / std::sqrt(1.0 - beta * beta);
    return std::pow(1.0 / (gamma * (1.0 - beta * cosTheta)), k);
}

}  // namespace

class SearchlightTest : public QObject {
    Q_OBJECT

private slots:
    // The switch toggles the document between off and the exponent chosen in the render options
    // (a new choice applies at once while on), and the searchlight and exposure in use outlast a
    // scene loaded from a file; off, a loaded scene keeps its defaults.
    void optionsSwitchTogglesTheDocumentAndSurvives() {
        MainWindow w;
        auto* action = w.findChild<QAction*>("actionSearchlight");
        RenderSettings* s = w.document()->getSettings();
        action->trigger();
        QCOMPARE(s->searchlight, int8_t(4));
        action->trigger();
        QCOMPARE(s->searchlight, int8_t(0));
        w.findChild<QAction*>("actionRenderOptions")->trigger();
        DlgRenderOptions* dlg = nullptr;  // a window of its own, not a child of the main window
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* options = qobject_cast<DlgRenderOptions*>(top)) dlg = options;
        QVERIFY(dlg);
        dlg->searchlightCombo()->setCurrentIndex(1);
        dlg->onAccept();
        QCOMPARE(s->searchlight, int8_t(0));  // choosing k does not switch it on
        action->trigger();
        QCOMPARE(s->searchlight, int8_t(3));
        dlg->searchlightCombo()->setCurrentIndex(0);
        dlg->onAccept();
        QCOMPARE(s->searchlight, int8_t(4));
        dlg->close();

        s->exposureStops = -1.5f;
        const QString scene = TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge.tavolin";
        QVERIFY(w.document()->loadFile(scene));
        QVERIFY(waitFrames(*w.mainView(), 2));
        RenderSettings* loaded = w.document()->getSettings();
        QVERIFY(loaded != s);  // the scene's own settings record took over
        QCOMPARE(loaded->searchlight, int8_t(4));
        QCOMPARE(loaded->exposureStops, -1.5f);
        QCOMPARE(loaded->eye.beamingExponent, int8_t(4));  // what the engine renders with
        action->trigger();
        loaded->exposureStops = 0.0f;
        QVERIFY(w.document()->loadFile(scene));
        QVERIFY(waitFrames(*w.mainView(), 2));
        QCOMPARE(w.document()->getSettings()->searchlight, int8_t(0));
        QCOMPARE(w.document()->getSettings()->exposureStops, 0.0f);
    }

    // "Brightness at Cursor" shows (1/D)^k of the pixel under the cursor only while the
    // searchlight is on in the cursor's view, and follows that view's exponent and switches.
    void brightnessReadOutAtTheCursor() {
        MainWindow w;
        w.resize(800, 500);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(waitFrames(*w.mainView(), 2));
        auto* label = w.findChild<QLabel*>("labelCursorBrightness");
        MainView* main = w.mainView();
        main->suspendRendering();
        QVERIFY(holdFrames(*main));
        const double beta = 0.6;  // gamma = 1.25, so ((1 + beta) gamma)^k = 2^k
        w.document()->getSettings()->speed = float(beta);
        GlView* view = main->rootView().view();
        const int vw = view->width(), vh = view->height();
        auto readOutAt = [&](QPoint p, int k) {
            hover(view, p);
            QTRY_COMPARE(main->cursorX(), p.x());
            w.updateStatusBar();
            const double u = (p.x() - vw * 0.5) / vw, v = (p.y() - vh * 0.5) / vh;
            const double expected = closedFormBrightness(beta, k, u, -v, vw, vh);
            const double shown = label->text().section(": ", 1).toDouble();
            QVERIFY2(std::fabs(shown - expected) < 1e-5 * expected,
                     qPrintable(label->text() + " vs " + QString::number(expected)));
        };
        const QPoint centre(vw / 2, vh / 2), upperRight(vw * 3 / 4, vh / 5);
        hover(view, centre);
        w.updateStatusBar();
        QVERIFY(!label->isVisible());  // searchlight off
        w.findChild<QAction*>("actionSearchlight")->trigger();
        readOutAt(centre, 4);
        QVERIFY(label->isVisible());
        main->setSearchlightExponent(3);
        readOutAt(upperRight, 3);

        // The view's own switches: no Doppler effect, no brightening; searchlight disabled there,
        // no read-out.
        view->dopplerChecker().setChoice(EffectChoice::Disable);
        w.updateStatusBar();
        QCOMPARE(label->text().section(": ", 1).toDouble(), 1.0);
        view->dopplerChecker().setChoice(EffectChoice::UseParent);
        view->searchlightChecker().setChoice(EffectChoice::Disable);
        w.updateStatusBar();
        QVERIFY(!label->isVisible());
        main->resumeRendering();
    }

    // Automatic exposure on a picture that clips (the 8-bit clamp stops at 254): the frame loop
    // steps the exposure down frame by frame until the picture no longer clips, and leaves a
    // manual one alone.
    void autoExposureDarkensAnOverBrightPicture() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.setPaused(true);
        RenderSettings& s = *doc.getSettings();
        const uint32_t background = s.backgroundPixel();
        GlView* view = main.rootView().view();
        s.exposureStops = 6.0f;  // manual: stays, and clips
        QVERIFY(waitFrames(main, 3));
        QVERIFY(holdFrames(main));
        QCOMPARE(s.exposureStops, 6.0f);
        QVERIFY(percentileBrightEnd(pixelsOf(view), background) >= 254);

        std::vector<float> stops;
        connect(&main, &MainView::updateStatusBar, this, [&] { stops.push_back(s.exposureStops); });
        s.autoExposure = true;
        main.resumeRendering();
        QVERIFY(waitFrames(main, 10));
        QVERIFY(holdFrames(main));
        QVERIFY(stops.size() >= 10);
        // Never brighter; the first steps take the clipped picture down by whole steps.
        QVERIFY(std::is_sorted(stops.rbegin(), stops.rend()));
        QCOMPARE(stops[0], 6.0f - AutoExposure::kClippedStep);
        const int end = percentileBrightEnd(pixelsOf(view), background);
        QVERIFY2(end < 254 && end >= AutoExposure::kLow - 5, qPrintable(QString::number(end)));
        main.resumeRendering();
    }
};

QTEST_MAIN(SearchlightTest)
#include "searchlight_test.moc"
