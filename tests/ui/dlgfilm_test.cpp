// The film dialog: the recorder buttons driven through the document's real clock (play holds
// the state one second after the Record press), seeking with the slider, cutting, the Reset
// question, and a film exported from the dialog equal byte for byte to the one tavolin-render
// writes.
#include "ui/dlgfilm.h"

#include <cmath>

#include "base/traceoutput.h"
#include "engine/docrt.h"
#include "engine/filmrenderer.h"
#include "engine/flypathfile.h"
#include "engine/recorder.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"

namespace {

// The observer at (x, -0.2, z) looking along -z at the given speed.
FlyPathPoint pointAt(double time, float x, float z = 0.0f, float speed = 0.0f) {
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

}  // namespace

class TestDlgFilm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TraceOutput::setEnabled(false); }

    // The buttons drive the document's recorder on its real clock (what the recorder then keeps
    // and replays: its own test and the document's): Record starts one second ahead, so that
    // for a second after Play the observer holds the state recorded then (x = 1); the slider
    // follows playback to the end, where the observer stays at the last state.
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
        QVERIFY(std::fabs(rec.startTime() - (t0 / 1000.0 + 1.0)) < 0.05);
        while (sinceRecord.elapsed() < 1600) {
            doc.observerFrame().m[0][1] = float(sinceRecord.elapsed() / 1000.0);
            doc.applyPendingChanges();  // the document records one point per frame
            QThread::msleep(15);
        }
        dlg.stopButton()->click();
        QCOMPARE(rec.mode(), int(Recorder::Stopped));
        QVERIFY(rec.point(0).time < -0.9);  // the first second has negative film times
        QVERIFY(rec.duration() > 1.5 && rec.duration() < 1.8);
        dlg.playButton()->click();
        QCOMPARE(rec.mode(), int(Recorder::Playing));
        QTest::qWait(600);
        doc.applyPendingChanges();
        QVERIFY(std::fabs(observerX(doc) - 1.0f) < 0.04f);
        QElapsedTimer sincePlay;
        for (sincePlay.start(); sincePlay.elapsed() < 2400;) {  // frames go on past the end
            QTest::qWait(20);
            doc.applyPendingChanges();
        }
        QCOMPARE(observerX(doc), rec.point(rec.pointCount() - 1).frame.m[0][1]);
        QTest::qWait(2 * DlgFilm::kRefreshMs);
        QCOMPARE(dlg.slider()->value(), DlgFilm::kSliderRange);
    }

    // Stopped, the slider shows the state at the chosen time at once; playing, playback goes on
    // from there; recording, the slider is no control (a seek would cut the recording).
    void sliderSeeks() {
        DocRT doc;
        DlgFilm dlg(nullptr, &doc, 64, 48);
        Recorder& rec = doc.getRecorder();
        QVERIFY(rec.setPoints({pointAt(0.0, 0.0f, -3.0f, 0.0f), pointAt(2.0, 2.0f, -3.0f, 0.5f)}));
        dlg.slider()->setValue(250000);
        QCOMPARE(observerX(doc), 0.5f);
        QCOMPARE(doc.getSettings()->speed, 0.125f);
        QCOMPARE(dlg.frameLabel()->text(), QStringLiteral("[0.5/2]"));
        dlg.slotPlay();
        dlg.slider()->setValue(500000);
        QCOMPARE(rec.position(), 1.0);
        doc.applyPendingChanges();
        QVERIFY(std::fabs(observerX(doc) - 1.0f) < 0.06f);
        dlg.slotRecord();
        dlg.slotUpdateDialog();
        QVERIFY(!dlg.slider()->isEnabled());
    }

    // The cut buttons cut at the slider's place (what a cut keeps: the recorder's own test);
    // Reset asks first and only Yes deletes.
    void cuttingAndReset() {
        DocRT doc;
        DlgFilm dlg(nullptr, &doc, 64, 48);
        Recorder& rec = doc.getRecorder();
        QVERIFY(
            rec.setPoints({pointAt(-0.9, 0), pointAt(-0.2, 1), pointAt(0.5, 2), pointAt(1.5, 3)}));
        dlg.findChild<QPushButton*>("buttonDeleteStart")->click();
        QCOMPARE(dlg.frameLabel()->text(), QStringLiteral("[0/2.4]"));  // refreshed by the signal
        QVERIFY(rec.setPoints({pointAt(-0.9, 0), pointAt(-0.2, 1)}));
        dlg.findChild<QPushButton*>("buttonDeleteEnd")->click();
        QCOMPARE(rec.pointCount(), 1);  // only the first recorded point stays

        for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            QVERIFY(rec.setPoints({pointAt(0, 0), pointAt(1, 1)}));
            QString text;
            QTimer::singleShot(50, [answer, &text] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                text = box->text();
                box->button(answer)->click();
            });
            dlg.buttons()->button(QDialogButtonBox::Reset)->click();
            QVERIFY(text.contains("Delete the whole recorded fly path"));
            QCOMPARE(rec.pointCount(), answer == QMessageBox::Yes ? 0 : 2);
        }
    }

    // The dialog's export and tavolin-render write the same files for the same film; the export
    // holds the live view meanwhile, reports where the frames are, and reports an unwritable name.
    void exportEqualsTheHeadlessRenderer() {
        QTemporaryDir dir;
        const QString scene = TAVOLIN_SOURCE_DIR "/tests/data/spheres8.tavolin";
        DocRT doc;
        QVERIFY(doc.loadFile(scene));
        doc.applyPendingChanges();
        doc.applyPendingChanges();
        Recorder& rec = doc.getRecorder();
        QVERIFY(rec.setPoints({pointAt(0.0, -0.3f, -3.2f, 0.0f), pointAt(0.3, 0.0f, -3.0f, 0.4f),
                               pointAt(0.7, 0.3f, -2.8f, 0.7f)}));
        const QString pathFile = dir.filePath("path.txt");
        QString problem;
        QVERIFY(FlyPathFile::save(pathFile, rec, problem));
        DlgFilm dlg(nullptr, &doc, 40, 30);
        QDir(dir.path()).mkpath("dlg");
        QDir(dir.path()).mkpath("cli");
        dlg.fileNameEdit()->setText(dir.filePath("dlg/film.png"));
        dlg.fpsBox()->setValue(10);
        dlg.antialiasingCombo()->setCurrentIndex(1);
        QList<bool> holds;
        dlg.setRenderingHold([&holds](bool hold) { holds << hold; });
        {
            ModalAnswerer boxes;
            QVERIFY2(dlg.exportFilm(false), qPrintable(dlg.lastExportError()));
            QCOMPARE(boxes.texts.size(), 1);
            QVERIFY2(boxes.texts[0].contains(QDir::toNativeSeparators(dir.filePath("dlg"))) &&
                         boxes.texts[0].contains("8 of 8 frames"),
                     qPrintable(boxes.texts[0]));
        }
        QCOMPARE(dlg.lastExportFrames(), 8);  // floor(0.7 * 10) + 1
        QCOMPARE(holds, (QList<bool>{true, false}));

        QProcess cli;
        cli.start(QCoreApplication::applicationDirPath() + "/tavolin-render",
                  {scene, "--flypath", pathFile, "--fps", "10", "--size", "40x30", "--aa", "4",
                   "-o", dir.filePath("cli/film.png")});
        QVERIFY(cli.waitForFinished(120000));
        QCOMPARE(cli.exitCode(), 0);
        auto frame = [&](const char* folder, int k) {
            return readFile(FilmRenderer::frameFileName(dir.filePath(folder), k));
        };
        for (int k = 0; k < 9; ++k) {
            const QByteArray a = frame("dlg/film.png", k);
            QCOMPARE(a, frame("cli/film.png", k));
            QCOMPARE(a.isEmpty(), k == 8);
        }

        dlg.fileNameEdit()->setText(dir.filePath("no/such/film.png"));
        QVERIFY(!dlg.exportFilm(true));
        QVERIFY(dlg.lastExportError().contains("film_00000.png"));
        QCOMPARE(dlg.lastExportFrames(), 0);
    }
};

TAVOLIN_UI_TEST_MAIN(TestDlgFilm)
#include "dlgfilm_test.moc"
