// The desktop program's command line: each form of `tavolin [--trace] [FILE]`, --help,
// --version and the refused forms, with what they print and the exit code.
#include "ui/commandline.h"

#include "tests/ui/uitesthelpers.h"

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void forms() {
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

TAVOLIN_UI_TEST_MAIN(CommandLineTest)
#include "commandline_test.moc"
