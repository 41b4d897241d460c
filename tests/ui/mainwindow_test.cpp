// The main window: effect switches, shortcuts with the menu bar hidden, help, the About box's
// pause, undo (of scene edits and of the eye) and the unsaved-changes question, a scene naming
// an undefined texture, and keys reaching the view.
#include "ui/mainwindow.h"

#include "scene/rendersettings.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/dlgabout.h"
#include "ui/dlgeye.h"
#include "ui/helpassistant.h"

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

rtObjSphere<1>* sphereNamed(DocRT* doc, const QString& name) {
    for (rtObjBase* object : doc->getSceneData()->objects.items)
        if (object->name == name) return dynamic_cast<rtObjSphere<1>*>(object);
    return nullptr;
}

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
    // Each effect switch of the menu flips its own flag of the document, and no other.
    void effectActionsSwitchTheDocument() {
        MainWindow w;
        RenderSettings& s = *w.document()->getSettings();
        const std::pair<const char*, bool RenderSettings::*> switches[] = {
            {"actionAbberration", &RenderSettings::aberration},
            {"actionSRTDopplerEffect", &RenderSettings::srtDoppler},
            {"actionLightBending", &RenderSettings::lightBending},
            {"actionGRTDopplerEffect", &RenderSettings::grtDoppler}};
        const RenderSettings before = s;
        for (int i = 0; i < 4; ++i) {
            w.findChild<QAction*>(switches[i].first)->trigger();
            for (int j = 0; j < 4; ++j)
                QCOMPARE(s.*switches[j].second, (before.*switches[j].second) != (j <= i));
        }
    }

    // Ctrl+M hides the menu bar; the window's own copies of the actions keep every shortcut,
    // Ctrl+M included, working.
    void shortcutsWorkWithTheMenuBarHidden() {
        MainWindow w;
        QVERIFY(showActive(w));
        QTest::keyClick(&w, Qt::Key_M, Qt::ControlModifier);
        QTRY_VERIFY(!w.menuBar()->isVisible());
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(!w.statusBar()->isVisible());
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(w.statusBar()->isVisible());
        QTest::keyClick(&w, Qt::Key_M, Qt::ControlModifier);
        QTRY_VERIFY(w.menuBar()->isVisible());
        // The tool bar's action follows the bar when it is shown by other means.
        w.findChild<QAction*>("actionShowToolBar")->trigger();
        QVERIFY(!w.toolBar()->isVisible());
        w.toolBar()->show();
        QVERIFY(w.findChild<QAction*>("actionShowToolBar")->isChecked());
    }

    // F1 asks the help viewer (a stand-in that records what it is told) for the index page,
    // slotShowHelpItem for a named page; the About box runs while the observer is paused.
    void helpReachesTheViewerAndAboutPauses() {
        QTemporaryDir dir;
        const QString log = dir.filePath("viewer.log");
        QVERIFY(writeStandInViewer(dir.filePath("viewer.sh"), log));
        HelpAssistant::setViewerProgram(dir.filePath("viewer.sh"));
        HelpAssistant::setStartNoticeEnabled(false);
        const QString prefix = "in setSource qthelp://tavolindoc/doc/output/";
        {
            MainWindow w;
            QVERIFY(showActive(w));
            QTest::keyClick(&w, Qt::Key_F1);
            QTRY_VERIFY(readFile(log).contains((prefix + "index.html").toUtf8()));
            w.slotShowHelpItem("dlgfilm");
            QTRY_VERIFY(readFile(log).contains((prefix + "dlgfilm.html").toUtf8()));

            bool pausedMeanwhile = false;
            QTimer::singleShot(300, this, [&] {
                auto* about = qobject_cast<DlgAbout*>(QApplication::activeModalWidget());
                pausedMeanwhile = about && w.mainView()->isPaused();
                if (about) about->reject();
            });
            w.findChild<QAction*>("actionHelpAbout")->trigger();
            QVERIFY(pausedMeanwhile);
            QVERIFY(!w.mainView()->isPaused());
        }
        HelpAssistant::setViewerProgram({});
        HelpAssistant::setStartNoticeEnabled(true);
    }

    // Applied edits (a change and a deletion) mark the window modified and are undone and redone
    // at the next frames; leaving the document with changes asks Save / Discard / Cancel, and a
    // failed save says where it failed and keeps the mark.
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
                        [&](const QString&) { return saveAs; },
                        {}});
        QVERIFY(showActive(w));
        MainView& view = *w.mainView();
        DocRT* doc = w.document();
        QVERIFY(w.openFile(file));
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(w.windowTitle(), QString("mine.tavolin[*] - Tavolin"));
        QVERIFY(!w.isWindowModified());

        // What the edit dock's Apply records: a bigger ball, then the moon deleted.
        SceneData* scene = doc->getSceneData();
        auto* bigger = static_cast<rtObjSphere<1>*>(sphereNamed(doc, "ball")->clone());
        bigger->radius = 2.0f;
        scene->objects.recordChange(bigger, sphereNamed(doc, "ball"));
        QVERIFY(waitFrames(view, 2));
        scene->objects.recordRemoval(sphereNamed(doc, "moon"));
        QVERIFY(waitFrames(view, 2));
        QVERIFY(!sphereNamed(doc, "moon"));
        QVERIFY(w.isWindowModified());
        QCOMPARE(w.undoStack()->count(), 2);
        // Ctrl+Z twice brings back the file's scene, unmodified; Ctrl+Shift+Z redoes.
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
        QVERIFY(w.isWindowModified());

        QVERIFY(!w.close());  // Cancel keeps the window and the changes
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains("mine.tavolin"));
        QVERIFY(w.isWindowModified());
        answer = QMessageBox::Save;  // Save writes the document's own file
        w.slotFileNew();
        QVERIFY(!w.isWindowModified());
        QCOMPARE(w.windowTitle(), QString("Untitled[*] - Tavolin"));
        DocRT saved;
        QVERIFY(saved.loadFile(file));
        saved.applyPendingChanges();
        QCOMPARE(sphereNamed(&saved, "ball")->radius, 2.0f);
        QVERIFY(waitFrames(view, 2));

        scene = doc->getSceneData();
        scene->objects.recordRemoval(scene->objects.items[0]);
        QVERIFY(waitFrames(view, 2));
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
        QCOMPARE(doc->getSceneData()->objects.items.size(), size_t(8));  // the built-in scene
    }

    // The eye dialog's choice marks the document modified; Undo takes it back and clears the mark.
    void eyeChoiceIsAnUndoableEdit() {
        MainWindow w;
        w.show();
        w.slotOptionsVisibleWavelength();
        auto* dialog = w.findChild<DlgEye*>();
        const Eye before = w.document()->nextFrameEye();
        dialog->presetCombo()->setCurrentIndex(dialog->presetCombo()->findText("Human (CIE 1931)"));
        QVERIFY(!w.isWindowModified());  // chosen, not yet handed over
        dialog->buttons()->button(QDialogButtonBox::Apply)->click();
        QVERIFY(w.isWindowModified());
        w.findChild<QAction*>("actionUndo")->trigger();
        QVERIFY(w.document()->nextFrameEye() == before);
        QVERIFY(dialog->currentEye() == before);
        QVERIFY(!w.isWindowModified());
        w.findChild<QAction*>("actionRedo")->trigger();
        QCOMPARE(w.document()->nextFrameEye().kind, EyeKind::Cie1931);
    }

    // A scene naming a texture it never defines still opens, and the window says which name is
    // missing without blocking.
    void undefinedNamesAreReportedWhenASceneOpens() {
        QTemporaryDir dir;
        const QString file = dir.filePath("typo.tavolin");
        const QByteArray first = "plain</texname></sphere>\n  <sphere>";
        const QByteArray typo = QByteArray(kTwoBalls).replace(first, "pL" + first.mid(2));
        QVERIFY(writeFile(file, typo));
        MainWindow w;
        w.show();
        QVERIFY(w.openFile(file));
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = w.findChild<QMessageBox*>()) && box->isVisible());
        QVERIFY2(box->informativeText().contains("\"pLain\""), qPrintable(box->informativeText()));
        QVERIFY(!box->isModal());
        QVERIFY(waitFrames(*w.mainView(), 2));
        QVERIFY(sphereNamed(w.document(), "ball"));
    }

    // Keys typed into the view fly the observer: holding A raises the speed, R stops.
    void keysReachTheNavigation() {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        GlView* view = w.mainView()->rootView().view();
        const float before = w.document()->getSettings()->speed;
        QTest::keyPress(view, Qt::Key_A);
        spin(300);
        QTest::keyRelease(view, Qt::Key_A);
        QVERIFY(w.document()->getSettings()->speed > before + 0.1f);
        QTest::keyClick(view, Qt::Key_R);
        QCOMPARE(w.document()->getSettings()->speed, 0.0f);
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
