// The eye dialog and its curve editor: presets and the hand-over to the document, handle drags
// with their 50 nm limits, the view range, the drawn curves, reloading after a scene load, and
// the fixed colour-matching curves of the CIE eye.
#include "ui/dlgeye.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <memory>

#include "engine/docrt.h"
#include "scene/cie1931.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/waveledit.h"

namespace {

Eye makeEye(float l0, float p0, float h0, float l1, float p1, float h1, float l2, float p2,
            float h2) {
    Eye e;
    e.channel[0] = EyeChannel(l0, p0, h0);
    e.channel[1] = EyeChannel(l1, p1, h1);
    e.channel[2] = EyeChannel(l2, p2, h2);
    return e;
}

// Widget x of a wavelength, from the margins and the view range alone (45 px left, 8 right).
double xOf(const WavelEdit& w, double wavelength) {
    const double lo = w.viewMinimum(), hi = w.viewMaximum();
    return 45.0 + (wavelength - lo) * (w.width() - 53.0) / (hi - lo);
}
// Widget y of a sensitivity (30 px top, 20 bottom).
double yOf(const WavelEdit& w, double s) { return (w.height() - 20.0) - s * (w.height() - 50.0); }
// Wavelength under a widget x.
double wavelengthAt(const WavelEdit& w, double x) {
    const double lo = w.viewMinimum(), hi = w.viewMaximum();
    return lo + (x - 45.0) * (hi - lo) / (w.width() - 53.0);
}

void drag(WavelEdit* w, QPoint from, QPoint to) {
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, from);
    // Several steps, as a real drag delivers them.
    for (int i = 1; i <= 4; ++i) {
        const QPoint at = from + (to - from) * i / 4;
        QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(w, &move);
    }
}

void release(WavelEdit* w, QPoint at) {
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, at);
}

// Whether the grabbed editor shows the channel's colour where the curve of channel c passes
// through (wavelength, sensitivity): pure red, green or blue, give or take antialiasing.
bool curveDrawnAt(const WavelEdit& w, const QImage& image, int c, double wavelength, double s) {
    const QRgb expected[3] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    const int x = qRound(xOf(w, wavelength)), y = qRound(yOf(w, s));
    const QRgb got = image.pixel(x * image.width() / w.width(), y * image.height() / w.height());
    const bool ok = qAbs(qRed(got) - qRed(expected[c])) < 60 &&
                    qAbs(qGreen(got) - qGreen(expected[c])) < 90 &&
                    qAbs(qBlue(got) - qBlue(expected[c])) < 60;
    if (!ok) qWarning("channel %d at %g nm: pixel %x", c, wavelength, got);
    return ok;
}

int comboIndexOf(const QComboBox* combo, const QString& text) {
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i) == text) return i;
    return -1;
}

// The CIE matching functions from the analytic fit (not the shading table the widget reads),
// scaled so that the tallest of the three reaches 1: found by brute force over 0.1 nm steps.
double fitValue(int c, double nm) {
    return c == 0 ? Cie1931::xBar(nm) : c == 1 ? Cie1931::yBar(nm) : Cie1931::zBar(nm);
}
double fitScale() {
    double largest = 0.0;
    for (int k = 0; k <= 4700; ++k)
        for (int c = 0; c < 3; ++c) largest = std::max(largest, fitValue(c, 360.0 + 0.1 * k));
    return 1.0 / largest;
}

}  // namespace

class DlgEyeTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<DocRT> doc;
    std::unique_ptr<DlgEye> dlg;
    WavelEdit* edit() { return dlg->curveEditor(); }
    QPushButton* button(QDialogButtonBox::StandardButton b) { return dlg->buttons()->button(b); }

private slots:
    void initTestCase() { quietOffscreenWarnings(); }

    void init() {
        doc = std::make_unique<DocRT>();
        dlg = std::make_unique<DlgEye>(nullptr, doc.get());
        dlg->setWindowModality(Qt::NonModal);
        dlg->resize(600, 360);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        edit()->repaint();
    }

    void cleanup() {
        dlg.reset();
        doc.reset();
    }

    // Handing over another eye is an edit of the document (the scene file stores its eye);
    // handing over the eye it already has is not.
    void applyingAnotherEyeEditsTheDocument() {
        QSignalSpy edits(doc.get(), &DocRT::eyeEdited);
        QTest::mouseClick(button(QDialogButtonBox::Apply), Qt::LeftButton);
        QCOMPARE(edits.count(), 0);
        dlg->presetCombo()->setCurrentIndex(comboIndexOf(dlg->presetCombo(), "Human (CIE 1931)"));
        QCOMPARE(edits.count(), 0);  // choosing alone hands nothing over
        QTest::mouseClick(button(QDialogButtonBox::Apply), Qt::LeftButton);
        QCOMPARE(edits.count(), 1);
        QTest::mouseClick(button(QDialogButtonBox::Ok), Qt::LeftButton);  // still waiting: same
        QCOMPARE(edits.count(), 1);
        doc->applyPendingChanges();
        QCOMPARE(doc->getSettings()->eye.kind, EyeKind::Cie1931);
        dlg->show();
        dlg->presetCombo()->setCurrentIndex(0);
        QTest::mouseClick(button(QDialogButtonBox::Apply), Qt::LeftButton);
        QCOMPARE(edits.count(), 2);
        QCOMPARE(edits.at(1).at(0).value<Eye>().kind, EyeKind::Cie1931);
        QVERIFY(edits.at(1).at(1).value<Eye>() == defaultEye());
    }

    // A scene that names its eye opens with it, and the dialog shows it.
    void naturalSceneOpensWithTheCieEye() {
        QVERIFY(doc->loadFile(
            QStringLiteral(TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge-natural.tavolin")));
        QCOMPARE(dlg->currentEye().kind, EyeKind::Cie1931);
        doc->applyPendingChanges();
        QCOMPARE(doc->getSettings()->eye.kind, EyeKind::Cie1931);
        QVERIFY(dlg->cieNoteLabel()->isVisible());
    }

    // Cancel hands nothing over (the form table checks that) but keeps the curves shown.
    void cancelKeepsTheCurves() {
        dlg->presetCombo()->setCurrentIndex(1);
        const Eye superwoman = dlg->currentEye();
        QTest::mouseClick(button(QDialogButtonBox::Cancel), Qt::LeftButton);
        dlg->show();
        QVERIFY(dlg->currentEye() == superwoman);

        QTest::mouseClick(button(QDialogButtonBox::Ok), Qt::LeftButton);
        QVERIFY(!dlg->isVisible());
        doc->applyPendingChanges();
        QVERIFY(doc->getSettings()->eye == superwoman);
    }

    void draggingAPeakStopsFiftyNanometresAboveLo() {
        const EyeChannel before = dlg->currentEye().channel[0];  // 500 / 1100 / 1500
        const QPoint peak = edit()->handlePosition(0, WavelEdit::Peak);
        QCOMPARE(peak.x(), qRound(xOf(*edit(), 1100.0)));
        QCOMPARE(peak.y(), qRound(yOf(*edit(), 1.0)));
        drag(edit(), peak, QPoint(2, peak.y()));
        QVERIFY(edit()->isDragging());
        const EyeChannel& after = dlg->currentEye().channel[0];
        QCOMPARE(after.lo, before.lo);
        QCOMPARE(after.peak, 550.0f);
        QCOMPARE(after.hi, before.hi);
        // The channel's curve follows the new points: 1 at the peak, 0.5 midway up.
        QCOMPARE(after.sensitivity(550.0f), 1.0f);
        QVERIFY(std::fabs(after.sensitivity(525.0f) - 0.5f) < 1e-4f);
        release(edit(), QPoint(2, peak.y()));
        QVERIFY(!edit()->isDragging());
        // The other channels are untouched.
        QVERIFY(dlg->currentEye().channel[1] == defaultEye().channel[1]);
        QVERIFY(dlg->currentEye().channel[2] == defaultEye().channel[2]);
    }

    void draggingLoBelowZeroStopsAtZero() {
        // Blue: 100 / 500 / 880. The left end of the view is 0 here, so x = 0 lies below it.
        QCOMPARE(edit()->viewMinimum(), 0.0f);
        const QPoint lo = edit()->handlePosition(2, WavelEdit::Lo);
        drag(edit(), lo, QPoint(0, lo.y()));
        QCOMPARE(dlg->currentEye().channel[2].lo, 0.0f);
        QCOMPARE(dlg->currentEye().channel[2].peak, 500.0f);
        // Dragging lo upwards stops 50 below the peak.
        QMouseEvent move(QEvent::MouseMove, QPointF(edit()->width() - 1, lo.y()),
                         edit()->mapToGlobal(QPointF(edit()->width() - 1, lo.y())), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(edit(), &move);
        QCOMPARE(dlg->currentEye().channel[2].lo, 450.0f);
        release(edit(), lo);
    }

    void draggingHiFollowsTheMouseWithAFixedView() {
        const float viewMin = edit()->viewMinimum(), viewMax = edit()->viewMaximum();
        const QPoint hi = edit()->handlePosition(1, WavelEdit::Hi);  // green hi = 1250
        const int targetX = edit()->width() - 20;
        drag(edit(), hi, QPoint(targetX, hi.y()));
        edit()->repaint();
        QCOMPARE(edit()->viewMinimum(), viewMin);
        QCOMPARE(edit()->viewMaximum(), viewMax);
        QVERIFY(std::fabs(dlg->currentEye().channel[1].hi - wavelengthAt(*edit(), targetX)) < 1e-2);
        // Towards the peak it stops 50 above it.
        QMouseEvent move(QEvent::MouseMove, QPointF(1, hi.y()),
                         edit()->mapToGlobal(QPointF(1, hi.y())), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(edit(), &move);
        QCOMPARE(dlg->currentEye().channel[1].hi, 950.0f);
        // Released, the view is computed again from the new ends.
        QMouseEvent back(QEvent::MouseMove, QPointF(targetX, hi.y()),
                         edit()->mapToGlobal(QPointF(targetX, hi.y())), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(edit(), &back);
        const double newHi = dlg->currentEye().channel[1].hi;
        QVERIFY(newHi > 1500.0);
        release(edit(), QPoint(targetX, hi.y()));
        edit()->repaint();
        QVERIFY(std::fabs(edit()->viewMaximum() - (1.25 * newHi - 0.25 * 100.0)) < 1e-2);
    }

    void pressFarFromEveryHandleDoesNothing() {
        // The top-left corner: the handles lie on the axis (y = height - 20) and the peak line.
        Eye far = makeEye(500, 1100, 1500, 1200, 1300, 1400, 1300, 1400, 1500);
        edit()->setEye(far);
        edit()->repaint();
        QPoint nearest = edit()->handlePosition(0, 0);
        for (int c = 0; c < 3; ++c)
            for (int h = 0; h < 3; ++h) {
                const QPoint p = edit()->handlePosition(c, h);
                if (std::hypot(p.x(), p.y()) < std::hypot(nearest.x(), nearest.y())) nearest = p;
            }
        QVERIFY(std::hypot(nearest.x(), nearest.y()) >= 100.0);
        drag(edit(), QPoint(0, 0), QPoint(300, 100));
        QVERIFY(!edit()->isDragging());
        QVERIFY(dlg->currentEye() == far);
        // A right press next to a handle does nothing either.
        const QPoint lo = edit()->handlePosition(0, WavelEdit::Lo);
        QTest::mousePress(edit(), Qt::RightButton, Qt::NoModifier, lo);
        QVERIFY(!edit()->isDragging());
        QTest::mouseRelease(edit(), Qt::RightButton, Qt::NoModifier, lo);
    }

    void pressPicksTheNearestHandle() {
        // 30 px right of green lo (300 nm) and farther from everything else.
        const QPoint lo = edit()->handlePosition(1, WavelEdit::Lo);
        const QPoint press = lo + QPoint(0, -30);
        drag(edit(), press, press + QPoint(-10, 0));
        QVERIFY(edit()->isDragging());
        const EyeChannel& g = dlg->currentEye().channel[1];
        QVERIFY(g.lo < 300.0f);
        QCOMPARE(g.peak, 900.0f);
        QVERIFY(dlg->currentEye().channel[0] == defaultEye().channel[0]);
        release(edit(), press);
    }

    void viewRangeFromTheChannelEnds() {
        float lo = 0, hi = 0;
        // Humans: minLo 400, maxHi 800: 1.4*400 - 0.4*800 = 240, 1.25*800 - 0.25*400 = 900.
        WavelEdit::viewRange(eyePresets()[3].eye, lo, hi);
        QCOMPARE(lo, 240.0f);
        QCOMPARE(hi, 900.0f);
        // One hi far above the rest: the left end would be negative and stays at 0.
        WavelEdit::viewRange(makeEye(400, 500, 600, 500, 600, 20000, 600, 700, 800), lo, hi);
        QCOMPARE(lo, 0.0f);
        QCOMPARE(hi, 24900.0f);

        edit()->setEye(eyePresets()[3].eye);
        edit()->repaint();
        QCOMPARE(edit()->viewMinimum(), 240.0f);
        QCOMPARE(edit()->viewMaximum(), 900.0f);
        QCOMPARE(edit()->handlePosition(2, WavelEdit::Hi).x(), qRound(xOf(*edit(), 800.0)));
        QCOMPARE(edit()->handlePosition(0, WavelEdit::Lo).x(),
                 45 + qRound(160.0 * (edit()->width() - 53.0) / 660.0));
    }

    void curvesAreDrawnInTheirChannelColours() {
        edit()->setEye(eyePresets()[0].eye);
        const QImage image = edit()->grab().toImage();
        // Midway between lo and peak a smoothstep is at 0.5; sample each channel's curve there.
        for (int c = 0; c < 3; ++c) {
            const EyeChannel& ch = defaultEye().channel[c];
            QVERIFY(curveDrawnAt(*edit(), image, c, 0.5 * (ch.lo + ch.peak), 0.5));
        }
        // Inside the plot, away from curves and grid: white.
        const int x = qRound(xOf(*edit(), 1800.0)), y = qRound(yOf(*edit(), 0.9));
        QCOMPARE(image.pixel(x, y), qRgb(255, 255, 255));
        // A handle: a black square around the mapped peak of red.
        const QPoint peak = edit()->handlePosition(0, WavelEdit::Peak);
        QCOMPARE(image.pixel(peak + QPoint(4, 4)), qRgb(0, 0, 0));
    }

    void reloadsWhatTheNextFrameWillUse() {
        dlg->presetCombo()->setCurrentIndex(2);
        QTest::mouseClick(button(QDialogButtonBox::Apply), Qt::LeftButton);
        doc->applyPendingChanges();
        QVERIFY(doc->getSettings()->eye == eyePresets()[2].eye);
        dlg->presetCombo()->setCurrentIndex(3);

        // A loaded scene renders with its own settings' eye: the dialog shows that one.
        QTemporaryDir dir;
        const QString file = dir.filePath("eye.tavolin");
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("<tavolinfile>\n</tavolinfile>\n");
        out.close();
        QVERIFY(doc->loadFile(file));
        QVERIFY(dlg->currentEye() == RenderSettings().eye);
        doc->applyPendingChanges();
        QVERIFY(doc->getSettings()->eye == dlg->currentEye());
    }

    void ciePresetShowsTheFixedMatchingCurves() {
        QVERIFY(edit()->isEditable());
        QVERIFY(dlg->cieNoteLabel()->isHidden());
        QSignalSpy editable(edit(), &WavelEdit::editableChanged);
        const int cie = comboIndexOf(dlg->presetCombo(), "Human (CIE 1931)");
        QCOMPARE(cie, 4);
        dlg->presetCombo()->setCurrentIndex(cie);
        edit()->repaint();
        QCOMPARE(dlg->currentEye().kind, EyeKind::Cie1931);
        QVERIFY(!edit()->isEditable());
        QCOMPARE(editable.count(), 1);
        QCOMPARE(editable.at(0).at(0).toBool(), false);
        QVERIFY(dlg->cieNoteLabel()->isVisible());
        const QString note = dlg->cieNoteLabel()->text();
        QVERIFY2(note.contains("CIE 1931") && note.contains("2-degree") &&
                     note.contains("cannot be edited"),
                 qPrintable(note));
        saveShotIfAsked(dlg.get(), "eye-cie");

        // The span of the matching functions.
        QCOMPARE(edit()->viewMinimum(), 360.0f);
        QCOMPARE(edit()->viewMaximum(), 830.0f);

        // Values against the fit: z-bar's peak (446 nm) fills the plot; y-bar peaks near 555 nm.
        const double scale = fitScale();
        QVERIFY(std::fabs(WavelEdit::cieScale() - scale) < 1e-4);
        QVERIFY(scale > 0.5 && scale < 0.6);  // z-bar peaks at about 1.78
        const double wavelengths[] = {420.0, 446.0, 500.0, 555.0, 600.0, 650.0, 700.0};
        for (double nm : wavelengths)
            for (int c = 0; c < 3; ++c)
                QVERIFY2(std::fabs(edit()->plottedValue(c, nm) - fitValue(c, nm) * scale) < 1e-3,
                         qPrintable(QString("channel %1 at %2 nm").arg(c).arg(nm)));
        QVERIFY(std::fabs(edit()->plottedValue(2, 446.0) - 1.0) < 5e-3);
        double yPeak = 0.0, yPeakAt = 0.0;
        for (double nm = 360.0; nm <= 830.0; nm += 0.5) {
            const double v = edit()->plottedValue(1, nm);
            if (v > yPeak) yPeak = v, yPeakAt = nm;
        }
        QVERIFY2(std::fabs(yPeakAt - 555.0) <= 3.0, qPrintable(QString::number(yPeakAt)));
        QVERIFY(std::fabs(yPeak - scale) < 5e-3);  // y-bar is 1 at its peak

        // Drawn where the values say, in the channel colours.
        const QImage image = edit()->grab().toImage();
        for (const auto& [channel, nm] : {std::pair{1, 555.0}, {2, 446.0}, {0, 650.0}})
            QVERIFY(curveDrawnAt(*edit(), image, channel, nm, fitValue(channel, nm) * scale));
    }

    void cieCurvesRefuseEveryDrag() {
        dlg->presetCombo()->setCurrentIndex(4);
        edit()->repaint();
        // Presses on the curves, on the axis and in the middle of the plot start nothing.
        const double scale = fitScale();
        const QPoint presses[] = {
            QPoint(qRound(xOf(*edit(), 555.0)), qRound(yOf(*edit(), Cie1931::yBar(555.0) * scale))),
            QPoint(qRound(xOf(*edit(), 446.0)), qRound(yOf(*edit(), 1.0))),
            QPoint(qRound(xOf(*edit(), 400.0)), qRound(yOf(*edit(), 0.0))),
            QPoint(edit()->width() / 2, edit()->height() / 2)};
        for (const QPoint& at : presses) {
            drag(edit(), at, at + QPoint(-60, 10));
            QVERIFY(!edit()->isDragging());
            release(edit(), at + QPoint(-60, 10));
        }
        QVERIFY(dlg->currentEye() == cieHumanEye());
        QCOMPARE(edit()->cursor().shape(), Qt::ArrowCursor);
        // Not even where a CIE eye's unused curves would have their handles.
        Eye withCurves = defaultEye();
        withCurves.kind = EyeKind::Cie1931;
        edit()->setEye(withCurves);
        edit()->repaint();
        const QPoint redLo = edit()->handlePosition(0, WavelEdit::Lo);  // 500 nm, in view
        QVERIFY(edit()->rect().contains(redLo));
        drag(edit(), redLo, redLo + QPoint(40, 0));
        QVERIFY(!edit()->isDragging());
        release(edit(), redLo + QPoint(40, 0));
        QVERIFY(dlg->currentEye() == withCurves);
        edit()->setEye(cieHumanEye());

        // Applied like any preset.
        QTest::mouseClick(button(QDialogButtonBox::Apply), Qt::LeftButton);
        doc->applyPendingChanges();
        QCOMPARE(doc->getSettings()->eye.kind, EyeKind::Cie1931);
    }

    void threeCurvePresetRestoresEditing() {
        dlg->presetCombo()->setCurrentIndex(4);
        QVERIFY(!edit()->isEditable());
        dlg->presetCombo()->setCurrentIndex(3);  // Humans
        edit()->repaint();
        QVERIFY(edit()->isEditable());
        QVERIFY(dlg->cieNoteLabel()->isHidden());
        QCOMPARE(edit()->cursor().shape(), Qt::OpenHandCursor);
        QCOMPARE(edit()->plottedValue(1, 600.0), 1.0);  // the green peak, no longer y-bar

        // Dragging works again: the red peak (500) towards lo stops at 450.
        const QPoint peak = edit()->handlePosition(0, WavelEdit::Peak);
        drag(edit(), peak, QPoint(2, peak.y()));
        QVERIFY(edit()->isDragging());
        QCOMPARE(dlg->currentEye().channel[0].peak, 450.0f);
        release(edit(), QPoint(2, peak.y()));
    }

    // Opened as the main window opens it: a size that shows the whole form, x-axis labels apart
    // from each other, and the CIE note below the plot; a size the user gives is kept when the
    // eye changes and when the dialog is shown again.
    void opensAtASizeThatFitsAndKeepsTheUsersSize() {
        auto labelsApart = [](const WavelEdit* e) {
            const std::vector<WavelEdit::AxisLabel> labels = e->wavelengthLabels();
            if (labels.size() < 3) return false;
            for (size_t i = 0; i < labels.size(); ++i) {
                const QRectF box = labels[i].box;
                if (box.left() < 0 || box.right() > e->width() || box.bottom() > e->height() + 1)
                    return false;
                if (i > 0 && !(labels[i - 1].box.right() < box.left())) return false;
            }
            return true;
        };
        DlgEye fresh(nullptr, doc.get());
        fresh.setWindowModality(Qt::NonModal);
        fresh.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fresh));
        saveShotIfAsked(&fresh, "eye-opened");
        const QSize opened = fresh.size();
        QVERIFY(opened.width() >= DlgEye::kOpenWidth && opened.height() >= DlgEye::kOpenHeight);
        QVERIFY(labelsApart(fresh.curveEditor()));

        // The CIE note fits below the plot without growing the window.
        fresh.presetCombo()->setCurrentIndex(comboIndexOf(fresh.presetCombo(), "Human (CIE 1931)"));
        QCoreApplication::processEvents();
        saveShotIfAsked(&fresh, "eye-opened-cie");
        QCOMPARE(fresh.size(), opened);
        const QRect note = fresh.cieNoteLabel()->geometry();
        QVERIFY(fresh.cieNoteLabel()->isVisible());
        QVERIFY(note.top() > fresh.curveEditor()->geometry().bottom());
        QVERIFY(note.height() >= fresh.cieNoteLabel()->heightForWidth(note.width()));
        QVERIFY(labelsApart(fresh.curveEditor()));

        // A size the user chose stays through eye changes and hiding.
        fresh.resize(1280, 720);
        QCoreApplication::processEvents();
        saveShotIfAsked(&fresh, "eye-1280x720-cie");
        fresh.presetCombo()->setCurrentIndex(0);
        QCoreApplication::processEvents();
        saveShotIfAsked(&fresh, "eye-1280x720");
        fresh.hide();
        fresh.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fresh));
        QCOMPARE(fresh.size(), QSize(1280, 720));
        QVERIFY(labelsApart(fresh.curveEditor()));
        // At the narrowest the editor allows, labels still keep apart.
        fresh.curveEditor()->resize(fresh.curveEditor()->minimumSize());
        QVERIFY(labelsApart(fresh.curveEditor()));
    }

    // Round label steps for a span and a label budget, against the 1-2-5 series by hand.
    void labelStepsAreRound() {
        QCOMPARE(WavelEdit::labelStep(1850.0, 5.0), 500.0);   // 370 -> 500
        QCOMPARE(WavelEdit::labelStep(1850.0, 10.0), 200.0);  // 185 -> 200
        QCOMPARE(WavelEdit::labelStep(470.0, 10.0), 50.0);    // 47 -> 50
        QCOMPARE(WavelEdit::labelStep(1000.0, 10.0), 100.0);  // exact
        QCOMPARE(WavelEdit::labelStep(90.0, 100.0), 1.0);     // 0.9 -> 1
        QCOMPARE(WavelEdit::labelStep(1850.0, 0.0), 2000.0);  // no room: one step over the span
    }
};

TAVOLIN_UI_TEST_MAIN(DlgEyeTest)
#include "dlgeye_test.moc"
