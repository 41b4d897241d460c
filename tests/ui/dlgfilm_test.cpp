// The film dialog: an export equal byte for byte to tavolin-render's, holding the live view
// meanwhile.
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

}  // namespace

class TestDlgFilm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TraceOutput::setEnabled(false); }

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
