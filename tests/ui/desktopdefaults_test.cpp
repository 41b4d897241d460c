// Desktop defaults: screenshots and films go to the pictures folder (created when missing), and
// each form of `tavolin [--trace] [FILE]` on the command line, with what it prints and its exit
// code.
#include "tests/ui/uitesthelpers.h"
#include "ui/commandline.h"
#include "ui/dlgfilm.h"
#include "ui/dlgscreenshot.h"
#include "ui/picturesfolder.h"

class DesktopDefaultsTest : public QObject {
    Q_OBJECT

private slots:
    void picturesFolderIsCreatedAndUsed() {
        QStandardPaths::setTestModeEnabled(true);
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        QDir(pictures).removeRecursively();
        QCOMPARE(picturesFolder(), pictures);
        QVERIFY(QDir(pictures).exists());
        QCOMPARE(QFileInfo(DlgScreenshot::defaultFileName()).absolutePath(), pictures);
        QCOMPARE(QFileInfo(DlgFilm::defaultFileName()).absolutePath(), pictures);
    }

    void commandLineForms() {
        // {arguments, trace, file, exit code (-1: the program goes on), printed, complaint}.
        const struct {
            QStringList arguments;
            bool trace;
            QString file;
            int exitCode;
            QString printed, complaint;
        } forms[] = {{{}, false, "", -1, "", ""},
                     {{"x.tavolin", "--trace"}, true, "x.tavolin", -1, "", ""},
                     {{"-h", "x.tavolin"}, false, "", 0, "Usage: tavolin [options] [FILE]", ""},
                     {{"--version"}, false, "", 0, "tavolin " TAVOLIN_VERSION "\n", ""},
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
