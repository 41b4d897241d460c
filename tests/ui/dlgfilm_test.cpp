// The film dialog: the recorder buttons driven through the document's real clock
// (record, stop, play holds the state one second after the Record press, then replays at the
// recorded pace), seeking with the slider, cutting, the Reset confirmation, and a film exported
// from the dialog equal byte for byte to the one tavolin-render writes, with its report.
#include "ui/dlgfilm.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <cmath>

#include "engine/docrt.h"
#include "engine/filmrenderer.h"
#include "engine/flypathfile.h"
#include "engine/recorder.h"
#include "geometry/traceoutput.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/helppages.h"

namespace {

// From the source folder: __FILE__ may be relative to a build folder the test does not run in.
const QString kTestData = QStringLiteral(TAVOLIN_SOURCE_DIR "/tests/data");

FlyPathPoint pointAt(double time, float x, float z, float speed) {
    FlyPathPoint p;
    p.time = time;
    p.speed = speed;
    const float rows[4][3] = {{x, -0.2f, z}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}};
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 3; ++k) p.frame.m[r][k + 1] = rows[r][k];
    p.frame.m[0][0] = 1.0f;
    return p;
}

float observerX(DocRT& doc) { return doc.observerFrame().m[0][1]; }

// Presses the button with the given role of the next message box that opens.
void answerNextMessageBox(QMessageBox::StandardButton button, QString* text) {
    QTimer::singleShot(50, [button, text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (text) *text = box->text();
        box->button(button)->click();
    });
}

}  // namespace

class TestDlgFilm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TraceOutput::setEnabled(false); }

    void emptyRecordingShowsSliderZero() {
        DocRT doc;
        DlgFilm dlg(nullptr, &doc, 64, 48);
        dlg.slider()->setValue(5000);  // no recording: moving it seeks nothing
        dlg.slotUpdateDialog();
        QCOMPARE(dlg.slider()->value(), 0);
        QCOMPARE(dlg.frameLabel()->text(), QStringLiteral("[0/0]"));
        dlg.slotPlay();  // playing an empty recording leaves the observer alone
        const float x = observerX(doc);
        doc.applyPendingChanges();
        QCOMPARE(observerX(doc), x);
    }

    // Record (its film starts one second after the press) while the observer moves along x at
    // one unit per second, stop, play: for a second
    // the observer holds the state recorded one second after the Record press (x = 1), then the
    // motion replays at its pace, and after the end it stays at the last state.
    void recordStopPlayHoldsTheFirstSecond() {
        DocRT doc;
        doc.requestBuiltInScene();
        doc.applyPendingChanges();
        DlgFilm dlg(nullptr, &doc, 64, 48);
        dlg.show();
        Recorder& rec = doc.getRecorder();

        QElapsedTimer sinceRecord;
        const int t0 = doc.clockMs();
        dlg.recordButton()->click();
        sinceRecord.start();
        QCOMPARE(rec.mode(), int(Recorder::Recording));
        QVERIFY(std::fabs(rec.startTime() - (t0 / 1000.0 + 1.0)) < 0.05);
        while (sinceRecord.elapsed() < 1600) {
            doc.observerFrame().m[0][1] = float(sinceRecord.elapsed() / 1000.0);
            doc.applyPendingChanges();  // the document records one point per frame
            QThread::msleep(15);
        }
        dlg.stopButton()->click();
        QCOMPARE(rec.mode(), int(Recorder::Stopped));
        QVERIFY(rec.pointCount() > 20);
        QVERIFY(rec.point(0).time < -0.9);  // the first second has negative film times
        const double duration = rec.duration();
        QVERIFY(duration > 1.5 && duration < 1.8);

        QElapsedTimer sincePlay;
        dlg.playButton()->click();
        sincePlay.start();
        QCOMPARE(rec.mode(), int(Recorder::Playing));
        doc.observerFrame().m[0][1] = -5.0f;
        doc.applyPendingChanges();
        QVERIFY2(std::fabs(observerX(doc) - 1.0f) < 0.04f,
                 qPrintable(QString::number(observerX(doc))));
        QTest::qWait(600);
        doc.applyPendingChanges();
        QVERIFY2(std::fabs(observerX(doc) - 1.0f) < 0.04f,
                 qPrintable(QString::number(observerX(doc))));
        QCOMPARE(dlg.slider()->value(), 0);  // the refresh timer shows film time 0 meanwhile

        while (sincePlay.elapsed() < 1300) QTest::qWait(10);
        doc.applyPendingChanges();
        const double film = (doc.clockMs() / 1000.0) - rec.startTime();
        QVERIFY(film > 0.25 && film < 0.5);
        QVERIFY2(std::fabs(observerX(doc) - float(1.0 + film)) < 0.04f,
                 qPrintable(QString::number(observerX(doc))));
        QTest::qWait(2 * DlgFilm::kRefreshMs);
        const double shown = dlg.slider()->value() * duration / DlgFilm::kSliderRange;
        QVERIFY2(shown > film - 0.05 && shown < film + 0.4, qPrintable(QString::number(shown)));
        QVERIFY(dlg.frameLabel()->text().startsWith(QLatin1Char('[')));
        QVERIFY(dlg.frameLabel()->text().endsWith(QString::number(duration, 'g', 6) + "]"));

        while (sincePlay.elapsed() < 3000) {  // frames go on past the end
            QTest::qWait(20);
            doc.applyPendingChanges();
        }
        QCOMPARE(observerX(doc), rec.point(rec.pointCount() - 1).frame.m[0][1]);
        QCOMPARE(rec.mode(), int(Recorder::Playing));
        QTest::qWait(2 * DlgFilm::kRefreshMs);
        QCOMPARE(dlg.slider()->value(), DlgFilm::kSliderRange);
    }

    void sliderSeeks() {
        DocRT doc;
        DlgFilm dlg(nullptr, &doc, 64, 48);
        Recorder& rec = doc.getRecorder();
        QVERIFY(rec.setPoints({pointAt(0.0, 0.0f, -3.0f, 0.0f), pointAt(2.0, 2.0f, -3.0f, 0.5f)}));
        // Stopped: the observer shows the state at the chosen time at once.
        dlg.slider()->setValue(250000);
        QCOMPARE(observerX(doc), 0.5f);
        QCOMPARE(doc.getSettings()->speed, 0.125f);
        QCOMPARE(dlg.shownPosition(), 0.5);
        QCOMPARE(dlg.frameLabel()->text(), QStringLiteral("[0.5/2]"));
        QCOMPARE(rec.mode(), int(Recorder::Stopped));
        // Playing: playback goes on from the chosen time.
        dlg.slotPlay();
        dlg.slider()->setValue(500000);
        QCOMPARE(rec.mode(), int(Recorder::Playing));
        QCOMPARE(rec.position(), 1.0);
        QVERIFY(std::fabs(doc.clockMs() / 1000.0 - rec.startTime() - 1.0) < 0.05);
        doc.applyPendingChanges();
        QVERIFY(std::fabs(observerX(doc) - 1.0f) < 0.06f);
        // Recording: the slider is no control (a seek would cut the recording).
        dlg.slotRecord();
        dlg.slotUpdateDialog();
        QVERIFY(!dlg.slider()->isEnabled());
        dlg.slotStop();
        QVERIFY(dlg.slider()->isEnabled());
    }

    void cuttingFromMinusOneSecond() {
        DocRT doc;
        DlgFilm dlg(nullptr, &doc, 64, 48);
        Recorder& rec = doc.getRecorder();
        QVERIFY(rec.setPoints({pointAt(-0.9, 0, 0, 0), pointAt(-0.2, 1, 0, 0),
                               pointAt(0.5, 2, 0, 0), pointAt(1.5, 3, 0, 0)}));
        dlg.findChild<QPushButton*>(QStringLiteral("buttonDeleteStart"))->click();
        QCOMPARE(rec.pointCount(), 4);  // nothing deleted, the first point moved to 0
        QCOMPARE(rec.point(0).time, 0.0);
        QCOMPARE(rec.point(3).time, 1.5 + 0.9);
        QCOMPARE(dlg.frameLabel()->text(), QStringLiteral("[0/2.4]"));  // refreshed by the signal
        QVERIFY(rec.setPoints({pointAt(-0.9, 0, 0, 0), pointAt(-0.2, 1, 0, 0)}));
        dlg.findChild<QPushButton*>(QStringLiteral("buttonDeleteEnd"))->click();
        QCOMPARE(rec.pointCount(), 1);  // only the first recorded point stays
    }

    void resetAsksFirst() {
        DocRT doc;
        DlgFilm dlg(nullptr, &doc, 64, 48);
        Recorder& rec = doc.getRecorder();
        QVERIFY(rec.setPoints({pointAt(0, 0, 0, 0), pointAt(1, 1, 0, 0)}));
        QString text;
        answerNextMessageBox(QMessageBox::No, &text);
        dlg.buttons()->button(QDialogButtonBox::Reset)->click();
        QVERIFY(text.contains(QStringLiteral("Delete the whole recorded fly path")));
        QCOMPARE(rec.pointCount(), 2);
        answerNextMessageBox(QMessageBox::Yes, nullptr);
        dlg.buttons()->button(QDialogButtonBox::Reset)->click();
        QCOMPARE(rec.pointCount(), 0);
        QCOMPARE(dlg.slider()->value(), 0);
    }

    void okWithoutRecordingOnlyCloses() {
        DocRT doc;
        QTemporaryDir dir;
        DlgFilm dlg(nullptr, &doc, 16, 16);
        dlg.fileNameEdit()->setText(dir.filePath(QStringLiteral("film.png")));
        dlg.show();
        dlg.buttons()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    }

    // The dialog's export and tavolin-render write the same files for the same film.
    void exportEqualsTheHeadlessRenderer() {
        QTemporaryDir dir;
        const QString scene = kTestData + QStringLiteral("/spheres8.tavolin");
        DocRT doc;
        QVERIFY(doc.loadFile(scene));
        doc.applyPendingChanges();
        doc.applyPendingChanges();
        Recorder& rec = doc.getRecorder();
        QVERIFY(rec.setPoints({pointAt(0.0, -0.3f, -3.2f, 0.0f), pointAt(0.3, 0.0f, -3.0f, 0.4f),
                               pointAt(0.7, 0.3f, -2.8f, 0.7f)}));
        const QString pathFile = dir.filePath(QStringLiteral("path.txt"));
        QString problem;
        QVERIFY(FlyPathFile::save(pathFile, rec, problem));

        DlgFilm dlg(nullptr, &doc, 40, 30);
        QDir(dir.path()).mkpath(QStringLiteral("dlg"));
        QDir(dir.path()).mkpath(QStringLiteral("cli"));
        dlg.fileNameEdit()->setText(dir.filePath(QStringLiteral("dlg/film.png")));
        dlg.fpsBox()->setValue(10);
        dlg.antialiasingCombo()->setCurrentIndex(1);
        QList<bool> holds;
        dlg.setRenderingHold([&holds](bool hold) { holds << hold; });
        {
            // The export ends with a report of where the frames are and how many there are.
            ModalAnswerer boxes;
            QVERIFY2(dlg.exportFilm(false), qPrintable(dlg.lastExportError()));
            QCOMPARE(boxes.texts.size(), 1);
            const QString text = boxes.texts[0];
            QVERIFY2(text.contains(QDir::toNativeSeparators(dir.filePath("dlg"))) &&
                         text.contains("8 of 8 frames") && text.contains("film_00000.png"),
                     qPrintable(text));
        }
        QCOMPARE(dlg.lastExportFrames(), 8);  // floor(0.7 * 10) + 1
        QCOMPARE(holds, (QList<bool>{true, false}));

        const QString cli = QCoreApplication::applicationDirPath() + "/tavolin-render";
        QVERIFY2(QFileInfo::exists(cli), qPrintable(cli));
        QProcess proc;
        proc.start(cli, {scene, "--flypath", pathFile, "--fps", "10", "--size", "40x30", "--aa",
                         "4", "-o", dir.filePath(QStringLiteral("cli/film.png"))});
        QVERIFY(proc.waitForFinished(120000));
        QCOMPARE(proc.exitCode(), 0);
        for (int k = 0; k < 8; ++k) {
            const QByteArray a =
                readFile(FilmRenderer::frameFileName(dir.filePath("dlg/film.png"), k));
            QVERIFY2(!a.isEmpty(), qPrintable(QString::number(k)));
            QCOMPARE(a, readFile(FilmRenderer::frameFileName(dir.filePath("cli/film.png"), k)));
        }
        QVERIFY(!QFile::exists(FilmRenderer::frameFileName(dir.filePath("cli/film.png"), 8)));

        // An unwritable name is reported and nothing claims success.
        dlg.fileNameEdit()->setText(dir.filePath(QStringLiteral("no/such/film.png")));
        QVERIFY(!dlg.exportFilm(true));
        QVERIFY(dlg.lastExportError().contains(QStringLiteral("film_00000.png")));
        QCOMPARE(dlg.lastExportFrames(), 0);
    }
};

TAVOLIN_UI_TEST_MAIN(TestDlgFilm)
#include "dlgfilm_test.moc"
