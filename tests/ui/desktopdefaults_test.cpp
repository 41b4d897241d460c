// Defaults a desktop user relies on: screenshots and films go to the pictures folder (created
// when missing), the edit dock's delete button has an icon of its own, and the windows carry the
// program's icon, painted in code after the desktop entry's picture. Beside them, the desktop
// program's command line: each form of `tavolin [--trace] [FILE]`, --help, --version and the
// refused forms, with what they print and the exit code.

#include "engine/docrt.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/appicon.h"
#include "ui/commandline.h"
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

    void commandLineForms() {
        const QString version = QString("tavolin %1\n").arg(TAVOLIN_VERSION);
        // {arguments, trace, file, exit code (-1: the program goes on), printed, complaint}.
        const struct {
            QStringList arguments;
            bool trace;
            QString file;
            int exitCode;
            QString printed, complaint;
        } forms[] = {{{}, false, "", -1, "", ""},
                     {{"a b.tavolin"}, false, "a b.tavolin", -1, "", ""},
                     {{"--trace", "x.tavolin"}, true, "x.tavolin", -1, "", ""},
                     {{"x.tavolin", "--trace"}, true, "x.tavolin", -1, "", ""},
                     {{"--help"}, false, "", 0, "Usage: tavolin [options] [FILE]", ""},
                     {{"--help"}, false, "", 0, "--trace", ""},
                     {{"-h", "x.tavolin"}, false, "", 0, "FILE", ""},
                     {{"--version"}, false, "", 0, version, ""},
                     {{"--fast"}, false, "", 2, "", "fast"},
                     {{"a.tavolin", "b.tavolin"}, false, "", 2, "", "one scene file"}};
        for (const auto& f : forms) {
            const CommandLine line = parseCommandLine(QStringList{"tavolin"} + f.arguments);
            const QByteArray context = f.arguments.join(' ').toUtf8();
            QVERIFY2(line.exitNow == (f.exitCode >= 0), context);
            QVERIFY2(!line.exitNow || line.exitCode == f.exitCode, context);
            QVERIFY2(line.trace == f.trace && line.file == f.file, context);
            QVERIFY2(line.output.contains(f.printed), qPrintable(line.output));
            QVERIFY2(line.output.isEmpty() == f.printed.isEmpty(), context);
            QVERIFY2(line.error.contains(f.complaint), qPrintable(line.error));
            QVERIFY2(line.error.isEmpty() == f.complaint.isEmpty(), context);
            if (!f.complaint.isEmpty()) QVERIFY(line.error.contains("Usage: tavolin"));
        }
    }
};

TAVOLIN_UI_TEST_MAIN(DesktopDefaultsTest)
#include "desktopdefaults_test.moc"
