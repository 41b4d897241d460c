// The desktop program's command line: each form of `tavolin [--trace] [FILE]`, --help,
// --version and the refused forms, with what they print and the exit code.
#include <QtTest>

#include "tests/ui/uitesthelpers.h"
#include "ui/commandline.h"

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void forms_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("trace");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("exitCode");  // -1: the program goes on
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("nothing") << QStringList() << false << "" << -1 << "" << "";
        QTest::newRow("file") << QStringList{"a b.tavolin"} << false << "a b.tavolin" << -1 << ""
                              << "";
        QTest::newRow("trace and file") << QStringList{"--trace", "x.tavolin"} << true
                                        << "x.tavolin" << -1 << "" << "";
        QTest::newRow("file and trace") << QStringList{"x.tavolin", "--trace"} << true
                                        << "x.tavolin" << -1 << "" << "";
        QTest::newRow("help") << QStringList{"--help"} << false << "" << 0
                              << "Usage: tavolin [options] [FILE]" << "";
        QTest::newRow("help names trace") << QStringList{"--help"} << false << "" << 0
                                          << "--trace" << "";
        QTest::newRow("short help") << QStringList{"-h", "x.tavolin"} << false << "" << 0
                                    << "FILE" << "";
        QTest::newRow("version") << QStringList{"--version"} << false << ""
                                 << 0 << QString("tavolin %1\n").arg(TAVOLIN_VERSION) << "";
        QTest::newRow("unknown option") << QStringList{"--fast"} << false << "" << 2 << ""
                                        << "fast";
        QTest::newRow("two files") << QStringList{"a.tavolin", "b.tavolin"} << false << "" << 2
                                   << "" << "one scene file";
    }

    void forms() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, trace);
        QFETCH(QString, file);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        QFETCH(QString, complaint);
        const CommandLine line = parseCommandLine(QStringList{"tavolin"} + arguments);
        QCOMPARE(line.exitNow, exitCode >= 0);
        if (line.exitNow) QCOMPARE(line.exitCode, exitCode);
        QCOMPARE(line.trace, trace);
        QCOMPARE(line.file, file);
        QVERIFY2(line.output.contains(printed), qPrintable(line.output));
        QCOMPARE(line.output.isEmpty(), printed.isEmpty());
        QVERIFY2(line.error.contains(complaint), qPrintable(line.error));
        QCOMPARE(line.error.isEmpty(), complaint.isEmpty());
        if (!complaint.isEmpty()) QVERIFY(line.error.contains("Usage: tavolin"));
    }
};

TAVOLIN_UI_TEST_MAIN(CommandLineTest)
#include "commandline_test.moc"
