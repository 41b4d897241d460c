// The eye dialog and its curve editor: presets and the hand-over to the document, handle drags
// with their 50 nm limits, the view range, the drawn curves, reloading after a scene load, and
// the fixed colour-matching curves of the CIE eye.
#include "ui/dlgeye.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
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

// Presses a button at from and moves to to in several steps, as a real drag delivers them;
// returns whether the editor then drags.
bool drag(WavelEdit* w, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mousePress(w, button, Qt::NoModifier, from);
    for (int i = 1; i <= 4; ++i) {
        const QPoint at = from + (to - from) * i / 4;
        QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, button,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(w, &move);
    }
    return w->isDragging();
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

Q_DECLARE_METATYPE(Qt::MouseButton)

class DlgEyeTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<DocRT> doc;
    std::unique_ptr<DlgEye> dlg;
    WavelEdit* edit() { return dlg->curveEditor(); }
    void press(QDialogButtonBox::StandardButton b) { dlg->buttons()->button(b)->click(); }
    void choose(int preset) {
        dlg->presetCombo()->setCurrentIndex(preset);
        edit()->repaint();
    }

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

    // {preset, channel, handle pressed (-1: the editor's top-left corner), offset of the press
    // from it, x the mouse moves to (negative: from the right edge), button, whether a drag
    // starts, the channel's lo, peak and hi after ("=": as before, "~": the wavelength under the
    // mouse)}. The default eye's channels are 500/1100/1500, 300/900/1250 and 100/500/880; the
    // view starts at 0 nm; a handle stops 50 nm from its neighbours and at 0.
    void drags_data() {
        QTest::addColumn<int>("preset");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("handle");
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<int>("toX");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("drags");
        QTest::addColumn<QString>("after");
        const auto left = Qt::LeftButton;
        const int lo = WavelEdit::Lo, peak = WavelEdit::Peak, hi = WavelEdit::Hi;
        QTest::newRow("peak stops above lo")
            << 0 << 0 << peak << QPoint() << 2 << left << true << "= 550 =";
        QTest::newRow("peak stops below hi")
            << 0 << 0 << peak << QPoint() << -1 << left << true << "= 1450 =";
        QTest::newRow("lo stops at 0") << 0 << 2 << lo << QPoint() << 0 << left << true << "0 = =";
        QTest::newRow("lo stops below the peak")
            << 0 << 2 << lo << QPoint() << -1 << left << true << "450 = =";
        QTest::newRow("hi follows the mouse")
            << 0 << 1 << hi << QPoint() << -20 << left << true << "= = ~";
        QTest::newRow("hi stops above the peak")
            << 0 << 1 << hi << QPoint() << 1 << left << true << "= = 950";
        QTest::newRow("the nearest handle")
            << 0 << 1 << lo << QPoint(0, -30) << 100 << left << true << "~ = =";
        QTest::newRow("far from every handle")
            << 0 << 0 << -1 << QPoint() << 300 << left << false << "= = =";
        QTest::newRow("right button")
            << 0 << 0 << lo << QPoint() << 300 << Qt::RightButton << false << "= = =";
        QTest::newRow("humans: peak stops above lo")
            << 3 << 0 << peak << QPoint() << 2 << left << true << "= 450 =";
        // The CIE eye's curves are fixed: no press starts a drag, not even on a handle's place.
        QTest::newRow("CIE lo") << 4 << 0 << lo << QPoint() << 300 << left << false << "= = =";
        QTest::newRow("CIE peak") << 4 << 1 << peak << QPoint() << 10 << left << false << "= = =";
        QTest::newRow("CIE corner") << 4 << 0 << -1 << QPoint() << 300 << left << false << "= = =";
    }

    void drags() {
        QFETCH(int, preset);
        QFETCH(int, channel);
        QFETCH(int, handle);
        QFETCH(QPoint, offset);
        QFETCH(int, toX);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, drags);
        QFETCH(QString, after);
        choose(preset);
        const Eye before = dlg->currentEye();
        const float viewMin = edit()->viewMinimum(), viewMax = edit()->viewMaximum();
        const QPoint from =
            (handle < 0 ? QPoint() : edit()->handlePosition(channel, handle)) + offset;
        const QPoint to(toX < 0 ? edit()->width() + toX : toX, from.y());
        QCOMPARE(drag(edit(), from, to, button), drags);
        // While dragging, the view stays put.
        QCOMPARE(edit()->viewMinimum(), viewMin);
        QCOMPARE(edit()->viewMaximum(), viewMax);
        const EyeChannel& now = dlg->currentEye().channel[channel];
        const float values[3] = {now.lo, now.peak, now.hi};
        const float old[3] = {before.channel[channel].lo, before.channel[channel].peak,
                              before.channel[channel].hi};
        const QStringList want = after.split(' ');
        for (int k = 0; k < 3; ++k) {
            const double expected = want[k] == "="   ? old[k]
                                    : want[k] == "~" ? wavelengthAt(*edit(), to.x())
                                                     : want[k].toDouble();
            QVERIFY2(std::fabs(values[k] - expected) < 1e-2,
                     qPrintable(QString("%1: %2 for %3").arg(k).arg(values[k]).arg(expected)));
        }
        for (int c = 0; c < 3; ++c)
            if (c != channel) QVERIFY(dlg->currentEye().channel[c] == before.channel[c]);
        QCOMPARE(dlg->currentEye().kind, before.kind);
        // The curve follows its points: 1 at the new peak (550), 0.5 midway up from lo (500).
        if (QByteArray(QTest::currentDataTag()) == "peak stops above lo") {
            QCOMPARE(now.sensitivity(550.0f), 1.0f);
            QVERIFY(std::fabs(now.sensitivity(525.0f) - 0.5f) < 1e-4f);
        }
        // Released, the view is worked out again from the new ends.
        QTest::mouseRelease(edit(), button, Qt::NoModifier, to);
        QVERIFY(!edit()->isDragging());
        edit()->repaint();
        if (preset == 4) return;
        float lo = 0, hi = 0;
        WavelEdit::viewRange(dlg->currentEye(), lo, hi);
        QCOMPARE(edit()->viewMinimum(), lo);
        QCOMPARE(edit()->viewMaximum(), hi);
    }

    // Only the CIE preset is fixed: it shows its note, refuses edits and an open-hand cursor.
    void presetsSwitchEditing() {
        QSignalSpy editable(edit(), &WavelEdit::editableChanged);
        for (int preset : {0, 1, 2, 3, 4, 3}) {
            choose(preset);
            const bool cie = preset == 4;
            QCOMPARE(dlg->presetCombo()->currentText() == "Human (CIE 1931)", cie);
            QCOMPARE(edit()->isEditable(), !cie);
            QCOMPARE(dlg->cieNoteLabel()->isVisible(), cie);
            QCOMPARE(edit()->cursor().shape(), cie ? Qt::ArrowCursor : Qt::OpenHandCursor);
        }
        QCOMPARE(editable.count(), 2);
        QCOMPARE(edit()->plottedValue(1, 600.0), 1.0);  // the humans' green peak, not y-bar
        choose(4);
        const QString note = dlg->cieNoteLabel()->text();
        QVERIFY2(note.contains("CIE 1931") && note.contains("cannot be edited"), qPrintable(note));
    }

    // Handing over another eye is an edit of the document (the scene file stores its eye);
    // handing over the eye it already has is not.
    void applyingAnotherEyeEditsTheDocument() {
        QSignalSpy edits(doc.get(), &DocRT::eyeEdited);
        press(QDialogButtonBox::Apply);
        choose(4);
        QCOMPARE(edits.count(), 0);  // choosing alone hands nothing over
        press(QDialogButtonBox::Apply);
        press(QDialogButtonBox::Ok);  // still waiting for the frame: the same eye
        QCOMPARE(edits.count(), 1);
        doc->applyPendingChanges();
        QCOMPARE(doc->getSettings()->eye.kind, EyeKind::Cie1931);
        dlg->show();
        choose(0);
        press(QDialogButtonBox::Apply);
        QCOMPARE(edits.count(), 2);
        QCOMPARE(edits.at(1).at(0).value<Eye>().kind, EyeKind::Cie1931);
        QVERIFY(edits.at(1).at(1).value<Eye>() == defaultEye());
    }

    // A loaded scene renders with its own settings' eye, and the dialog shows that one.
    void showsTheEyeOfALoadedScene() {
        QVERIFY(doc->loadFile(TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge-natural.tavolin"));
        QCOMPARE(dlg->currentEye().kind, EyeKind::Cie1931);
        QVERIFY(dlg->cieNoteLabel()->isVisible());
        choose(2);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("eye.tavolin"), "<tavolinfile>\n</tavolinfile>\n"));
        QVERIFY(doc->loadFile(dir.filePath("eye.tavolin")));
        QVERIFY(dlg->currentEye() == RenderSettings().eye);
        doc->applyPendingChanges();
        QVERIFY(doc->getSettings()->eye == dlg->currentEye());
    }

    void viewRangeFromTheChannelEnds() {
        float lo = 0, hi = 0;
        // Humans: minLo 400, maxHi 800: 1.4*400 - 0.4*800 = 240, 1.25*800 - 0.25*400 = 900.
        WavelEdit::viewRange(eyePresets()[3].eye, lo, hi);
        QCOMPARE(lo, 240.0f);
        QCOMPARE(hi, 900.0f);
        // One hi far above the rest: the left end would be negative and stays at 0.
        Eye far = eyePresets()[3].eye;
        far.channel[1].hi = 20000;
        WavelEdit::viewRange(far, lo, hi);
        QCOMPARE(lo, 0.0f);
        QCOMPARE(hi, 24900.0f);
        choose(3);
        QCOMPARE(edit()->handlePosition(2, WavelEdit::Hi).x(), qRound(xOf(*edit(), 800.0)));
        QCOMPARE(edit()->handlePosition(0, WavelEdit::Lo).x(),
                 45 + qRound(160.0 * (edit()->width() - 53.0) / 660.0));
    }

    void curvesAreDrawnInTheirChannelColours() {
        const QImage image = edit()->grab().toImage();
        // Midway between lo and peak a smoothstep is at 0.5; sample each channel's curve there.
        for (int c = 0; c < 3; ++c) {
            const EyeChannel& ch = defaultEye().channel[c];
            QVERIFY(curveDrawnAt(*edit(), image, c, 0.5 * (ch.lo + ch.peak), 0.5));
        }
        // Inside the plot, away from curves and grid: white; a handle is a black square.
        QCOMPARE(image.pixel(qRound(xOf(*edit(), 1800.0)), qRound(yOf(*edit(), 0.9))),
                 qRgb(255, 255, 255));
        const QPoint peak = edit()->handlePosition(0, WavelEdit::Peak);
        QCOMPARE(peak, QPoint(qRound(xOf(*edit(), 1100.0)), qRound(yOf(*edit(), 1.0))));
        QCOMPARE(image.pixel(peak + QPoint(4, 4)), qRgb(0, 0, 0));
    }

    // The CIE eye's curves against the analytic fit, over their span, drawn where they say.
    void ciePresetShowsTheMatchingCurves() {
        choose(4);
        QCOMPARE(edit()->viewMinimum(), 360.0f);
        QCOMPARE(edit()->viewMaximum(), 830.0f);
        const double scale = fitScale();
        QVERIFY(std::fabs(WavelEdit::cieScale() - scale) < 1e-4);
        QVERIFY(scale > 0.5 && scale < 0.6);  // z-bar peaks at about 1.78
        for (double nm : {420.0, 446.0, 500.0, 555.0, 600.0, 650.0, 700.0})
            for (int c = 0; c < 3; ++c)
                QVERIFY2(std::fabs(edit()->plottedValue(c, nm) - fitValue(c, nm) * scale) < 1e-3,
                         qPrintable(QString("channel %1 at %2 nm").arg(c).arg(nm)));
        double yPeak = 0.0, yPeakAt = 0.0;
        for (double nm = 360.0; nm <= 830.0; nm += 0.5)
            if (const double v = edit()->plottedValue(1, nm); v > yPeak) yPeak = v, yPeakAt = nm;
        QVERIFY2(std::fabs(yPeakAt - 555.0) <= 3.0, qPrintable(QString::number(yPeakAt)));
        QVERIFY(std::fabs(yPeak - scale) < 5e-3);  // y-bar is 1 at its peak
        const QImage image = edit()->grab().toImage();
        for (const auto& [channel, nm] : {std::pair{1, 555.0}, {2, 446.0}, {0, 650.0}})
            QVERIFY(curveDrawnAt(*edit(), image, channel, nm, fitValue(channel, nm) * scale));
    }

    // Opened as the main window opens it, the whole form shows with the x-axis labels apart and
    // the CIE note below the plot; a size the user gives stays through eye changes and hiding.
    void opensAtASizeThatFitsAndKeepsTheUsersSize() {
        auto labelsApart = [](const WavelEdit* e) {
            const std::vector<WavelEdit::AxisLabel> labels = e->wavelengthLabels();
            for (size_t i = 0; i < labels.size(); ++i) {
                const QRectF box = labels[i].box;
                if (box.left() < 0 || box.right() > e->width() || box.bottom() > e->height() + 1)
                    return false;
                if (i > 0 && !(labels[i - 1].box.right() < box.left())) return false;
            }
            return labels.size() >= 3;
        };
        DlgEye fresh(nullptr, doc.get());
        fresh.setWindowModality(Qt::NonModal);
        fresh.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fresh));
        const QSize opened = fresh.size();
        QVERIFY(opened.width() >= DlgEye::kOpenWidth && opened.height() >= DlgEye::kOpenHeight);
        QVERIFY(labelsApart(fresh.curveEditor()));
        fresh.presetCombo()->setCurrentIndex(4);
        QCoreApplication::processEvents();
        QCOMPARE(fresh.size(), opened);
        const QRect note = fresh.cieNoteLabel()->geometry();
        QVERIFY(note.top() > fresh.curveEditor()->geometry().bottom());
        QVERIFY(note.height() >= fresh.cieNoteLabel()->heightForWidth(note.width()));
        fresh.resize(1280, 720);
        fresh.presetCombo()->setCurrentIndex(0);
        fresh.hide();
        fresh.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fresh));
        QCOMPARE(fresh.size(), QSize(1280, 720));
        fresh.curveEditor()->resize(fresh.curveEditor()->minimumSize());
        QVERIFY(labelsApart(fresh.curveEditor()));
    }

    // Round label steps for a span and a label budget, against the 1-2-5 series by hand.
    void labelStepsAreRound() {
        const double cases[][3] = {{1850, 5, 500},  {1850, 10, 200}, {470, 10, 50},
                                   {1000, 10, 100}, {90, 100, 1},    {1850, 0, 2000}};
        for (const auto& [span, budget, step] : cases)
            QCOMPARE(WavelEdit::labelStep(span, budget), step);
    }
};

TAVOLIN_UI_TEST_MAIN(DlgEyeTest)
#include "dlgeye_test.moc"
