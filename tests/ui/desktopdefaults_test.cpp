// Defaults a desktop user relies on: screenshots and films go to the pictures folder (created
// when missing), the edit dock's delete button has an icon of its own, and the windows carry the
// program's icon, painted in code after the desktop entry's picture.

#include "engine/docrt.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/appicon.h"
#include "ui/dlgabout.h"
#include "ui/dlgfilm.h"
#include "ui/dlgscreenshot.h"
#include "ui/dockeditobjects.h"
#include "ui/picturesfolder.h"

class DesktopDefaultsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        quietOffscreenWarnings();
        QStandardPaths::setTestModeEnabled(true);
    }

    void picturesFolderIsCreatedAndUsed() {
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        QDir(pictures).removeRecursively();
        QCOMPARE(picturesFolder(), pictures);
        QVERIFY(QDir(pictures).exists());
        QCOMPARE(QFileInfo(DlgScreenshot::defaultFileName()).absolutePath(), pictures);
        QCOMPARE(QFileInfo(DlgFilm::defaultFileName()).absolutePath(), pictures);
    }

    void deleteHasAnIconOfItsOwn() {
        DocRT doc;
        QWidget window;
        DockEditObjects dock(&window, &doc);
        const QImage icon = dock.deleteButton()->icon().pixmap(16, 16).toImage();
        const QImage doppler = QIcon(":/settings/SRTDoppler.ico").pixmap(16, 16).toImage();
        QVERIFY(!icon.isNull() && !doppler.isNull());
        QVERIFY(icon.convertToFormat(QImage::Format_ARGB32) !=
                doppler.convertToFormat(QImage::Format_ARGB32));
    }

    // Points of the 256-pixel picture, from the SVG's coordinates: outside the rounded tile, the
    // hole, and the photon ring (radius 62) on its approaching (blue) and receding (red) sides.
    void windowsHaveTheIcon() {
        appicon::install();
        QVERIFY(!DlgAbout().windowIcon().isNull());
        for (const int side : {16, 32, 48, 256})
            QVERIFY(QApplication::windowIcon().availableSizes().contains(QSize(side, side)));
        const QImage image = appicon::paint(256).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(qAlpha(image.pixel(12, 12)), 0);  // cut off by the corner radius 40
        QVERIFY(image.pixelColor(128, 128).lightness() < 5);
        const QColor approaching = image.pixelColor(66, 128);
        const QColor receding = image.pixelColor(190, 128);
        QVERIFY2(approaching.blue() > approaching.red() + 60, qPrintable(approaching.name()));
        QVERIFY2(receding.red() > receding.blue() + 60, qPrintable(receding.name()));
    }
};

TAVOLIN_UI_TEST_MAIN(DesktopDefaultsTest)
#include "desktopdefaults_test.moc"
