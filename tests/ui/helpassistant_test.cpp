// The help launcher, with a stand-in viewer script that records what it is told: the viewer's
// command line and remote commands, its end with the launcher, a restart after the user closed
// it, and the messages for a missing viewer or collection.
#include "ui/helpassistant.h"

#include <signal.h>

#include <memory>

#include "tests/ui/uitesthelpers.h"

class HelpAssistantTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    const QString prefix = "qthelp://tavolindoc/doc/output/";
    QString log, collection;

    // The lines of the viewer's log that start with the given word, without it.
    QStringList logged(const QString& word) const {
        QStringList out;
        for (const QString& line : QString::fromLocal8Bit(readFile(log)).split('\n'))
            if (line.startsWith(word + ' ')) out << line.mid(word.size() + 1);
        return out;
    }

private slots:
    void initTestCase() {
        log = dir.filePath("viewer.log");
        collection = dir.filePath("tavolinhelp.qhc");
        QVERIFY(writeFile(collection, "not a collection; the stand-in viewer never opens it"));
        QVERIFY(writeStandInViewer(dir.filePath("viewer.sh"), log));
    }

    void init() {
        QFile::remove(log);
        HelpAssistant::setViewerProgram(dir.filePath("viewer.sh"));
        HelpAssistant::setCollectionFile(collection);
        HelpAssistant::setStartNoticeEnabled(false);
    }

    // The first request starts the viewer with the collection, the page and remote control, in a
    // private data folder, and (when asked) tells the user so once; later requests only steer
    // it. The end of the launcher terminates the viewer (reaped, not merely detached) well within
    // the grace before a kill, and removes the folder.
    void viewerLifeFromTheFirstRequestToTheEnd() {
        HelpAssistant::setStartNoticeEnabled(true);
        ModalAnswerer boxes;
        auto help = std::make_unique<HelpAssistant>();
        HelpAssistant::showPage("index.html");
        const QStringList args = {"-collectionFile", collection, "-showUrl", prefix + "index.html",
                                  "-enableRemoteControl"};
        QCOMPARE(boxes.texts, QStringList(args.join(';')));
        QCOMPARE(boxes.titles, QStringList("Starting help"));
        QTRY_COMPARE(logged("in").size(), 1);
        QCOMPARE(logged("arg"), args);
        HelpAssistant::showPage("dlgwavelength.html");
        HelpAssistant::showUrl(prefix + "dlgscreenshot.html#antialiasing");
        QTRY_COMPARE(logged("in").size(), 3);
        QCOMPARE(logged("in").mid(1),
                 QStringList({"setSource " + prefix + "dlgwavelength.html",
                              "setSource " + prefix + "dlgscreenshot.html#antialiasing"}));
        QCOMPARE(logged("pid").size(), 1);
        QCOMPARE(boxes.texts.size(), 1);
        const QString dataHome = logged("xdg").value(0);
        QVERIFY(QFileInfo(dataHome).isDir() && dataHome != qEnvironmentVariable("XDG_DATA_HOME"));

        const pid_t pid = pid_t(logged("pid")[0].toLongLong());
        QElapsedTimer clock;
        clock.start();
        help.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(::kill(pid, 0), -1);
        QVERIFY(!QFileInfo::exists(dataHome));
    }

    void aClosedViewerIsStartedAgainOnTheNextRequest() {
        HelpAssistant help;
        HelpAssistant::showPage("index.html");
        HelpAssistant::showPage("quit.html");  // the stand-in ends, as if the user closed it
        QTRY_VERIFY(!HelpAssistant::viewerRunning());
        HelpAssistant::showPage("dlgfilm.html");
        QTRY_COMPARE(logged("in").size(), 3);
        QCOMPARE(logged("pid").size(), 2);
        QCOMPARE(logged("arg").value(8), prefix + "dlgfilm.html");
        QCOMPARE(logged("in").last(), "setSource " + prefix + "dlgfilm.html");
    }

    // A missing viewer, a file that is no program and a missing collection are reported with
    // their paths and how to install what is missing; nothing starts.
    void missingPiecesAreReported_data() {
        QTest::addColumn<QString>("viewer");
        QTest::addColumn<QString>("collection");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("remedy");
        const QString cannotStart = "The help viewer (assistant) could not be started: ";
        QTest::newRow("no viewer")
            << "no-such-folder/assistant"
            << "tavolinhelp.qhc" << cannotStart << "apt-get install assistant-qt6";
        QTest::newRow("no program") << "tavolinhelp.qhc"
                                    << "tavolinhelp.qhc" << cannotStart << "";
        QTest::newRow("no collection") << "viewer.sh"
                                       << "gone/tavolinhelp.qhc"
                                       << "The help collection could not be found: "
                                       << "qt6-documentation-tools";
    }

    void missingPiecesAreReported() {
        QFETCH(QString, viewer);
        QFETCH(QString, collection);
        QFETCH(QString, message);
        QFETCH(QString, remedy);
        HelpAssistant::setViewerProgram(dir.filePath(viewer));
        HelpAssistant::setCollectionFile(dir.filePath(collection));
        HelpAssistant help;
        ModalAnswerer boxes;
        QVERIFY(!HelpAssistant::startViewer(prefix + "index.html"));
        HelpAssistant::showPage("index.html");  // reports the same way, and does not fail
        QCOMPARE(boxes.texts.size(), 2);
        QCOMPARE(boxes.titles[0], QString("Help"));
        const QString text = boxes.texts[0];
        QVERIFY2(text.startsWith(message) && text.contains(remedy), qPrintable(text));
        QVERIFY(text.contains(viewer.contains("viewer") ? collection : viewer));
        QVERIFY(!HelpAssistant::viewerRunning());
        QVERIFY(!QFileInfo::exists(log));
    }
};

TAVOLIN_UI_TEST_MAIN(HelpAssistantTest)
#include "helpassistant_test.moc"
