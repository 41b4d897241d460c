// The window icon painted in code: the program's windows have it, it comes in the usual sizes,
// and it shows the desktop entry's picture (colours read at points worked out from the SVG's
// coordinates).
#include "ui/appicon.h"

#include <QtTest>

#include "tests/ui/uitesthelpers.h"
#include "ui/dlgabout.h"

class AppIconTest : public QObject {
    Q_OBJECT

private slots:
    void windowsHaveTheIcon() {
        QVERIFY(QApplication::windowIcon().isNull());
        appicon::install();
        QVERIFY(!QApplication::windowIcon().isNull());
        DlgAbout about;
        QVERIFY(!about.windowIcon().isNull());
        const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
        for (const int side : {16, 32, 48, 256}) QVERIFY(sizes.contains(QSize(side, side)));
    }

    // Points of the 256-pixel picture: outside the rounded tile, the sky, a star, the hole, and
    // the photon ring (radius 62, 10 wide) on its approaching (blue) and receding (red) sides.
    void pictureFollowsTheSvg() {
        const QImage image = appicon::paint(256).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(256, 256));
        if (const QString folder = qEnvironmentVariable("TAVOLIN_UI_SHOTS"); !folder.isEmpty())
            image.save(QDir(folder).filePath("window-icon.png"));
        QCOMPARE(qAlpha(image.pixel(2, 2)), 0);    // outside the tile
        QCOMPARE(qAlpha(image.pixel(12, 12)), 0);  // cut off by the corner radius 40
        const QColor sky = image.pixelColor(128, 236);
        QCOMPARE(sky.alpha(), 255);
        QVERIFY(sky.blue() > sky.red() && sky.value() < 80);
        QVERIFY(image.pixelColor(48, 52).lightness() > 200);  // a star
        QVERIFY(image.pixelColor(128, 128).lightness() < 5);  // the hole
        const QColor approaching = image.pixelColor(66, 128);
        const QColor receding = image.pixelColor(190, 128);
        QVERIFY2(approaching.blue() > approaching.red() + 60, qPrintable(approaching.name()));
        QVERIFY2(receding.red() > receding.blue() + 60, qPrintable(receding.name()));
        // The near half of the disk passes in front of the hole at its lowest point
        // (y = 124.67 + 34); the top of the hole stays black above the far half.
        QVERIFY(image.pixelColor(128, 158).lightness() > 150);
        QVERIFY(image.pixelColor(128, 85).lightness() < 5);
        // Small sizes are painted, not empty.
        const QImage small = appicon::paint(16).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(qAlpha(small.pixel(8, 8)) == 255);
    }
};

TAVOLIN_UI_TEST_MAIN(AppIconTest)
#include "appicon_test.moc"
