// The window's light-travel-time switch and the observer's clock: the switch is a document edit
// (undo, the unsaved mark, saved in and read from scene files; its view group is in
// mainview_test's table), and the observer's time runs with the wall clock, freezes, stands
// still while the picture is held, is set through a question, starts at 0 with every scene and
// is shown as "t = ... s".
#include "ui/mainwindow.h"

#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/readoutformat.h"

using namespace viewtest;

namespace {

QByteArray sceneText(bool lightTravelTime) {
    return QByteArray("<tavolinfile>\n  <renderSettings>\n    <start>0;0;0;33</start>\n") +
           (lightTravelTime ? "    <lighttraveltime>1</lighttraveltime>\n" : "") +
           "  </renderSettings>\n"
           "  <sphere><center>0;0;5;0</center><texname>plain</texname></sphere>\n"
           "  <newtexturesingle><texname>plain</texname></newtexturesingle>\n</tavolinfile>\n";
}

QAction* action(const MainWindow& w, const char* name) { return w.findChild<QAction*>(name); }

}  // namespace

class LightTravelTimeTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { quietOffscreenWarnings(); }

    void theSwitchIsAnEditOfTheDocument() {
        QTemporaryDir dir;
        const QString plain = dir.filePath("plain.tavolin");
        const QString saved = dir.filePath("saved.tavolin");
        QVERIFY(writeFile(plain, sceneText(false)));
        MainWindow w;
        w.setQuestions({[](const QString&) { return QMessageBox::Discard; },
                        [&](const QString&) { return saved; },
                        {}});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.openFile(plain));
        QVERIFY(waitFrames(*w.mainView(), 2));
        QAction* sw = action(w, "actionLightTravelTime");
        QVERIFY(sw && sw->isCheckable() && !sw->isChecked());
        QCOMPARE(sw->text(), QString("Light Travel Time"));
        QVERIFY(!sw->icon().isNull());
        QVERIFY(w.toolBar()->actions().contains(sw));
        QVERIFY(w.findChild<QMenu*>("menuOptions")->actions().contains(sw));
        const RenderSettings& s = *w.document()->getSettings();
        QVERIFY(!s.lightTravelTime && !w.isWindowModified());

        sw->trigger();
        QVERIFY(s.lightTravelTime);
        QVERIFY(w.isWindowModified());
        QCOMPARE(w.undoStack()->count(), 1);
        QCOMPARE(w.undoStack()->undoText(), QString("Light Travel Time On"));
        w.undoStack()->undo();
        QVERIFY(!sw->isChecked() && !s.lightTravelTime && !w.isWindowModified());
        w.undoStack()->redo();
        QVERIFY(sw->isChecked() && s.lightTravelTime && w.isWindowModified());
        QCOMPARE(w.undoStack()->count(), 1);  // undo and redo push nothing of their own

        // Saved with the switch, and the mark goes; the file's other lines are as they were,
        // the observer's time stored as 0.
        w.slotFileSave();
        QVERIFY(!w.isWindowModified());
        const QByteArray text = readFile(saved);
        QVERIFY(text.contains("    <lighttraveltime>1</lighttraveltime>\n"));
        QVERIFY(text.contains("<start>0;0;0;0</start>"));

        // Opening a scene sets the switch from its file, with nothing to undo.
        QVERIFY(w.openFile(plain));
        QVERIFY(waitFrames(*w.mainView(), 2));
        QVERIFY(!sw->isChecked() && !w.document()->getSettings()->lightTravelTime);
        QVERIFY(w.openFile(saved));
        QVERIFY(waitFrames(*w.mainView(), 2));
        QVERIFY(sw->isChecked() && w.document()->getSettings()->lightTravelTime);
        QCOMPARE(w.undoStack()->count(), 0);
        QVERIFY(!w.isWindowModified());
    }

    void theObserversTimeRunsFreezesAndIsSet() {
        QTemporaryDir dir;
        const QString file = dir.filePath("s.tavolin");
        QVERIFY(writeFile(file, sceneText(true)));
        MainWindow w;
        double answer = 42.5;
        bool accept = true;
        double offered = -1.0;
        MainWindow::Questions q;
        q.observerTime = [&](double current, double& chosen) {
            offered = current;
            if (accept) chosen = answer;
            return accept;
        };
        w.setQuestions(q);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(waitFrames(*w.mainView(), 2));
        DocRT* doc = w.document();
        QAction* freeze = action(w, "actionFreezeTime");
        QVERIFY(freeze && !freeze->isChecked() && !doc->isObserverTimeFrozen());
        QVERIFY(w.toolBar()->actions().contains(freeze));
        QVERIFY(!freeze->icon().isNull());

        // Running: T follows the wall clock while frames go on.
        double t0 = doc->observerTime();
        spin(300);
        QVERIFY(doc->observerTime() >= t0 + 0.25);
        // Held by a menu or dialog: T stands, and goes on from there afterwards.
        w.mainView()->suspendRendering();
        const double held = doc->observerTime();
        spin(150);
        QCOMPARE(doc->observerTime(), held);
        w.mainView()->resumeRendering();
        spin(150);
        QVERIFY(doc->observerTime() > held + 0.1);
        QVERIFY(doc->observerTime() < held + 1.0);  // not the 150 ms it was held on top

        // Frozen: T stands; set: exactly the answer; the read-out shows it.
        freeze->trigger();
        QVERIFY(doc->isObserverTimeFrozen());
        t0 = doc->observerTime();
        spin(100);
        QCOMPARE(doc->observerTime(), t0);
        action(w, "actionSetTime")->trigger();
        QCOMPARE(offered, t0);
        QCOMPARE(doc->observerTime(), 42.5);
        auto* label = w.findChild<QLabel*>("labelObserverTime");
        QVERIFY(label && label->isVisible());
        QCOMPARE(label->text(), readout::observerTime(42.5));
        accept = false;
        answer = 7.0;
        action(w, "actionSetTime")->trigger();
        QCOMPARE(doc->observerTime(), 42.5);  // cancelled
        QVERIFY(!w.mainView()->isMenuOpen());
        action(w, "actionObserverTime")->setChecked(false);
        QVERIFY(!label->isVisible());

        // A new scene starts at 0, whatever its file stores; still frozen.
        QVERIFY(w.openFile(file));
        QVERIFY(waitFrames(*w.mainView(), 2));
        QCOMPARE(doc->observerTime(), 0.0);
        QVERIFY(freeze->isChecked());
        freeze->trigger();  // thawed, T runs on from where it stood
        QVERIFY(!doc->isObserverTimeFrozen());
        spin(100);
        QVERIFY(doc->observerTime() > 0.05);
    }

    // Fixed-length read-out: figure spaces before the digits, two decimals, a sign slot.
    void theReadOutHasAFixedLength() {
        const QChar f(0x2007);
        const struct {
            double t;
            QString text;
        } cases[] = {{0.0, "t = " + QString(5, f) + "0.00 s"},
                     {12.25, "t = " + QString(4, f) + "12.25 s"},
                     {-3.5, "t = " + QString(4, f) + "-3.50 s"},
                     {-99999.99, "t = -99999.99 s"},
                     {-123456.78, "t = -123456.8 s"},
                     {1234567.891, "t = " + QString(2, f) + "1234568 s"}};
        for (const auto& c : cases) QCOMPARE(readout::observerTime(c.t), c.text);
    }
};

QTEST_MAIN(LightTravelTimeTest)
#include "lighttraveltime_test.moc"
