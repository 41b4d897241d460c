// The eye dialog and its curve editor: handle drags with their 50 nm limits, the view range, the
// presets and the hand-over to the document, reloading after a scene load, and the CIE eye's
// fixed matching curves.
#include "ui/dlgeye.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "engine/docrt.h"
#include "scene/cie1931.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/waveledit.h"

namespace {

// Widget x of a wavelength and the wavelength under an x, from the margins and the view range
// alone (45 px left, 8 right); widget y of a sensitivity (30 px top, 20 bottom).
double xOf(const WavelEdit& w, double nm) {
    return 45.0 + (nm - w.viewMinimum()) * (w.width() - 53.0) / (w.viewMaximum() - w.viewMinimum());
}
double wavelengthAt(const WavelEdit& w, double x) {
    return w.viewMinimum() + (x - 45.0) * (w.viewMaximum() - w.viewMinimum()) / (w.width() - 53.0);
}
double yOf(const WavelEdit& w, double s) { return (w.height() - 20.0) - s * (w.height() - 50.0); }

// The CIE matching functions from the analytic fit (not the shading table the widget reads).
double fitValue(int c, double nm) {
    return c == 0 ? Cie1931::xBar(nm) : c == 1 ? Cie1931::yBar(nm) : Cie1931::zBar(nm);
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
    // from it, x the mouse moves to (negative: from the right edge), the channel's lo, peak and
    // hi after ("=": as before, "~": the wavelength under the mouse), button}. The default eye's
    // channels are 500/1100/1500, 300/900/1250 and 100/500/880; the view starts at 0 nm; a
    // handle stops 50 nm from its neighbours and at 0.
    void drags_data() {
        QTest::addColumn<int>("preset");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("handle");
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<int>("toX");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QString>("after");
        const int lo = WavelEdit::Lo, peak = WavelEdit::Peak, hi = WavelEdit::Hi;
        auto row = [&](const char* name, int preset, int channel, int handle, int toX,
                       const char* after, QPoint offset = {},
                       Qt::MouseButton button = Qt::LeftButton) {
            QTest::newRow(name) << preset << channel << handle << offset << toX << button
                                << QString(after);
        };
        row("peak stops above lo", 0, 0, peak, 2, "= 550 =");
        row("peak stops below hi", 0, 0, peak, -1, "= 1450 =");
        row("lo stops at 0", 0, 2, lo, 0, "0 = =");
        row("lo stops below the peak", 0, 2, lo, -1, "450 = =");
        row("hi follows the mouse", 0, 1, hi, -20, "= = ~");
        row("hi stops above the peak", 0, 1, hi, 1, "= = 950");
        row("the nearest handle", 0, 1, lo, 100, "~ = =", QPoint(0, -30));
        row("far from every handle", 0, 0, -1, 300, "= = =");
        row("right button", 0, 0, lo, 300, "= = =", QPoint(), Qt::RightButton);
        row("humans: peak stops above lo", 3, 0, peak, 2, "= 450 =");
        // The CIE eye's curves are fixed: no press starts a drag, not even on a handle's place.
        row("CIE lo", 4, 0, lo, 300, "= = =");
        row("CIE peak", 4, 1, peak, 10, "= = =");
    }

    void drags() {
        QFETCH(int, preset);
        QFETCH(int, channel);
        QFETCH(int, handle);
        QFETCH(QPoint, offset);
        QFETCH(int, toX);
        QFETCH(Qt::MouseButton, button);
        QFETCH(QString, after);
        const bool drags = after != "= = =";  // the rows without a drag change nothing
        choose(preset);
        const Eye before = dlg->currentEye();
        const float viewMin = edit()->viewMinimum();
        const QPoint from =
            (handle < 0 ? QPoint() : edit()->handlePosition(channel, handle)) + offset;
        const QPoint to(toX < 0 ? edit()->width() + toX : toX, from.y());
        // Several moves, as a real drag delivers them.
        QTest::mousePress(edit(), button, Qt::NoModifier, from);
        for (int i = 1; i <= 4; ++i) {
            const QPoint at = from + (to - from) * i / 4;
            QMouseEvent move(QEvent::MouseMove, at, edit()->mapToGlobal(at), Qt::NoButton, button,
                             Qt::NoModifier);
            QCoreApplication::sendEvent(edit(), &move);
        }
        QCOMPARE(edit()->isDragging(), drags);
        QCOMPARE(edit()->viewMinimum(), viewMin);  // while dragging, the view stays put
        const EyeChannel& now = dlg->currentEye().channel[channel];
        const EyeChannel& old = before.channel[channel];
        const float values[3] = {now.lo, now.peak, now.hi}, olds[3] = {old.lo, old.peak, old.hi};
        const QStringList want = after.split(' ');
        for (int k = 0; k < 3; ++k) {
            const double expected = want[k] == "="   ? olds[k]
                                    : want[k] == "~" ? wavelengthAt(*edit(), to.x())
                                                     : want[k].toDouble();
            QVERIFY2(std::fabs(values[k] - expected) < 1e-2, qPrintable(QString::number(k)));
        }
        for (int c = 0; c < 3; ++c)
            if (c != channel) QVERIFY(dlg->currentEye().channel[c] == before.channel[c]);
        QCOMPARE(dlg->currentEye().kind, before.kind);
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

    // By hand: humans' channels span 400 to 800 nm, the view 1.4*400 - 0.4*800 = 240 to
    // 1.25*800 - 0.25*400 = 900; a view that would start below 0 starts at 0.
    void viewRangeFromTheChannelEnds() {
        float lo = 0, hi = 0;
        WavelEdit::viewRange(eyePresets()[3].eye, lo, hi);
        QCOMPARE(lo, 240.0f);
        QCOMPARE(hi, 900.0f);
        Eye far = eyePresets()[3].eye;
        far.channel[1].hi = 20000;
        WavelEdit::viewRange(far, lo, hi);
        QCOMPARE(lo, 0.0f);
        QCOMPARE(hi, 24900.0f);
        choose(3);
        QCOMPARE(edit()->handlePosition(2, WavelEdit::Hi).x(), qRound(xOf(*edit(), 800.0)));
        QCOMPARE(edit()->handlePosition(0, WavelEdit::Peak).y(), qRound(yOf(*edit(), 1.0)));
        // Round label steps for a span and a label budget: the 1-2-5 series.
        const double steps[][3] = {{1850, 5, 500}, {470, 10, 50}, {90, 100, 1}, {1850, 0, 2000}};
        for (const auto& [span, budget, step] : steps)
            QCOMPARE(WavelEdit::labelStep(span, budget), step);
    }

    // Only the CIE preset is fixed: it shows its note, refuses edits and the open-hand cursor.
    // Handing over another eye is an edit of the document (the scene file stores its eye);
    // handing over the eye it already has is not.
    void presetsSwitchEditingAndApplyingEditsTheDocument() {
        for (int preset : {0, 3, 4}) {
            choose(preset);
            QCOMPARE(edit()->isEditable(), preset != 4);
            QCOMPARE(dlg->cieNoteLabel()->isVisible(), preset == 4);
            QCOMPARE(edit()->cursor().shape(), preset == 4 ? Qt::ArrowCursor : Qt::OpenHandCursor);
        }
        QVERIFY(dlg->cieNoteLabel()->text().contains("cannot be edited"));
        choose(0);
        QSignalSpy edits(doc.get(), &DocRT::eyeEdited);
        press(QDialogButtonBox::Apply);
        choose(4);
        QCOMPARE(edits.count(), 0);  // choosing alone hands nothing over
        press(QDialogButtonBox::Apply);
        press(QDialogButtonBox::Ok);  // still waiting for the frame: the same eye
        QCOMPARE(edits.count(), 1);
        doc->applyPendingChanges();
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
        choose(2);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("eye.tavolin"), "<tavolinfile>\n</tavolinfile>\n"));
        QVERIFY(doc->loadFile(dir.filePath("eye.tavolin")));
        QVERIFY(dlg->currentEye() == RenderSettings().eye);
        doc->applyPendingChanges();
        QVERIFY(doc->getSettings()->eye == dlg->currentEye());
    }

    // The CIE eye's curves against the analytic fit scaled so that the tallest reaches 1 (found
    // by brute force), y-bar peaking at 555 nm, and drawn in their channel's colour.
    void ciePresetShowsTheMatchingCurves() {
        choose(4);
        QCOMPARE(edit()->viewMinimum(), 360.0f);
        QCOMPARE(edit()->viewMaximum(), 830.0f);
        double largest = 0.0;
        for (int k = 0; k <= 4700; ++k)
            for (int c = 0; c < 3; ++c) largest = std::max(largest, fitValue(c, 360.0 + 0.1 * k));
        const double scale = 1.0 / largest;
        QVERIFY(std::fabs(WavelEdit::cieScale() - scale) < 1e-4);
        for (double nm : {420.0, 446.0, 500.0, 555.0, 600.0, 650.0, 700.0})
            for (int c = 0; c < 3; ++c)
                QVERIFY2(std::fabs(edit()->plottedValue(c, nm) - fitValue(c, nm) * scale) < 1e-3,
                         qPrintable(QString("channel %1 at %2 nm").arg(c).arg(nm)));
        const QImage image = edit()->grab().toImage();
        const QRgb colours[3] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
        for (const auto& [c, nm] : {std::pair{1, 555.0}, {2, 446.0}, {0, 650.0}}) {
            const int x = qRound(xOf(*edit(), nm));
            const int y = qRound(yOf(*edit(), fitValue(c, nm) * scale));
            const QRgb got = image.pixel(x * image.width() / edit()->width(),
                                         y * image.height() / edit()->height());
            QVERIFY2(qAbs(qRed(got) - qRed(colours[c])) < 60 &&
                         qAbs(qGreen(got) - qGreen(colours[c])) < 90 &&
                         qAbs(qBlue(got) - qBlue(colours[c])) < 60,
                     qPrintable(QString("channel %1: %2").arg(c).arg(got, 0, 16)));
        }
    }
};

TAVOLIN_UI_TEST_MAIN(DlgEyeTest)
#include "dlgeye_test.moc"
