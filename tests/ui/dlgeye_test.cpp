// The eye dialog and its curve editor: handle drags with their 50 nm limits, the presets and the
// hand-over to the document.
#include "ui/dlgeye.h"

#include <cmath>
#include <memory>

#include "engine/docrt.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/waveledit.h"

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

    // {preset, channel, handle pressed (-1: the top-left corner) and the offset from it, x the
    // mouse moves to (negative: from the right edge), button, the channel's lo, peak and hi after
    // ("=": unchanged, "~": the wavelength under the mouse)}. The default eye's channels are
    // 500/1100/1500, 300/900/1250 and 100/500/880; a handle stops 50 nm from its neighbours and
    // at 0.
    void drags_data() {
        QTest::addColumn<int>("preset");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("handle");
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<int>("toX");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("after");
        const int lo = WavelEdit::Lo, peak = WavelEdit::Peak, hi = WavelEdit::Hi;
        const int left = Qt::LeftButton;
        QTest::newRow("peak stops above lo")
            << 0 << 0 << peak << QPoint() << 2 << left << "= 550 =";
        QTest::newRow("lo stops at 0") << 0 << 2 << lo << QPoint() << 0 << left << "0 = =";
        QTest::newRow("hi follows") << 0 << 1 << hi << QPoint() << -20 << left << "= = ~";
        QTest::newRow("hi stops above the peak")
            << 0 << 1 << hi << QPoint() << 1 << left << "= = 950";
        QTest::newRow("nearest handle") << 0 << 1 << lo << QPoint(0, -30) << 100 << left << "~ = =";
        QTest::newRow("right button")
            << 0 << 0 << lo << QPoint() << 300 << int(Qt::RightButton) << "= = =";
        QTest::newRow("CIE is fixed") << 4 << 1 << peak << QPoint() << 10 << left << "= = =";
    }

    void drags() {
        QFETCH(int, preset);
        QFETCH(int, channel);
        QFETCH(int, handle);
        QFETCH(QPoint, offset);
        QFETCH(int, toX);
        QFETCH(int, button);
        QFETCH(QString, after);
        const auto mouse = Qt::MouseButton(button);
        choose(preset);
        const Eye before = dlg->currentEye();
        const float viewMin = edit()->viewMinimum();
        const QPoint from =
            (handle < 0 ? QPoint() : edit()->handlePosition(channel, handle)) + offset;
        const QPoint to(toX < 0 ? edit()->width() + toX : toX, from.y());
        QTest::mousePress(edit(), mouse, Qt::NoModifier, from);
        for (int i = 1; i <= 4; ++i) {  // several moves, as a real drag delivers them
            const QPoint at = from + (to - from) * i / 4;
            QMouseEvent move(QEvent::MouseMove, at, edit()->mapToGlobal(at), Qt::NoButton, mouse,
                             Qt::NoModifier);
            QCoreApplication::sendEvent(edit(), &move);
        }
        QCOMPARE(edit()->viewMinimum(), viewMin);  // while dragging, the view stays put
        const EyeChannel& now = dlg->currentEye().channel[channel];
        const EyeChannel& old = before.channel[channel];
        const float values[3] = {now.lo, now.peak, now.hi}, olds[3] = {old.lo, old.peak, old.hi};
        const double under = edit()->viewMinimum() + (to.x() - 45.0) *
                                                         (edit()->viewMaximum() - viewMin) /
                                                         (edit()->width() - 53.0);
        const QStringList want = after.split(' ');
        for (int k = 0; k < 3; ++k) {
            const double expected = want[k] == "="   ? olds[k]
                                    : want[k] == "~" ? under
                                                     : want[k].toDouble();
            QVERIFY2(std::fabs(values[k] - expected) < 1e-2, qPrintable(QString::number(k)));
        }
        for (int c = 0; c < 3; ++c)
            if (c != channel) QVERIFY(dlg->currentEye().channel[c] == before.channel[c]);
        QTest::mouseRelease(edit(), mouse, Qt::NoModifier, to);
        edit()->repaint();
        float lo = 0, hi = 0;  // released, the view is worked out again from the new ends
        WavelEdit::viewRange(dlg->currentEye(), lo, hi);
        QVERIFY(preset == 4 || edit()->viewMinimum() == lo);
    }

    // Only the CIE preset is fixed and says so. Handing over another eye is an edit of the
    // document (from, to); handing over the eye it already has is not.
    void presetsSwitchEditingAndApplyingEditsTheDocument() {
        choose(4);
        QVERIFY(!edit()->isEditable() && dlg->cieNoteLabel()->isVisible());
        QSignalSpy edits(doc.get(), &DocRT::eyeEdited);
        press(QDialogButtonBox::Apply);
        press(QDialogButtonBox::Ok);  // still waiting for the frame: the same eye
        QCOMPARE(edits.count(), 1);
        QVERIFY(edits.at(0).at(0).value<Eye>() == defaultEye());
        QCOMPARE(edits.at(0).at(1).value<Eye>().kind, EyeKind::Cie1931);
    }
};

TAVOLIN_UI_TEST_MAIN(DlgEyeTest)
#include "dlgeye_test.moc"
