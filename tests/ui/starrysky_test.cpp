// The window's Starry Sky switch: an edit of the document (undo, the unsaved mark, saved in and
// read from scene files, absent from files while off). Its view group: mainview_test's table.
#include "ui/mainwindow.h"

#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"

using namespace viewtest;

namespace {

QByteArray sceneText(bool sky) {
    return QByteArray("<tavolinfile>\n  <renderSettings>\n    <start>0;0;0;0</start>\n") +
           (sky ? "    <starrysky>1</starrysky>\n" : "") +
           "  </renderSettings>\n"
           "  <sphere><center>0;0;5;0</center><texname>plain</texname></sphere>\n"
           "  <newtexturesingle><texname>plain</texname></newtexturesingle>\n</tavolinfile>\n";
}

}  // namespace

class StarrySkyTest : public QObject {
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
        QAction* sw = w.findChild<QAction*>("actionStarrySky");
        QVERIFY(sw && sw->isCheckable() && !sw->isChecked());
        QCOMPARE(sw->text(), QString("Starry Sky"));
        QVERIFY(w.findChild<QMenu*>("menuOptions")->actions().contains(sw));
        const RenderSettings& s = *w.document()->getSettings();
        QVERIFY(!s.starrySky && !w.isWindowModified());

        sw->trigger();
        QVERIFY(s.starrySky && w.isWindowModified());
        QCOMPARE(w.undoStack()->undoText(), QString("Starry Sky On"));
        QVERIFY(waitFrames(*w.mainView(), 2));  // frames with the sky render
        w.undoStack()->undo();
        QVERIFY(!sw->isChecked() && !s.starrySky && !w.isWindowModified());
        w.undoStack()->redo();
        QVERIFY(sw->isChecked() && s.starrySky && w.isWindowModified());
        QCOMPARE(w.undoStack()->count(), 1);

        w.slotFileSave();
        QVERIFY(!w.isWindowModified());
        const QByteArray text = readFile(saved);
        QVERIFY(text.contains("    <starrysky>1</starrysky>\n"));
        QVERIFY(!text.contains("lighttraveltime"));

        // Opening a scene sets the switch from its file, with nothing to undo.
        QVERIFY(w.openFile(plain));
        QVERIFY(waitFrames(*w.mainView(), 2));
        QVERIFY(!sw->isChecked() && !w.document()->getSettings()->starrySky);
        QVERIFY(w.openFile(saved));
        QVERIFY(waitFrames(*w.mainView(), 2));
        QVERIFY(sw->isChecked() && w.document()->getSettings()->starrySky);
        QCOMPARE(w.undoStack()->count(), 0);
    }
};

QTEST_MAIN(StarrySkyTest)
#include "starrysky_test.moc"
