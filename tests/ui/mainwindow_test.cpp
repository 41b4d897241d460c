// The main window: shortcuts with the menu bar hidden, help, the About box's
// pause, the observer's clock, undo (of scene edits and the document switches) and the
// unsaved-changes question, a big scene opening on its own thread, and the brightness read-out
// against the closed-form beaming factor.
#include "ui/mainwindow.h"

#include <cmath>

#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/dlgabout.h"
#include "ui/helpassistant.h"
#include "ui/readoutformat.h"

using namespace viewtest;

namespace {

const char* kTwoBalls = R"(<tavolinfile>
  <sphere><name>ball</name><center>0;0;-5;0</center><radius>0.5</radius>
    <texname>plain</texname></sphere>
  <sphere><name>moon</name><center>2;1;-6;0</center><radius>0.25</radius>
    <texname>plain</texname></sphere>
  <newtexturesingle><texname>plain</texname><color>default</color></newtexturesingle>
</tavolinfile>
)";

// Shows the window and makes it the active one, so that its shortcuts reach it.
bool showActive(MainWindow& w) {
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowExposed(&w) && QTest::qWaitForWindowActive(&w);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    // Ctrl+M hides the menu bar; the window's own copies of the actions keep the shortcuts.
    // F1 asks the help viewer (a stand-in) for the index page; About pauses the observer.
    void shortcutsHelpAndAbout() {
        QTemporaryDir dir;
        const QString log = dir.filePath("viewer.log");
        QVERIFY(writeStandInViewer(dir.filePath("viewer.sh"), log));
        HelpAssistant::setViewerProgram(dir.filePath("viewer.sh"));
        HelpAssistant::setStartNoticeEnabled(false);
        {
            MainWindow w;
            QVERIFY(showActive(w));
            QTest::keyClick(&w, Qt::Key_M, Qt::ControlModifier);
            QTRY_VERIFY(!w.menuBar()->isVisible());
            QTest::keyClick(&w, Qt::Key_F1);
            QTRY_VERIFY(
                readFile(log).contains("in setSource qthelp://tavolindoc/doc/output/index"));
            bool pausedMeanwhile = false;
            QTimer::singleShot(300, this, [&] {
                auto* about = qobject_cast<DlgAbout*>(QApplication::activeModalWidget());
                pausedMeanwhile = about && w.mainView()->isPaused();
                if (about) about->reject();
            });
            w.findChild<QAction*>("actionHelpAbout")->trigger();
            QVERIFY(pausedMeanwhile && !w.mainView()->isPaused());
        }
        HelpAssistant::setViewerProgram({});
        HelpAssistant::setStartNoticeEnabled(true);
    }

    // The observer's clock from the window: Freeze Time stops it; Set Time asks from where it
    // stands, applies the answer (a cancel changes nothing) and the read-out shows it.
    void observersTimeFreezesAndIsSet() {
        MainWindow w;
        double offered = -1.0;
        bool accept = true;
        MainWindow::Questions q;
        q.observerTime = [&](double current, double& chosen) {
            offered = current;
            chosen = accept ? 42.5 : 7.0;
            return accept;
        };
        w.setQuestions(q);
        w.show();
        QVERIFY(waitFrames(*w.mainView(), 2));
        DocRT* doc = w.document();
        w.findChild<QAction*>("actionFreezeTime")->trigger();
        const double t0 = doc->observerTime();
        spin(100);
        QCOMPARE(doc->observerTime(), t0);
        for (const bool answer : {true, false}) {
            accept = answer;
            w.findChild<QAction*>("actionSetTime")->trigger();
            QCOMPARE(offered, answer ? t0 : 42.5);
            QCOMPARE(doc->observerTime(), 42.5);
        }
        w.findChild<QAction*>("actionObserverTime")->setChecked(true);
        QCOMPARE(w.findChild<QLabel*>("labelObserverTime")->text(), readout::observerTime(42.5));
    }

    // A big scene is read on a thread of its own: the window's timers run meanwhile, and a close
    // request made while it loads is refused rather than leaving the scene half taken over.
    void aBigSceneOpensWhileTheWindowStaysLive() {
        QTemporaryDir dir;
        const QString file = dir.filePath("many.tavolin");
        QByteArray text = "<tavolinfile>";
        for (int i = 0; i < 40000; ++i)
            text += QString(
                        "<sphere><center>%1;%2;-9;0</center><radius>0.1</radius>"
                        "<texname>plain</texname></sphere>")
                        .arg(i % 200)
                        .arg(i / 200)
                        .toUtf8();
        QVERIFY(writeFile(file, text + "<newtexturesingle><texname>plain</texname>"
                                       "</newtexturesingle></tavolinfile>"));
        MainWindow w;
        QVERIFY(showActive(w));
        int ticks = 0;
        QTimer live;
        connect(&live, &QTimer::timeout, &w, [&] {
            if (++ticks == 1) w.close();
        });
        live.start(1);
        QVERIFY(w.openFile(file));
        live.stop();
        QVERIFY(ticks > 0 && w.isVisible());
        QVERIFY(waitFrames(*w.mainView(), 1));
        QCOMPARE(w.document()->getSceneData()->objects.items.size(), size_t(40000));
    }

    // Applied edits are undone and redone at the next frames, the unsaved mark following them;
    // New with changes asks, Discard writes nothing, and a failed save says where it failed and
    // keeps the mark. (Cancel and Save on leaving: the end-to-end test.)
    void editsUndoAndTheUnsavedChangesQuestion() {
        QTemporaryDir dir;
        const QString file = dir.filePath("mine.tavolin");
        QVERIFY(writeFile(file, kTwoBalls));
        MainWindow w;
        QStringList asked;
        const QString saveAs = dir.filePath("no-such-folder/new.tavolin");
        w.setQuestions({[&](const QString& text) {
                            asked << text;
                            return QMessageBox::Discard;
                        },
                        [&](const QString&) { return saveAs; },
                        {}});
        QVERIFY(showActive(w));
        MainView& view = *w.mainView();
        DocRT* doc = w.document();
        QVERIFY(w.openFile(file));
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(w.windowTitle(), QString("mine.tavolin[*] - Tavolin"));
        // What the edit dock's Apply records: a bigger ball, then the moon deleted.
        SceneData* scene = doc->getSceneData();
        auto* bigger = static_cast<rtObjSphere<1>*>(objectNamed(*doc, "ball")->clone());
        bigger->radius = 2.0f;
        scene->objects.recordChange(bigger, objectNamed(*doc, "ball"));
        QVERIFY(waitFrames(view, 2));
        scene->objects.recordRemoval(objectNamed(*doc, "moon"));
        QVERIFY(waitFrames(view, 2));
        QVERIFY(!objectNamed(*doc, "moon") && w.isWindowModified());
        for (int i = 0; i < 2; ++i) {  // Ctrl+Z twice brings back the file's scene, unmodified
            QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
            QVERIFY(waitFrames(view, 2));
        }
        QVERIFY(objectNamed(*doc, "moon") && !w.isWindowModified());
        QCOMPARE(objectNamed(*doc, "ball")->radius, 0.5f);
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(objectNamed(*doc, "ball")->radius, 2.0f);
        QVERIFY(w.isWindowModified());

        w.slotFileNew();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains("mine.tavolin") && !w.isWindowModified());
        QCOMPARE(readFile(file), QByteArray(kTwoBalls));
        QCOMPARE(w.windowTitle(), QString("Untitled[*] - Tavolin"));
        QVERIFY(waitFrames(view, 2));
        scene = doc->getSceneData();
        scene->objects.recordRemoval(scene->objects.items[0]);
        QVERIFY(waitFrames(view, 2));
        {
            ModalAnswerer boxes;
            w.slotFileSave();
            QTRY_COMPARE(boxes.texts.size(), 1);
            QVERIFY(boxes.texts[0].contains(QDir::toNativeSeparators(saveAs)));
        }
        QVERIFY(w.isWindowModified());
    }

    // Light Travel Time and Starry Sky are edits of the document: undone and redone, saved in the
    // file (absent while off), and set from an opened file with nothing to undo.
    void switchesAreEditsOfTheDocument() {
        QTemporaryDir dir;
        const QString saved = dir.filePath("saved.tavolin"), plain = dir.filePath("plain.tavolin");
        QVERIFY(writeFile(plain, kTwoBalls));
        const std::tuple<const char*, const char*, bool RenderSettings::*> switches[] = {
            {"actionLightTravelTime", "lighttraveltime", &RenderSettings::lightTravelTime},
            {"actionStarrySky", "starrysky", &RenderSettings::starrySky}};
        for (const auto& [name, tag, on] : switches) {
            MainWindow w;
            w.setQuestions({[](const QString&) { return QMessageBox::Discard; },
                            [&](const QString&) { return saved; },
                            {}});
            QVERIFY(w.openFile(plain) && waitFrames(*w.mainView(), 2));
            QAction* sw = w.findChild<QAction*>(name);
            auto isOn = [&, on = on] {
                return sw->isChecked() && w.document()->getSettings()->*on;
            };
            sw->trigger();
            QVERIFY(isOn() && w.isWindowModified());
            w.undoStack()->undo();
            QVERIFY(!isOn() && !w.isWindowModified());
            w.undoStack()->redo();
            QVERIFY(isOn());
            w.slotFileSave();
            QVERIFY(!w.isWindowModified());
            const QString file = QString::fromUtf8(readFile(saved));
            QVERIFY(file.contains(QString("<%1>1</%1>").arg(tag)));
            QVERIFY(
                !file.contains(QByteArray(tag) == "starrysky" ? "lighttraveltime" : "starrysky"));
            QVERIFY(w.openFile(plain) && w.openFile(saved));
            QVERIFY(waitFrames(*w.mainView(), 1));
            QVERIFY(isOn());
            QCOMPARE(w.undoStack()->count(), 0);
        }
    }

    // With the searchlight on (exponent k = 4), "Brightness at Cursor" shows (1/D)^k, D = gamma (1
    // - beta cos theta') with theta' between the pixel's ray (x, y, 1000) and the motion.
    void searchlightAndItsBrightnessReadOut() {
        MainWindow w;
        w.resize(800, 500);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        RenderSettings* s = w.document()->getSettings();
        w.findChild<QAction*>("actionSearchlight")->trigger();
        QCOMPARE(s->searchlight, int8_t(4));
        QVERIFY(waitFrames(*w.mainView(), 2));
        MainView* main = w.mainView();
        QVERIFY(holdFrames(*main));
        const double beta = 0.6, gamma = 1.25;
        s->speed = float(beta);
        GlView* view = main->rootView().view();
        const int vw = view->width(), vh = view->height();
        const QPoint p(vw * 3 / 4, vh / 5);
        hover(view, p);
        QTRY_COMPARE(main->cursorX(), p.x());
        w.updateStatusBar();
        const double x = (p.x() - vw * 0.5) / vw * 1000.0 * (vw >= vh ? 1.0 : double(vw) / vh);
        const double y = (p.y() - vh * 0.5) / vh * 1000.0 * (vw >= vh ? double(vh) / vw : 1.0);
        const double cosTheta = 1000.0 / std::sqrt(x * x + y * y + 1.0e6);
        const double expected = std::pow(1.0 / (gamma * (1.0 - beta * cosTheta)), 4);
        auto* label = w.findChild<QLabel*>("labelCursorBrightness");
        const double shown = label->text().section(": ", 1).toDouble();
        QVERIFY2(std::fabs(shown - expected) < 1e-5 * expected, qPrintable(label->text()));
        view->searchlightChecker().setChoice(EffectChoice::Disable);  // no read-out there
        w.updateStatusBar();
        QVERIFY(!label->isVisible());
        main->resumeRendering();
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
