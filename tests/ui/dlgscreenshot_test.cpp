// The screenshot dialog: a saved picture equal to one the engine renders directly, the settings
// of the last picture offered again, the messages for a size that cannot be allocated and a place
// that cannot be written (a scene file is never overwritten), and the progress and its Cancel.
#include "ui/dlgscreenshot.h"

#include <memory>

#include "engine/docrt.h"
#include "engine/pixelbuffer.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"

class DlgScreenshotTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    std::unique_ptr<DocRT> doc;

    // Fills the dialog (a custom size, or the view's size when w is 0) and presses OK.
    void start(DlgScreenshot& dlg, int w, int h, int aaIndex, const QString& file) {
        dlg.show();
        dlg.customButton()->setChecked(w > 0);
        dlg.screenButton()->setChecked(w == 0);
        if (w > 0) {
            dlg.widthBox()->setValue(w);
            dlg.heightBox()->setValue(h);
        }
        dlg.antialiasingCombo()->setCurrentIndex(aaIndex);
        dlg.fileNameEdit()->setText(file);
        dlg.buttons()->button(QDialogButtonBox::Ok)->click();
    }
    // The same, waiting until the dialog has closed.
    void shoot(DlgScreenshot& dlg, int w, int h, int aaIndex, const QString& file) {
        start(dlg, w, h, aaIndex, file);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 60000);
    }

private slots:
    void initTestCase() { quietOffscreenWarnings(); }

    void init() {
        DlgScreenshot::lastShotSettings = ShotSettings();
        doc = std::make_unique<DocRT>();
        doc->requestBuiltInScene();
        QVERIFY(doc->applyPendingChanges());
        doc->applyPendingChanges();
    }

    void screenshotEqualsTheEnginesPicture() {
        const QString file = dir.filePath("shot.png");
        DlgScreenshot dlg(nullptr, 64, 48, doc.get());
        shoot(dlg, 96, 72, 1, file);  // 4x
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        const QImage saved = QImage(file).convertToFormat(QImage::Format_RGB32);
        PixelBuffer buffer;
        QVERIFY(buffer.setSize(96, 72, 4));
        TimeRT engine;
        engine.raytracePic(doc->getSettings(), doc->getSceneData(), doc->getTree(), &buffer);
        {
            ThreadBase pool;
            pool.addTasks(&engine);
            pool.startRendering(true);
        }
        QVERIFY(buffer.downsample(4));
        QCOMPARE(saved, buffer.toImage().convertToFormat(QImage::Format_RGB32));
        QSet<QRgb> colours;  // not a blank picture
        for (int y = 0; y < 72; ++y)
            for (int x = 0; x < 96; ++x) colours.insert(saved.pixel(x, y));
        QVERIFY(colours.size() > 10);
    }

    // The next dialog offers the last saved picture's settings; a remembered screen choice
    // shows the view's size of the day.
    void settingsOfTheLastShotAreOfferedAgain() {
        const QString file = dir.filePath("remembered.bmp");
        {
            DlgScreenshot dlg(nullptr, 64, 48, doc.get());
            shoot(dlg, 160, 120, 3, file);  // 16x
        }
        QCOMPARE(QImage(file).size(), QSize(160, 120));
        DlgScreenshot next(nullptr, 333, 222, doc.get());
        QVERIFY(next.customButton()->isChecked() && next.widthBox()->isEnabled());
        QCOMPARE(next.widthBox()->value(), 160);
        QCOMPARE(next.heightBox()->value(), 120);
        QCOMPARE(next.getAntialiasingLevel(), 16);
        QCOMPARE(next.fileNameEdit()->text(), file);
        shoot(next, 0, 0, 0, file);
        QCOMPARE(QImage(file).size(), QSize(333, 222));
        DlgScreenshot third(nullptr, 50, 40, doc.get());
        QVERIFY(third.screenButton()->isChecked() && !third.widthBox()->isEnabled());
        QCOMPARE(third.widthBox()->value(), 50);
        QCOMPARE(third.getAntialiasingLevel(), 1);
    }

    // Refused before rendering, with the reason; the dialog stays open for a corrected try and
    // nothing is remembered.
    void refusedPlacesAndSizesShowTheirMessages() {
        const QString plain = dir.filePath("plainfile");  // no folder can exist below it
        QVERIFY(writeFile(plain, {}));
        ModalAnswerer answerer;
        DlgScreenshot dlg(nullptr, 64, 48, doc.get());
        start(dlg, 40, 30, 0, plain + "/shot.png");
        QTRY_COMPARE(answerer.texts.size(), 1);
        QCOMPARE(answerer.texts.back(), "Could not save in this location\nCould not write " +
                                            plain + "/shot.png: Not a directory");
        // A scene file's name is not taken for a picture: the scene stays as it was.
        const QString scene = dir.filePath("keep.tavolin");
        QVERIFY(doc->saveFile(scene));
        const QByteArray before = readFile(scene);
        start(dlg, 40, 30, 0, scene);
        QTRY_COMPARE(answerer.texts.size(), 2);
        QVERIFY(answerer.texts.back().contains("not a picture"));
        QCOMPARE(readFile(scene), before);
        start(dlg, 9999, 9999, 3, dir.filePath("big.png"));
        QTRY_COMPARE(answerer.texts.size(), 3);
        QCOMPARE(answerer.texts.back(),
                 "Resolution to big, ran out of memory. Please reduce the resolution.");
        QCOMPARE(answerer.titles, QStringList(3, "Tavolin - Screenshot"));
        QVERIFY(dlg.isVisible() && !dlg.isRendering());
        QVERIFY(!DlgScreenshot::lastShotSettings.saved);
        shoot(dlg, 40, 30, 0, dir.filePath("after.png"));
        QCOMPARE(QImage(dir.filePath("after.png")).size(), QSize(40, 30));
    }

    // The bar rises while the picture renders; Cancel stops the rendering and saves nothing, and
    // a late signal of the stopped pool changes nothing.
    void progressRisesAndCancelSavesNothing() {
        const QString file = dir.filePath("progress.png");
        DlgScreenshot dlg(nullptr, 64, 48, doc.get());
        start(dlg, 400, 300, 1, file);
        QPointer<QProgressDialog> progress = dlg.progressDialog();
        QVERIFY(progress);
        QCOMPARE(progress->maximum(), 100);
        // Watch the bar itself: on a fast machine the whole rendering (and the reduction that
        // resets the bar) can be over between two looks at the dialog.
        int highest = 0;
        bool reducing = false;
        connect(progress->findChild<QProgressBar*>(), &QProgressBar::valueChanged, this,
                [&](int value) {
                    if (progress && progress->labelText().startsWith("Reducing")) reducing = true;
                    if (!reducing) highest = std::max(highest, value);
                });
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 60000);
        QVERIFY(highest > 0);
        QVERIFY(QFile::exists(file));

        DlgScreenshot::lastShotSettings = ShotSettings();
        const QString cancelled = dir.filePath("cancelled.png");
        DlgScreenshot big(nullptr, 64, 48, doc.get());
        start(big, 1600, 1200, 3, cancelled);
        QVERIFY(big.isRendering());
        QTest::mouseClick(big.progressDialog()->findChild<QPushButton*>(), Qt::LeftButton);
        QVERIFY(!big.isRendering());
        QTest::qWait(200);
        QVERIFY(big.isVisible());
        QVERIFY(!QFile::exists(cancelled));
        QVERIFY(!DlgScreenshot::lastShotSettings.saved);
    }
};

TAVOLIN_UI_TEST_MAIN(DlgScreenshotTest)
#include "dlgscreenshot_test.moc"
