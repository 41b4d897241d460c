// The searchlight and the exposure in the desktop program: the Options switch and its exponent,
// the brightness read-out against the closed-form beaming factor, and automatic exposure in the
// frame loop. (Each view's own searchlight is a row of the effects table in mainview_test.)
#include <QComboBox>
#include <QLabel>
#include <QStatusBar>
#include <QtTest>
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
    for (uint32_t p : pixels) {
        if (p == background) continue;
        m.push_back(int(std::max({p & 0xffu, (p >> 8) & 0xffu, (p >> 16) & 0xffu})));
    }
    if (m.empty()) return -1;
    std::sort(m.begin(), m.end());
    const size_t rank = size_t(std::ceil(0.99 * double(m.size())));
    return m[rank - 1];
}

// Brightness factor (1/D)^k of the pixel at relative cursor offsets (u, v) in a w x h view, from
// the relativistic Doppler factor in the observer's frame, D = gamma (1 - beta cos theta'), where
// theta' is the angle between the pixel's ray (x, y, 1000) on the image plane and the motion.
double closedFormBrightness(double beta, int k, double u, double v, int w, int h) {
    const double sx = w >= h ? 1.0 : double(w) / h;
    const double sy = w >= h ? double(h) / w : 1.0;
    const double x = u * 1000.0 * sx, y = v * 1000.0 * sy;
    const double cosTheta = 1000.0 / std::sqrt(x * x + y * y + 1.0e6);
    const double gamma = 1.0 / std::sqrt(1.0 - beta * beta);
    return std::pow(1.0 / (gamma * (1.0 - beta * cosTheta)), k);
}

DlgRenderOptions* openRenderOptions(MainWindow& w) {
    w.findChild<QAction*>("actionRenderOptions")->trigger();
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* dlg = qobject_cast<DlgRenderOptions*>(top)) return dlg;
    return nullptr;
}

}  // namespace

class SearchlightTest : public QObject {
    Q_OBJECT

private slots:
    // The switch toggles the document between off and the exponent chosen in the render options,
    // and the searchlight and exposure in use outlast frames and a scene loaded from a file.
    void optionsSwitchTogglesTheDocumentAndSurvives() {
        MainWindow w;
        auto* action = w.findChild<QAction*>("actionSearchlight");
        QVERIFY(action);

        RenderSettings* s = w.document()->getSettings();
        QCOMPARE(s->searchlight, int8_t(0));
        action->trigger();
        QCOMPARE(s->searchlight, int8_t(4));
        action->trigger();
        QCOMPARE(s->searchlight, int8_t(0));

        // Photon counting chosen in the render options; while on, a new choice applies at once.
        DlgRenderOptions* dlg = openRenderOptions(w);
        QVERIFY(dlg);
        QCOMPARE(dlg->searchlightExponent(), 4);
        dlg->searchlightCombo()->setCurrentIndex(1);
        dlg->onAccept();
        QCOMPARE(w.mainView()->searchlightExponent(), 3);
        QCOMPARE(s->searchlight, int8_t(0));  // choosing k does not switch it on
        action->trigger();
        QCOMPARE(s->searchlight, int8_t(3));
        dlg->searchlightCombo()->setCurrentIndex(0);
        dlg->onAccept();
        QCOMPARE(s->searchlight, int8_t(4));
        dlg->close();

        s->exposureStops = -1.5f;
        QVERIFY(waitFrames(*w.mainView(), 3));
        QCOMPARE(s->searchlight, int8_t(4));
        QVERIFY(action->isChecked());

        const QString scene =
            QStringLiteral(TAVOLIN_SOURCE_DIR) + "/resources/scenes/stonehenge.tavolin";
        QVERIFY(w.document()->loadFile(scene));
        QVERIFY(waitFrames(*w.mainView(), 2));
        RenderSettings* loaded = w.document()->getSettings();
        QVERIFY(loaded != s);  // the scene's own settings record took over
        QCOMPARE(loaded->searchlight, int8_t(4));
        QCOMPARE(loaded->exposureStops, -1.5f);
        QCOMPARE(loaded->eye.beamingExponent, int8_t(4));  // what the engine renders with

        // Off, a loaded scene keeps everything at its defaults, as before.
        action->trigger();
        loaded->exposureStops = 0.0f;
        QVERIFY(w.document()->loadFile(scene));
        QVERIFY(waitFrames(*w.mainView(), 2));
        QCOMPARE(w.document()->getSettings()->searchlight, int8_t(0));
        QCOMPARE(w.document()->getSettings()->exposureStops, 0.0f);
        QVERIFY(!w.document()->getSettings()->autoExposure);
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
        auto* shown = w.findChild<QAction*>("actionCursorBrightness");
        QVERIFY(label && shown);
        QVERIFY(!label->isVisible());

        MainView* main = w.mainView();
        main->suspendRendering();
        QVERIFY(holdFrames(*main));
        const double beta = 0.6;  // gamma = 1.25, so ((1 + beta) gamma)^k = 2^k
        w.document()->getSettings()->speed = float(beta);
        GlView* view = main->rootView().view();
        const int vw = view->width(), vh = view->height();
        const QPoint centre(vw / 2, vh / 2);
        hover(view, centre);
        QTRY_COMPARE(main->cursorX(), centre.x());
        w.updateStatusBar();
        QVERIFY(!label->isVisible());  // searchlight off

        auto readOut = [&] {
            const QString text = label->text();
            const QString prefix = "Brightness at Cursor: ";
            return text.startsWith(prefix) ? text.mid(prefix.size()).toDouble() : -1.0;
        };
        auto expected = [&](int k, QPoint p) {
            const double u = (p.x() - vw * 0.5) / vw, v = (p.y() - vh * 0.5) / vh;
            return closedFormBrightness(beta, k, u, -v, vw, vh);
        };
        w.findChild<QAction*>("actionSearchlight")->trigger();
        w.updateStatusBar();
        QVERIFY(label->isVisible());
        if (vw % 2 == 0 && vh % 2 == 0) QCOMPARE(readOut(), 16.0);
        QVERIFY(std::fabs(readOut() - expected(4, centre)) < 1e-5 * expected(4, centre));

        main->setSearchlightExponent(3);
        const QPoint upperRight(vw * 3 / 4, vh / 5);
        hover(view, upperRight);
        QTRY_COMPARE(main->cursorX(), upperRight.x());
        w.updateStatusBar();
        const double corner = expected(3, upperRight);
        QVERIFY2(std::fabs(readOut() - corner) < 1e-5 * corner,
                 qPrintable(label->text() + " vs " + QString::number(corner)));
        QVERIFY(corner < expected(3, centre));  // brightest toward the motion

        // The view's own switches: no Doppler effect, no brightening; searchlight disabled there,
        // no read-out.
        view->dopplerChecker().setChoice(EffectChoice::Disable);
        w.updateStatusBar();
        QCOMPARE(readOut(), 1.0);
        view->dopplerChecker().setChoice(EffectChoice::UseParent);
        view->searchlightChecker().setChoice(EffectChoice::Disable);
        w.updateStatusBar();
        QVERIFY(!label->isVisible());
        view->searchlightChecker().setChoice(EffectChoice::UseParent);
        shown->setChecked(false);
        QVERIFY(!label->isVisible());
        shown->setChecked(true);
        QVERIFY(label->isVisible());
        main->resumeRendering();
    }

    // Automatic exposure on a picture that clips (the 8-bit clamp stops at 254): the frame loop
    // steps the exposure down frame by frame until the picture no longer clips, and leaves a manual
    // one alone.
    void autoExposureDarkensAnOverBrightPicture() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.setPaused(true);
        QVERIFY(waitFrames(main, 2));
        QVERIFY(holdFrames(main));
        RenderSettings& s = *doc.getSettings();
        const uint32_t background = s.backgroundPixel();
        GlView* view = main.rootView().view();
        const int w = view->engine()->ownPixelBuffer().width();
        const int h = view->engine()->ownPixelBuffer().height();
        RenderSettings bright(s);
        bright.exposureStops = 6.0f;
        QVERIFY(percentileBrightEnd(referenceRender(doc, bright, w, h), background) >= 254);

        s.exposureStops = 6.0f;  // manual: stays
        main.resumeRendering();
        QVERIFY(waitFrames(main, 3));
        QCOMPARE(s.exposureStops, 6.0f);
        QVERIFY(holdFrames(main));
        QVERIFY(percentileBrightEnd(pixelsOf(view), background) >= 254);

        std::vector<float> stops;
        connect(&main, &MainView::updateStatusBar, this, [&] { stops.push_back(s.exposureStops); });
        s.autoExposure = true;
        main.resumeRendering();
        QVERIFY(waitFrames(main, 10));
        QVERIFY(holdFrames(main));
        QVERIFY(stops.size() >= 10);
        // Never brighter; the first steps take the clipped picture down by whole steps.
        for (size_t i = 1; i < stops.size(); ++i) QVERIFY(stops[i] <= stops[i - 1]);
        QCOMPARE(stops[0], 6.0f - AutoExposure::kClippedStep);
        QVERIFY(s.exposureStops < 4.0f);
        const int end = percentileBrightEnd(pixelsOf(view), background);
        qInfo("exposure %+.2f stops, bright end %d", double(s.exposureStops), end);
        QVERIFY2(end < 254, qPrintable(QString::number(end)));
        QVERIFY2(end >= AutoExposure::kLow - 5, qPrintable(QString::number(end)));
        main.resumeRendering();
    }
};

QTEST_MAIN(SearchlightTest)
#include "searchlight_test.moc"
