// Tests of the help launcher: its one-instance rule, the viewer's command line and remote
// commands (checked with a stand-in viewer script that records them), restarts, and the messages
// for a missing viewer or collection.
#include "ui/helpassistant.h"

#include <signal.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "geometry/programmingerror.h"
#include "tests/ui/uitesthelpers.h"

namespace {

// The message of the ProgrammingError that f throws, or an empty string.
template <typename F>
QString programmingErrorOf(F f) {
    try {
        f();
    } catch (const ProgrammingError& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

const QString pagePrefix = "qthelp://tavolindoc/doc/output/";

}  // namespace

class HelpAssistantTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString logFile;
    QString fakeViewer;
    QString fakeCollection;
    // Every message box seen while a test ran: "title|text", closed at once.
    QStringList boxes;
    QTimer boxCloser;

    QStringList logLines() const {
        return QString::fromLocal8Bit(readFile(logFile)).split('\n', Qt::SkipEmptyParts);
    }
    QStringList logLinesStartingWith(const QString& prefix) const {
        QStringList out;
        for (const QString& l : logLines()) {
            if (l.startsWith(prefix)) out << l.mid(prefix.size());
        }
        return out;
    }
    qint64 viewerPid() const {
        const QStringList pids = logLinesStartingWith("pid ");
        return pids.isEmpty() ? -1 : pids.last().toLongLong();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        logFile = dir.filePath("viewer.log");
        fakeCollection = dir.filePath("tavolinhelp.qhc");
        QVERIFY(writeFile(fakeCollection, "not a collection; the stand-in viewer never opens it"));
        fakeViewer = dir.filePath("fake-assistant.sh");
        QVERIFY(writeStandInViewer(fakeViewer, logFile));

        connect(&boxCloser, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes << box->windowTitle() + "|" + box->text();
                box->done(QMessageBox::Ok);
            }
        });
        boxCloser.start(20);
    }

    void init() {
        QFile::remove(logFile);
        boxes.clear();
        HelpAssistant::setViewerProgram(fakeViewer);
        HelpAssistant::setCollectionFile(fakeCollection);
        HelpAssistant::setStartNoticeEnabled(false);
    }

    void cleanup() {
        HelpAssistant::setViewerProgram({});
        HelpAssistant::setCollectionFile({});
        HelpAssistant::setStartNoticeEnabled(true);
    }

    void useWithoutInstanceAndSecondInstanceAreProgrammingErrors() {
        auto fails = [](auto f) { return !programmingErrorOf(f).isEmpty(); };
        QVERIFY(fails([] { HelpAssistant::showPage("index.html"); }));
        QVERIFY(fails([] { HelpAssistant::showUrl(pagePrefix + "index.html"); }));
        QVERIFY(fails([] { HelpAssistant::startViewer(pagePrefix + "index.html"); }));
        {
            HelpAssistant first;
            QVERIFY(fails([] { HelpAssistant second; }));
            // The failed second construction leaves the first one usable.
            QVERIFY(!fails([] { HelpAssistant::showPage("index.html"); }));
        }
        // After the instance is gone the rule applies again, and a new instance is allowed.
        QVERIFY(fails([] { HelpAssistant::showPage("index.html"); }));
        QVERIFY(!fails([] { HelpAssistant again; }));
        QVERIFY(!HelpAssistant::viewerRunning());
    }

    // The first request starts the viewer with the collection, the page and remote control, in a
    // private data folder; later requests only steer it. The end of the launcher terminates the
    // viewer (reaped, not merely detached) well within the grace before a kill, and removes the
    // folder.
    void viewerLifeFromTheFirstRequestToTheEnd() {
        auto help = std::make_unique<HelpAssistant>();
        HelpAssistant::showPage("index.html");
        QVERIFY(HelpAssistant::viewerRunning());
        QTRY_COMPARE(logLinesStartingWith("in ").size(), 1);
        QCOMPARE(logLinesStartingWith("arg "),
                 QStringList({"-collectionFile", fakeCollection, "-showUrl",
                              pagePrefix + "index.html", "-enableRemoteControl"}));
        QVERIFY(!HelpAssistant::startViewer(pagePrefix + "dlgfilm.html"));
        HelpAssistant::showPage("dlgwavelength.html");
        HelpAssistant::showUrl(pagePrefix + "dlgscreenshot.html#antialiasing");
        QTRY_COMPARE(logLinesStartingWith("in ").size(), 3);
        QCOMPARE(logLinesStartingWith("in "),
                 QStringList({"setSource " + pagePrefix + "index.html",
                              "setSource " + pagePrefix + "dlgwavelength.html",
                              "setSource " + pagePrefix + "dlgscreenshot.html#antialiasing"}));
        QCOMPARE(logLinesStartingWith("pid ").size(), 1);
        QVERIFY(boxes.isEmpty());
        const QString dataHome = logLinesStartingWith("xdg ").value(0);
        QVERIFY(!dataHome.isEmpty() && dataHome != qEnvironmentVariable("XDG_DATA_HOME"));
        QVERIFY(QFileInfo(dataHome).isDir());

        const qint64 pid = viewerPid();
        QCOMPARE(::kill(pid_t(pid), 0), 0);
        QElapsedTimer clock;
        clock.start();
        help.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!HelpAssistant::viewerRunning());
        QCOMPARE(::kill(pid_t(pid), 0), -1);
        QVERIFY(!QFileInfo::exists(dataHome));
    }

    void aClosedViewerIsStartedAgainOnTheNextRequest() {
        HelpAssistant help;
        HelpAssistant::showPage("index.html");
        HelpAssistant::showPage("quit.html");  // the stand-in ends, as if the user closed it
        QTRY_VERIFY(!HelpAssistant::viewerRunning());
        HelpAssistant::showPage("dlgfilm.html");
        QVERIFY(HelpAssistant::viewerRunning());
        QTRY_COMPARE(logLinesStartingWith("in ").size(), 3);
        QCOMPARE(logLinesStartingWith("pid ").size(), 2);
        const QStringList args = logLinesStartingWith("arg ");
        QCOMPARE(args.size(), 10);
        QCOMPARE(args.at(3), pagePrefix + "index.html");
        QCOMPARE(args.at(8), pagePrefix + "dlgfilm.html");
        QCOMPARE(logLinesStartingWith("in ").last(), "setSource " + pagePrefix + "dlgfilm.html");
    }

    void startNoticeListsTheArgumentsOnTheFirstRequestOnly() {
        HelpAssistant::setStartNoticeEnabled(true);
        HelpAssistant help;
        HelpAssistant::showPage("index.html");
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first(), "Starting help|-collectionFile;" + fakeCollection + ";-showUrl;" +
                                    pagePrefix + "index.html;-enableRemoteControl");
        HelpAssistant::showPage("dlgrenderoptions.html");
        QCOMPARE(boxes.size(), 1);
        QTRY_COMPARE(logLinesStartingWith("in ").size(), 2);
    }

    void missingViewerIsReportedWithItsPathAndHowToInstallIt() {
        const QString missing = dir.filePath("no-such-folder/assistant");
        HelpAssistant::setViewerProgram(missing);
        HelpAssistant help;
        QVERIFY(!HelpAssistant::startViewer(pagePrefix + "index.html"));
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(
            boxes.first().startsWith("Help|The help viewer (assistant) could not be started: "),
            qPrintable(boxes.first()));
        QVERIFY(boxes.first().contains(missing));
        QVERIFY(boxes.first().contains("apt-get install assistant-qt6"));
        QVERIFY(!HelpAssistant::viewerRunning());

        // showPage reports the same way and does not fail; the command has nowhere to go.
        HelpAssistant::showPage("index.html");
        QCOMPARE(boxes.size(), 2);
        QVERIFY(!HelpAssistant::viewerRunning());

        // A file that exists but is no program is reported the same way.
        HelpAssistant::setViewerProgram(fakeCollection);
        QVERIFY(!HelpAssistant::startViewer(pagePrefix + "index.html"));
        QCOMPARE(boxes.size(), 3);
        QVERIFY(boxes.last().contains("could not be started"));
        QVERIFY(boxes.last().contains(fakeCollection));
    }

    void missingCollectionIsReportedBeforeAnythingStarts() {
        HelpAssistant::setStartNoticeEnabled(true);
        const QString missing = dir.filePath("gone/tavolinhelp.qhc");
        HelpAssistant::setCollectionFile(missing);
        HelpAssistant help;
        QVERIFY(!HelpAssistant::startViewer(pagePrefix + "index.html"));
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes.first().startsWith("Help|The help collection could not be found: "));
        QVERIFY(boxes.first().contains(missing));
        QVERIFY(boxes.first().contains("qt6-documentation-tools"));
        QVERIFY(!QFileInfo::exists(logFile));
    }

    // Qt's real assistant accepts the built collection and stays up until it is terminated.
    void realAssistantShowsTheBuiltCollection() {
        HelpAssistant::setViewerProgram({});
        HelpAssistant::setCollectionFile({});
        const QString program = HelpAssistant::viewerProgram();
        if (!QFileInfo(program).isExecutable()) QSKIP("Qt's assistant is not installed");
        if (!QFileInfo::exists(HelpAssistant::collectionFile()))
            QSKIP("the help collection was not built");
        HelpAssistant help;
        HelpAssistant::showPage("dlgwavelength.html");
        QVERIFY(boxes.isEmpty());
        QVERIFY(HelpAssistant::viewerRunning());
        // A collection assistant cannot open makes it end at once with an error.
        QTest::qWait(1500);
        QVERIFY(HelpAssistant::viewerRunning());
        HelpAssistant::showPage("index.html");
        QTest::qWait(300);
        QVERIFY(HelpAssistant::viewerRunning());
    }
};

TAVOLIN_UI_TEST_MAIN(HelpAssistantTest)

#include "helpassistant_test.moc"
