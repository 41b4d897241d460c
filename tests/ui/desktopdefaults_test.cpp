// Defaults a desktop user relies on: screenshots and films go to the pictures folder (created
// when missing), a film export ends with a report of where its frames are and how many there
// are, and the edit dock's delete button has an icon of its own.
#include <QDir>
#include <QLineEdit>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>

#include "engine/docrt.h"
#include "engine/filmrenderer.h"
#include "engine/flypathpoint.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/dlgfilm.h"
#include "ui/dlgscreenshot.h"
#include "ui/dockeditobjects.h"
#include "ui/picturesfolder.h"

namespace {
FlyPathPoint pointAt(double time, float z) {
    FlyPathPoint p;
    p.time = time;
    p.speed = 0.2f;
    const float rows[4][3] = {{0.0f, -0.2f, z}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}};
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 3; ++k) p.frame.m[r][k + 1] = rows[r][k];
    p.frame.m[0][0] = 1.0f;
    return p;
}
}  // namespace

class DesktopDefaultsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        quietOffscreenWarnings();
        QStandardPaths::setTestModeEnabled(true);
    }

    void picturesFolderIsCreatedAndUsed() {
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        QVERIFY(!pictures.isEmpty());
        QDir(pictures).removeRecursively();
        QVERIFY(!QDir(pictures).exists());
        QCOMPARE(picturesFolder(), pictures);
        QVERIFY(QDir(pictures).exists());
        QCOMPARE(QFileInfo(DlgScreenshot::defaultFileName()).absolutePath(), pictures);
        QCOMPARE(QFileInfo(DlgFilm::defaultFileName()).absolutePath(), pictures);
    }

    void filmExportReportsWhereItsFramesAre() {
        QTemporaryDir dir;
        DocRT doc;
        QVERIFY(doc.loadFile(QStringLiteral(TAVOLIN_SOURCE_DIR "/tests/data/spheres8.tavolin")));
        doc.applyPendingChanges();
        doc.applyPendingChanges();
        QVERIFY(doc.getRecorder().setPoints({pointAt(0.0, -3.2f), pointAt(0.25, -3.0f)}));
        DlgFilm dlg(nullptr, &doc, 16, 12);
        dlg.fileNameEdit()->setText(dir.filePath(QStringLiteral("shots/film.png")));
        QDir(dir.path()).mkpath(QStringLiteral("shots"));
        dlg.fpsBox()->setValue(10);
        ModalAnswerer boxes;
        QVERIFY(dlg.exportFilm(false));
        QCOMPARE(dlg.lastExportFrames(), 3);  // floor(0.25 * 10) + 1
        QCOMPARE(boxes.texts.size(), 1);
        const QString text = boxes.texts[0];
        QVERIFY2(text.contains(QDir::toNativeSeparators(dir.filePath("shots"))), qPrintable(text));
        QVERIFY2(text.contains("3 of 3 frames"), qPrintable(text));
        QVERIFY2(text.contains("film_00000.png"), qPrintable(text));
        QVERIFY(QFile::exists(FilmRenderer::frameFileName(dlg.fileNameEdit()->text(), 2)));
    }

    void deleteHasAnIconOfItsOwn() {
        DocRT doc;
        QWidget window;
        DockEditObjects dock(&window, &doc);
        const QImage icon = dock.deleteButton()->icon().pixmap(16, 16).toImage();
        QVERIFY(!icon.isNull());
        const QImage doppler = QIcon(":/settings/SRTDoppler.ico").pixmap(16, 16).toImage();
        QVERIFY(!doppler.isNull());
        QVERIFY(icon.convertToFormat(QImage::Format_ARGB32) !=
                doppler.convertToFormat(QImage::Format_ARGB32));
    }
};

TAVOLIN_UI_TEST_MAIN(DesktopDefaultsTest)
#include "desktopdefaults_test.moc"
