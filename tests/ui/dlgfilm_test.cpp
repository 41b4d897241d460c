// The film dialog: the recorder buttons on the document's real clock, seeking with the slider,
// cutting, the Reset question, and an export equal byte for byte to tavolin-render's.
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

    // Record starts one second ahead (the film's first second has negative times); Stop and
    // Play drive the recorder.
    void recordStopPlay() {
        DocRT doc;
        DlgFilm dlg(nullptr, &doc, 64, 48);
        Recorder& rec = doc.getRecorder();
        dlg.recordButton()->click();
        for (int i = 0; i < 20; ++i) {
            doc.observerFrame().m[0][1] = float(i);
            doc.applyPendingChanges();  // one point per frame
        }
        dlg.stopButton()->click();
        QCOMPARE(rec.mode(), int(Recorder::Stopped));
        QVERIFY(rec.pointCount() > 0 && rec.point(0).time < -0.9);
        dlg.playButton()->click();
        QCOMPARE(rec.mode(), int(Recorder::Playing));
    }

    // Stopped, the slider shows the state at the chosen time at once; recording, it is no control.
    // The cut buttons cut at the slider's place; Reset asks first and only Yes deletes.
    void sliderCutAndReset() {
        DocRT doc;
        DlgFilm dlg(nullptr, &doc, 64, 48);
        Recorder& rec = doc.getRecorder();
        QVERIFY(rec.setPoints({pointAt(0.0, 0.0f, -3.0f, 0.0f), pointAt(2.0, 2.0f, -3.0f, 0.5f)}));
        dlg.slider()->setValue(250000);
        QCOMPARE(observerX(doc), 0.5f);
        QCOMPARE(doc.getSettings()->speed, 0.125f);
        QCOMPARE(dlg.frameLabel()->text(), QStringLiteral("[0.5/2]"));
        dlg.slider()->setValue(0);
        QVERIFY(
            rec.setPoints({pointAt(-0.9, 0), pointAt(-0.2, 1), pointAt(0.5, 2), pointAt(1.5, 3)}));
        dlg.findChild<QPushButton*>("buttonDeleteStart")->click();
        QCOMPARE(dlg.frameLabel()->text(), QStringLiteral("[0/2.4]"));  // refreshed by the signal
        QVERIFY(rec.setPoints({pointAt(-0.9, 0), pointAt(-0.2, 1)}));
        dlg.findChild<QPushButton*>("buttonDeleteEnd")->click();
        QCOMPARE(rec.pointCount(), 1);  // only the first recorded point stays
        for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            QVERIFY(rec.setPoints({pointAt(0, 0), pointAt(1, 1)}));
            QTimer::singleShot(50, [answer] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box->text().contains("Delete the whole recorded fly path"))
                    box->button(answer)->click();
            });
            dlg.buttons()->button(QDialogButtonBox::Reset)->click();
            QCOMPARE(rec.pointCount(), answer == QMessageBox::Yes ? 0 : 2);
        }
        dlg.slotRecord();
        dlg.slotUpdateDialog();
        QVERIFY(!dlg.slider()->isEnabled());
    }

    // The export holds the live view meanwhile, reports where the frames are, and reports an
    // unwritable name.
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
        QCOMPARE(holds, (QList<bool>{true, false}));
        QProcess cli;
        cli.start(QCoreApplication::applicationDirPath() + "/tavolin-render",
                  {scene, "--flypath", pathFile, "--fps", "10", "--size", "40x30", "--aa", "4",
                   "-o", dir.filePath("cli/film.png")});
        QVERIFY(cli.waitForFinished(120000));
        QCOMPARE(cli.exitCode(), 0);
        for (int k = 0; k < 9; ++k) {  // floor(0.7 * 10) + 1 frames
            const QByteArray a =
                readFile(FilmRenderer::frameFileName(dir.filePath("dlg/film.png"), k));
            QCOMPARE(a, readFile(FilmRenderer::frameFileName(dir.filePath("cli/film.png"), k)));
            QCOMPARE(a.isEmpty(), k == 8);
        }
        dlg.fileNameEdit()->setText(dir.filePath("no/such/film.png"));
        QVERIFY(!dlg.exportFilm(true));
        QVERIFY(dlg.lastExportError().contains("film_00000.png"));
    }
};

TAVOLIN_UI_TEST_MAIN(TestDlgFilm)
#include "dlgfilm_test.moc"
