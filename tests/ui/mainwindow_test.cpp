// The main window: effect switches, the status-bar read-outs and their units, shortcuts with the
// menu bar hidden, help, undo (of scene edits and of the eye) and the unsaved-changes question,
// and keys reaching the view.
#include "ui/mainwindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QUndoStack>
#include <QtTest>

#include "geometry/traceoutput.h"
#include "scene/rendersettings.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/dlgabout.h"
#include "ui/dlgeye.h"
#include "ui/helpassistant.h"
#include "ui/speedunits.h"

using namespace viewtest;

namespace {
const char* kTwoBalls = R"(<tavolinfile>
  <sphere>
    <name>ball</name>
    <center>0;0;-5;0</center>
    <radius>0.5</radius>
    <texname>plain</texname>
  </sphere>
  <sphere>
    <name>moon</name>
    <center>2;1;-6;0</center>
    <radius>0.25</radius>
    <texname>plain</texname>
  </sphere>
  <newtexturesingle>
    <texname>plain</texname>
    <color>default</color>
  </newtexturesingle>
</tavolinfile>
)";

rtObjSphere<1>* sphereNamed(DocRT* doc, const QString& name) {
    for (rtObjBase* object : doc->getSceneData()->objects.items)
        if (object->name == name) return dynamic_cast<rtObjSphere<1>*>(object);
    return nullptr;
}

// The numbers a read-out shows, in order.
QList<double> numbersIn(const QString& text) {
    QList<double> numbers;
    QRegularExpressionMatchIterator it =
        QRegularExpression("-?[0-9]+(\\.[0-9]+)?(e[-+]?[0-9]+)?").globalMatch(text);
    while (it.hasNext()) numbers << it.next().captured(0).toDouble();
    return numbers;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QLabel* label(MainWindow& w, const char* name) {
        return w.findChild<QLabel*>(QString::fromLatin1(name));
    }
    QAction* action(MainWindow& w, const char* name) {
        return w.findChild<QAction*>(QString::fromLatin1(name));
    }

private slots:
    void effectActionsSwitchTheDocument() {
        MainWindow w;
        RenderSettings& s = *w.document()->getSettings();
        const std::pair<const char*, bool RenderSettings::*> switches[] = {
            {"actionAbberration", &RenderSettings::aberration},
            {"actionSRTDopplerEffect", &RenderSettings::srtDoppler},
            {"actionLightBending", &RenderSettings::lightBending},
            {"actionGRTDopplerEffect", &RenderSettings::grtDoppler},
        };
        for (const auto& [name, flag] : switches) {
            QAction* a = action(w, name);
            QVERIFY(a->isCheckable());
            const bool before = s.*flag;
            QCOMPARE(a->isChecked(), before);
            a->trigger();
            QCOMPARE(s.*flag, !before);
            a->trigger();
            QCOMPARE(s.*flag, before);
        }
        // The trace switch follows and sets the trace output.
        QAction* trace = action(w, "actionTraceOutput");
        const bool traced = TraceOutput::enabled();
        QCOMPARE(trace->isChecked(), traced);
        trace->toggle();
        QCOMPARE(TraceOutput::enabled(), !traced);
        trace->toggle();
        QCOMPARE(TraceOutput::enabled(), traced);
    }

    void statusBarReadOuts() {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(waitFrames(*w.mainView(), 2));

        // The speed in both units, only fractions of c, only km/s.
        w.document()->getSettings()->speed = 0.5f;
        showSpeedKm = true;
        showSpeedLight = true;
        w.updateStatusBar();
        // 0.5 x 299792.46875 = 149896.234375; the figure space holds the place of a sign.
        QCOMPARE(label(w, "labelSpeed")->text(),
                 QString("Speed: \u20070.500000c, \u2007149896.2km/s"));
        showSpeedKm = false;
        w.updateStatusBar();
        QCOMPARE(label(w, "labelSpeed")->text(), QString("Speed: \u20070.500000c"));
        showSpeedKm = true;
        showSpeedLight = false;
        w.updateStatusBar();
        QCOMPARE(label(w, "labelSpeed")->text(), QString("Speed: \u2007149896.2km/s"));

        // A read-out shows and hides with its action; the cursor's pixel has a field per number.
        w.mainView()->suspendRendering();
        QVERIFY(holdFrames(*w.mainView()));
        QAction* position = action(w, "actionPosition");
        position->setChecked(true);
        QVERIFY(label(w, "labelPosition")->isVisible());
        w.document()->observerFrame().m[0][1] = 1.25f;
        w.document()->observerFrame().m[0][2] = -2.5f;
        w.document()->observerFrame().m[0][3] = 375.0f;
        w.document()->getSettings()->frameToSettings(w.document()->observerFrame());
        w.updateStatusBar();
        QCOMPARE(numbersIn(label(w, "labelPosition")->text()), QList<double>({1.25, -2.5, 375}));
        position->setChecked(false);
        QVERIFY(!label(w, "labelPosition")->isVisible());
        action(w, "actionCursorPosition")->setChecked(true);
        GlView* view = w.mainView()->rootView().view();
        hover(view, QPoint(17, 9));
        QTRY_COMPARE(w.mainView()->cursorX(), 17);
        w.updateStatusBar();
        QCOMPARE(label(w, "labelCursorPos")->text(),
                 QString("<\u2007\u2007\u200717,\u2007\u2007\u2007\u20079>"));
        w.mainView()->resumeRendering();
    }

    // Ctrl+M hides the menu bar; the window's own copies of the actions keep every shortcut,
    // Ctrl+M included, working.
    void shortcutsWorkWithTheMenuBarHidden() {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QMenuBar* bar = w.menuBar();
        QVERIFY(bar->isVisible());
        QTest::keyClick(&w, Qt::Key_M, Qt::ControlModifier);
        QTRY_VERIFY(!bar->isVisible());
        QVERIFY(!action(w, "actionShowMenuBar")->isChecked());
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(!w.statusBar()->isVisible());
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(w.statusBar()->isVisible());
        QTest::keyClick(&w, Qt::Key_M, Qt::ControlModifier);
        QTRY_VERIFY(bar->isVisible());

        // The tool bar follows its action both ways.
        QAction* toolbar = action(w, "actionShowToolBar");
        QVERIFY(w.toolBar()->isVisible());
        toolbar->trigger();
        QVERIFY(!w.toolBar()->isVisible());
        w.toolBar()->show();
        QVERIFY(toolbar->isChecked());
    }

    // F1 asks the help viewer for the index page, slotShowHelpItem for a named page; a stand-in
    // viewer records what it is told.
    void helpReachesTheViewer() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString log = dir.filePath("viewer.log");
        const QString viewer = dir.filePath("viewer.sh");
        QVERIFY(writeStandInViewer(viewer, log));
        HelpAssistant::setViewerProgram(viewer);
        HelpAssistant::setStartNoticeEnabled(false);
        const QString prefix = "qthelp://tavolindoc/doc/output/";
        auto logText = [&] { return QString::fromLocal8Bit(readFile(log)); };
        {
            MainWindow w;
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&w));
            QTest::keyClick(&w, Qt::Key_F1);
            QTRY_VERIFY(logText().contains("in setSource " + prefix + "index.html"));
            QVERIFY(logText().contains("arg -showUrl\narg " + prefix + "index.html\n"));
            w.slotShowHelpItem("dlgfilm");
            QTRY_VERIFY(logText().contains("in setSource " + prefix + "dlgfilm.html"));
        }
        HelpAssistant::setViewerProgram({});
        HelpAssistant::setStartNoticeEnabled(true);
    }

    // The About box runs modally while the observer is paused; the pause is restored after.
    void aboutPausesTheObserver() {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        bool sawAbout = false, pausedMeanwhile = false;
        QTimer::singleShot(300, this, [&] {
            auto* about = qobject_cast<DlgAbout*>(QApplication::activeModalWidget());
            sawAbout = about != nullptr;
            pausedMeanwhile = w.mainView()->isPaused();
            if (about) about->reject();
        });
        QVERIFY(!w.mainView()->isPaused());
        action(w, "actionHelpAbout")->trigger();
        QVERIFY(sawAbout);
        QVERIFY(pausedMeanwhile);
        QVERIFY(!w.mainView()->isPaused());
    }

    // Applied edits (a change and a deletion) mark the window modified and are undone and redone
    // at the next frames; leaving the document with changes asks Save / Discard / Cancel.
    void editsUndoAndTheUnsavedChangesQuestion() {
        QTemporaryDir dir;
        const QString file = dir.filePath("mine.tavolin");
        QVERIFY(writeFile(file, kTwoBalls));

        MainWindow w;
        QStringList asked;
        QMessageBox::StandardButton answer = QMessageBox::Cancel;
        QString saveAs;
        w.setQuestions({[&](const QString& text) {
                            asked << text;
                            return answer;
                        },
                        [&](const QString&) { return saveAs; }});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        MainView& view = *w.mainView();
        DocRT* doc = w.document();
        QVERIFY(w.openFile(file));
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(w.windowTitle(), QString("mine.tavolin[*] - Tavolin"));
        QVERIFY(!w.isWindowModified());
        QVERIFY(sphereNamed(doc, "ball"));

        // What the edit dock's Apply records: a bigger ball, then the moon deleted.
        SceneData* scene = doc->getSceneData();
        rtObjBase* bigger = sphereNamed(doc, "ball")->clone();
        static_cast<rtObjSphere<1>*>(bigger)->radius = 2.0f;
        scene->objects.recordChange(bigger, sphereNamed(doc, "ball"));
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(sphereNamed(doc, "ball")->radius, 2.0f);
        QVERIFY(w.isWindowModified());
        scene->objects.recordRemoval(sphereNamed(doc, "moon"));
        QVERIFY(waitFrames(view, 2));
        QVERIFY(!sphereNamed(doc, "moon"));
        QCOMPARE(w.undoStack()->count(), 2);

        // Ctrl+Z twice (the window's shortcut) brings back the file's scene, unmodified.
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(waitFrames(view, 2));
        QVERIFY(sphereNamed(doc, "moon"));
        QCOMPARE(sphereNamed(doc, "ball")->radius, 2.0f);
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(sphereNamed(doc, "ball")->radius, 0.5f);
        QVERIFY(!w.isWindowModified());
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(sphereNamed(doc, "ball")->radius, 2.0f);
        QVERIFY(sphereNamed(doc, "moon"));
        QVERIFY(w.isWindowModified());
        QCOMPARE(doc->getSceneData()->objects.items.size(), size_t(2));

        // Cancel keeps the window and the changes.
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains("mine.tavolin"));
        QVERIFY(w.isWindowModified());

        // Save writes the document's own file; the title loses its marker.
        answer = QMessageBox::Save;
        w.slotFileNew();
        QCOMPARE(asked.size(), 2);
        QVERIFY(!w.isWindowModified());
        QCOMPARE(w.windowTitle(), QString("Untitled[*] - Tavolin"));
        DocRT saved;
        QVERIFY(saved.loadFile(file));
        saved.applyPendingChanges();
        QCOMPARE(sphereNamed(&saved, "ball")->radius, 2.0f);
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(doc->getSceneData()->objects.items.size(), size_t(8));  // the built-in scene

        // Discard drops an edit; a failed save says where it failed and keeps the marker.
        doc->getSceneData()->objects.recordRemoval(doc->getSceneData()->objects.items[0]);
        QVERIFY(waitFrames(view, 2));
        QVERIFY(w.isWindowModified());
        saveAs = dir.filePath("no-such-folder/new.tavolin");
        {
            ModalAnswerer boxes;
            w.slotFileSave();
            QTRY_COMPARE(boxes.texts.size(), 1);
            QVERIFY(boxes.texts[0].contains(QDir::toNativeSeparators(saveAs)));
        }
        QVERIFY(w.isWindowModified());
        answer = QMessageBox::Discard;
        w.slotFileNew();
        QCOMPARE(asked.size(), 3);
        QVERIFY(!w.isWindowModified());
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(doc->getSceneData()->objects.items.size(), size_t(8));
    }

    // The eye dialog's choice marks the document modified, and Undo takes it back and clears
    // the mark.
    void eyeChoiceIsAnUndoableEdit() {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.slotOptionsVisibleWavelength();
        auto* dialog = w.findChild<DlgEye*>();
        const Eye before = w.document()->nextFrameEye();
        dialog->presetCombo()->setCurrentIndex(dialog->presetCombo()->findText("Human (CIE 1931)"));
        QVERIFY(!w.isWindowModified());  // chosen, not yet handed over
        dialog->buttons()->button(QDialogButtonBox::Apply)->click();
        QVERIFY(w.isWindowModified());
        QCOMPARE(w.document()->nextFrameEye().kind, EyeKind::Cie1931);
        action(w, "actionUndo")->trigger();
        QVERIFY(w.document()->nextFrameEye() == before);
        QVERIFY(!w.isWindowModified());
        QVERIFY(dialog->currentEye() == before);
        action(w, "actionRedo")->trigger();
        QCOMPARE(w.document()->nextFrameEye().kind, EyeKind::Cie1931);
        QVERIFY(w.isWindowModified());
    }

    // A scene naming a texture it never defines still opens, and the window says which name is
    // missing without blocking.
    void undefinedNamesAreReportedWhenASceneOpens() {
        QTemporaryDir dir;
        const QString file = dir.filePath("typo.tavolin");
        QVERIFY(writeFile(file, QByteArray(kTwoBalls).replace(
                                    "<texname>plain</texname>\n  </sphere>\n  <sphere>",
                                    "<texname>pLain</texname>\n  </sphere>\n  <sphere>")));

        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.openFile(file));
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = w.findChild<QMessageBox*>()) && box->isVisible());
        QVERIFY2(box->informativeText().contains("\"pLain\""), qPrintable(box->informativeText()));
        QVERIFY(!box->isModal());
        QVERIFY(waitFrames(*w.mainView(), 2));
        QVERIFY(sphereNamed(w.document(), "ball"));
    }

    // Keys typed into the view fly the observer: holding A raises the speed.
    void keysReachTheNavigation() {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        GlView* view = w.mainView()->rootView().view();
        const float before = w.document()->getSettings()->speed;
        QTest::keyPress(view, Qt::Key_A);
        spin(300);
        QTest::keyRelease(view, Qt::Key_A);
        const float after = w.document()->getSettings()->speed;
        QVERIFY2(after > before + 0.1f, qPrintable(QString::number(after)));
        QTest::keyClick(view, Qt::Key_R);
        QCOMPARE(w.document()->getSettings()->speed, 0.0f);
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
