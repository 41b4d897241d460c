// The eye dialog's choice in the main window: it marks the document modified, and Edit > Undo
// takes it back and clears the mark.
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QtTest>

#include "engine/docrt.h"
#include "ui/dlgeye.h"
#include "ui/mainwindow.h"

class EyeUndoTest : public QObject {
    Q_OBJECT

private slots:
    void eyeChoiceIsAnUndoableEdit() {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!w.isWindowModified());
        w.slotOptionsVisibleWavelength();
        auto* dialog = w.findChild<DlgEye*>();
        QVERIFY(dialog);
        const Eye before = w.document()->nextFrameEye();
        const int cie = dialog->presetCombo()->findText("Human (CIE 1931)");
        QVERIFY(cie >= 0);
        dialog->presetCombo()->setCurrentIndex(cie);
        QVERIFY(!w.isWindowModified());  // chosen, not yet handed over
        dialog->buttons()->button(QDialogButtonBox::Apply)->click();
        QVERIFY(w.isWindowModified());
        QCOMPARE(w.document()->nextFrameEye().kind, EyeKind::Cie1931);

        w.findChild<QAction*>("actionUndo")->trigger();
        QVERIFY(w.document()->nextFrameEye() == before);
        QVERIFY(!w.isWindowModified());
        QVERIFY(dialog->currentEye() == before);
        w.findChild<QAction*>("actionRedo")->trigger();
        QCOMPARE(w.document()->nextFrameEye().kind, EyeKind::Cie1931);
        QVERIFY(w.isWindowModified());
    }
};

QTEST_MAIN(EyeUndoTest)
#include "eyeundo_test.moc"
