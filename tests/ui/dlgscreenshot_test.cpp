// The screenshot dialog: resolution choice, the remembered settings of the last picture, the
// messages for a size that cannot be allocated and a place that cannot be written, stopping a
// rendering, and a saved picture equal to one the engine renders directly.
#include "ui/dlgscreenshot.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

#include "engine/docrt.h"
#include "engine/pixelbuffer.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "geometry/programmingerror.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"

namespace {

constexpr int kScreenW = 64;
constexpr int kScreenH = 48;

// The picture the engine renders for the document at w x h with the given antialiasing level,
// on a pool of its own, waited for, reduced and turned into an image.
QImage renderDirectly(DocRT& doc, int w, int h, int level) {
    PixelBuffer buffer;
    if (!buffer.setSize(w, h, level)) return QImage();
    auto engine = std::make_unique<TimeRT>();
    ThreadBase pool;
    engine->raytracePic(doc.getSettings(), doc.getSceneData(), doc.getTree(), &buffer);
    pool.addTasks(engine.get());
    pool.startRendering(true);
    if (!buffer.downsample(level)) return QImage();
    return buffer.toImage();
}

}  // namespace

class DlgScreenshotTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    std::unique_ptr<DocRT> doc;

    QPushButton* button(DlgScreenshot& d, QDialogButtonBox::StandardButton b) {
        return d.buttons()->button(b);
    }
    // Fills the dialog, presses OK and waits until it has closed.
    void shoot(DlgScreenshot& dlg, bool custom, int w, int h, int aaIndex, const QString& file) {
        dlg.show();
        if (custom) {
            dlg.customButton()->setChecked(true);
            dlg.widthBox()->setValue(w);
            dlg.heightBox()->setValue(h);
        } else {
            dlg.screenButton()->setChecked(true);
        }
        dlg.antialiasingCombo()->setCurrentIndex(aaIndex);
        dlg.fileNameEdit()->setText(file);
        QTest::mouseClick(button(dlg, QDialogButtonBox::Ok), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 60000);
    }

private slots:
    void initTestCase() {
        quietOffscreenWarnings();
        QVERIFY(dir.isValid());
    }

    void init() {
        DlgScreenshot::lastShotSettings = ShotSettings();
        doc = std::make_unique<DocRT>();
        doc->requestBuiltInScene();
        QVERIFY(doc->applyPendingChanges());
        doc->applyPendingChanges();
    }

    void cleanup() { doc.reset(); }

    // The screen choice shows the view's size and locks the boxes; each antialiasing entry is
    // its level, and a level the combo lacks is a caller's mistake.
    void resolutionAndAntialiasingChoices() {
        DlgScreenshot dlg(nullptr, kScreenW, kScreenH, doc.get());
        QVERIFY(!dlg.widthBox()->isEnabled());
        QCOMPARE(dlg.heightBox()->value(), kScreenH);
        dlg.customButton()->setChecked(true);
        QVERIFY(dlg.widthBox()->isEnabled() && dlg.heightBox()->isEnabled());
        dlg.widthBox()->setValue(321);
        dlg.screenButton()->setChecked(true);
        QCOMPARE(dlg.widthBox()->value(), kScreenW);
        QVERIFY(!dlg.widthBox()->isEnabled());
        const int levels[4] = {1, 4, 8, 16};
        for (int i = 0; i < 4; ++i) {
            dlg.antialiasingCombo()->setCurrentIndex(i);
            QCOMPARE(dlg.getAntialiasingLevel(), levels[i]);
            dlg.setAntialiasingLevel(levels[3 - i]);
            QCOMPARE(dlg.antialiasingCombo()->currentIndex(), 3 - i);
        }
        QVERIFY_THROWS_EXCEPTION(ProgrammingError, dlg.setAntialiasingLevel(2));
    }

    void screenshotEqualsTheEnginesPicture() {
        const QString file = dir.filePath("shot.png");
        DlgScreenshot dlg(nullptr, kScreenW, kScreenH, doc.get());
        shoot(dlg, true, 96, 72, 1, file);  // 4x
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.isRendering());
        QImage saved(file);
        QCOMPARE(saved.size(), QSize(96, 72));

        const QImage direct = renderDirectly(*doc, 96, 72, 4);
        QCOMPARE(direct.size(), QSize(96, 72));
        int different = 0;
        for (int y = 0; y < 72; ++y)
            for (int x = 0; x < 96; ++x)
                if ((saved.pixel(x, y) & 0xffffff) != (direct.pixel(x, y) & 0xffffff)) ++different;
        QCOMPARE(different, 0);
        // Not a blank picture: the built-in spheres and the background are both in it.
        QSet<QRgb> colours;
        for (int y = 0; y < 72; ++y)
            for (int x = 0; x < 96; ++x) colours.insert(saved.pixel(x, y));
        QVERIFY(colours.size() > 10);
    }

    // The next dialog offers the last saved picture's settings; a remembered screen choice
    // shows the view's size of the day.
    void settingsOfTheLastShotAreOfferedAgain() {
        const QString file = dir.filePath("remembered.bmp");
        {
            DlgScreenshot dlg(nullptr, kScreenW, kScreenH, doc.get());
            shoot(dlg, true, 160, 120, 3, file);  // 16x
        }
        QCOMPARE(QImage(file).size(), QSize(160, 120));
        DlgScreenshot next(nullptr, 333, 222, doc.get());
        QVERIFY(next.customButton()->isChecked() && next.widthBox()->isEnabled());
        QCOMPARE(next.widthBox()->value(), 160);
        QCOMPARE(next.heightBox()->value(), 120);
        QCOMPARE(next.antialiasingCombo()->currentText(), QString("16x"));
        QCOMPARE(next.fileNameEdit()->text(), file);
        shoot(next, false, 0, 0, 0, file);
        QCOMPARE(QImage(file).size(), QSize(333, 222));
        DlgScreenshot third(nullptr, 50, 40, doc.get());
        QVERIFY(third.screenButton()->isChecked());
        QCOMPARE(third.widthBox()->value(), 50);
        QCOMPARE(third.antialiasingCombo()->currentText(), QString("Off"));
    }

    void unwritablePlaceShowsTheMessageAndRemembersNothing() {
        // A folder below a plain file cannot exist, whoever runs the test.
        const QString plain = dir.filePath("plainfile");
        QVERIFY(writeFile(plain, {}));
        // Refused before rendering, with the system's reason; the dialog stays open for a
        // corrected name.
        ModalAnswerer answerer;
        DlgScreenshot dlg(nullptr, kScreenW, kScreenH, doc.get());
        dlg.show();
        dlg.customButton()->setChecked(true);
        dlg.fileNameEdit()->setText(plain + "/shot.png");
        QTest::mouseClick(button(dlg, QDialogButtonBox::Ok), Qt::LeftButton);
        QTRY_COMPARE(answerer.texts.size(), 1);
        QCOMPARE(answerer.texts.front(), "Could not save in this location\nCould not write " +
                                             plain + "/shot.png: Not a directory");
        QCOMPARE(answerer.titles, QStringList({"Tavolin - Screenshot"}));
        QVERIFY(!DlgScreenshot::lastShotSettings.saved);
        QVERIFY(!dlg.isRendering());
        QVERIFY(dlg.isVisible());

        // A scene file's name is not taken for a picture: the scene stays as it was.
        const QString scene = dir.filePath("keep.tavolin");
        QVERIFY(doc->saveFile(scene));
        const QByteArray before = readFile(scene);
        dlg.fileNameEdit()->setText(scene);
        QTest::mouseClick(button(dlg, QDialogButtonBox::Ok), Qt::LeftButton);
        QTRY_COMPARE(answerer.texts.size(), 2);
        QVERIFY(answerer.texts.back().contains("not a picture"));
        QVERIFY(dlg.isVisible());
        QCOMPARE(readFile(scene), before);
    }

    void impossibleSizeShowsTheMessageAndStaysUsable() {
        ModalAnswerer answerer;
        DlgScreenshot dlg(nullptr, kScreenW, kScreenH, doc.get());
        dlg.show();
        dlg.customButton()->setChecked(true);
        dlg.widthBox()->setValue(9999);
        dlg.heightBox()->setValue(9999);
        dlg.antialiasingCombo()->setCurrentIndex(3);
        QTest::mouseClick(button(dlg, QDialogButtonBox::Ok), Qt::LeftButton);
        QCOMPARE(
            answerer.texts,
            QStringList({"Resolution to big, ran out of memory. Please reduce the resolution."}));
        QCOMPARE(answerer.titles, QStringList({"Tavolin - Screenshot"}));
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.isRendering());

        const QString file = dir.filePath("after.png");
        shoot(dlg, true, 40, 30, 0, file);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(QImage(file).size(), QSize(40, 30));
    }

    void progressCancelStopsTheRenderingAndSavesNothing() {
        const QString file = dir.filePath("cancelled.png");
        DlgScreenshot dlg(nullptr, kScreenW, kScreenH, doc.get());
        dlg.show();
        dlg.customButton()->setChecked(true);
        dlg.widthBox()->setValue(1600);
        dlg.heightBox()->setValue(1200);
        dlg.antialiasingCombo()->setCurrentIndex(3);
        dlg.fileNameEdit()->setText(file);
        QTest::mouseClick(button(dlg, QDialogButtonBox::Ok), Qt::LeftButton);
        QVERIFY(dlg.isRendering());
        QProgressDialog* progress = dlg.progressDialog();
        QVERIFY(progress);
        QCOMPARE(progress->minimum(), 0);
        QCOMPARE(progress->maximum(), 100);
        saveShotIfAsked(progress, "screenshot-progress");
        QPushButton* cancel = progress->findChild<QPushButton*>();
        QVERIFY(cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(!dlg.isRendering());
        QTest::qWait(200);  // a late signal of the stopped pool must change nothing
        QVERIFY(dlg.isVisible());
        QVERIFY(!QFile::exists(file));
        QVERIFY(!DlgScreenshot::lastShotSettings.saved);

        // The dialog is ready for another try.
        shoot(dlg, true, 32, 24, 0, file);
        QCOMPARE(QImage(file).size(), QSize(32, 24));
    }

    void progressReachesTheDialog() {
        const QString file = dir.filePath("progress.png");
        DlgScreenshot dlg(nullptr, kScreenW, kScreenH, doc.get());
        dlg.show();
        dlg.customButton()->setChecked(true);
        dlg.widthBox()->setValue(400);
        dlg.heightBox()->setValue(300);
        dlg.antialiasingCombo()->setCurrentIndex(1);
        dlg.fileNameEdit()->setText(file);
        QTest::mouseClick(button(dlg, QDialogButtonBox::Ok), Qt::LeftButton);
        QPointer<QProgressDialog> progress = dlg.progressDialog();
        QVERIFY(progress);
        // Watch the bar itself: on a fast machine the whole rendering (and the reduction that
        // resets the bar) can be over between two looks at the dialog.
        QProgressBar* bar = progress->findChild<QProgressBar*>();
        QVERIFY(bar);
        int highest = 0;
        bool reducing = false;
        connect(bar, &QProgressBar::valueChanged, this, [&](int value) {
            if (progress && progress->labelText().startsWith("Reducing")) reducing = true;
            if (!reducing) highest = std::max(highest, value);
        });
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 60000);
        QVERIFY(highest > 0);
        QVERIFY(QFile::exists(file));
    }
};

TAVOLIN_UI_TEST_MAIN(DlgScreenshotTest)
#include "dlgscreenshot_test.moc"
