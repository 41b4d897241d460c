// The status bar: every read-out on never widens the window, each read-out keeps its field
// while its value changes, and the frame status shows a long frame's progress and the pause.
#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QtTest>
#include <cmath>
#include <map>

#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/framestatus.h"
#include "ui/mainwindow.h"
#include "ui/readoutlabel.h"
#include "ui/speedunits.h"

using namespace viewtest;

namespace {

const char* const kReadOutActions[] = {
    "actionSpeed",          "actionPosition",          "actionDirection",
    "actionFrames",         "actionCursorPosition",    "actionCursorDopplerEffect",
    "actionCursorRestingRayDirection", "actionCursorTransformedRayDirection",
    "actionCursorBrightness"};

std::map<QString, QRect> readOutGeometries(MainWindow& w) {
    std::map<QString, QRect> boxes;
    for (ReadoutLabel* label : w.statusBar()->findChildren<ReadoutLabel*>())
        if (label->isVisible()) boxes[label->objectName()] = label->geometry();
    return boxes;
}

}  // namespace

class StatusReadoutsTest : public QObject {
    Q_OBJECT

private slots:
    void everyReadOutFitsAFixedField() {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QSize opened = w.size();
        showSpeedKm = true;
        showSpeedLight = true;
        w.findChild<QAction*>("actionSearchlight")->setChecked(true);
        for (const char* name : kReadOutActions) {
            QAction* action = w.findChild<QAction*>(name);
            QVERIFY2(action, name);
            action->setChecked(true);
        }
        QVERIFY(waitFrames(*w.mainView(), 2));
        hover(w.mainView()->rootView().view(), QPoint(20, 20));
        w.updateStatusBar();
        QCoreApplication::processEvents();
        QCOMPARE(readOutGeometries(w).size(), size_t(9));
        QCOMPARE(w.size(), opened);
        QVERIFY(w.minimumSizeHint().width() <= opened.width());
        saveShotIfAsked(&w, "status-all-readouts");

        // Values of every length leave the fields where they are, at either window size.
        for (const QSize size : {opened, QSize(1280, 720)}) {
            w.resize(size);
            QTRY_COMPARE(w.size(), size);
            w.mainView()->suspendRendering();
            QVERIFY(holdFrames(*w.mainView()));
            RenderSettings& s = *w.document()->getSettings();
            s.speed = 0.1f;
            w.updateStatusBar();
            QCoreApplication::processEvents();
            const std::map<QString, QRect> before = readOutGeometries(w);
            s.speed = -0.987654f;
            w.document()->observerFrame().m[0][1] = -123.456f;
            s.frameToSettings(w.document()->observerFrame());
            hover(w.mainView()->rootView().view(), QPoint(321, 7));
            w.updateStatusBar();
            QCoreApplication::processEvents();
            QCOMPARE(readOutGeometries(w), before);
            QCOMPARE(w.size(), size);
            w.mainView()->resumeRendering();
        }
        // Short of room, every field gives up the same share of its width.
        saveShotIfAsked(&w, "status-all-readouts-1280");
        auto* speed = w.findChild<ReadoutLabel*>("labelSpeed");
        auto* frames = w.findChild<ReadoutLabel*>("labelFrames");
        const double speedShare = double(speed->width()) / speed->fieldWidth();
        QVERIFY(speedShare < 1.0);
        QVERIFY(std::abs(double(frames->width()) / frames->fieldWidth() - speedShare) < 0.05);
        // With room, the fields get their full width and show their whole text.
        for (const char* name : kReadOutActions)
            if (QByteArray(name) != "actionSpeed" && QByteArray(name) != "actionFrames")
                w.findChild<QAction*>(name)->setChecked(false);
        QTRY_COMPARE(readOutGeometries(w).size(), size_t(2));
        QTRY_COMPARE(speed->width(), speed->fieldWidth());
        QCOMPARE(frames->width(), frames->fieldWidth());
        saveShotIfAsked(&w, "status-two-readouts-1280");
        speed->repaint();
        QVERIFY(speed->toolTip().isEmpty());
        showSpeedKm = true;
        showSpeedLight = false;
    }

    void frameStatusShowsProgressAndPause() {
        QStatusBar bar;
        bar.resize(600, 30);
        FrameStatus status(&bar);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QVERIFY(!status.progressBar()->isVisible());
        QVERIFY(!status.pausedLabel()->isVisible());
        const int width = status.progressBar()->width();
        for (const int percent : {0, 37, 100}) {
            status.setFrameProgress(percent);
            QVERIFY(status.progressBar()->isVisible());
            QCOMPARE(status.progressBar()->value(), percent);
        }
        QCOMPARE(status.progressBar()->width(), width);
        status.setPaused(true);
        QVERIFY(status.pausedLabel()->isVisible());
        saveShotIfAsked(&bar, "frame-status");
        status.setFrameProgress(-1);
        QVERIFY(!status.progressBar()->isVisible());
        QVERIFY(status.pausedLabel()->text().contains("Paused"));
        status.setPaused(false);
        QVERIFY(!status.pausedLabel()->isVisible());
    }
};

QTEST_MAIN(StatusReadoutsTest)
#include "statusreadouts_test.moc"
