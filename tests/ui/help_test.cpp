// The help: the launcher, with a stand-in viewer script that records what it is told (the
// viewer's command line and remote commands, its end with the launcher, a restart after the user
// closed it, and the messages for a missing viewer or collection); the help pages and the
// compiled help collection (every page the program asks for exists, every link and anchor of
// the pages and of the project's contents resolves, the project lists every page, and the built
// collection holds the current pages under the addresses used).
#include <signal.h>

#include <memory>

#include "tests/ui/uitesthelpers.h"
#include "ui/helpassistant.h"

#ifdef TAVOLIN_HAVE_QTSQL
#include <QSqlDatabase>
#include <QSqlQuery>
#endif

namespace {

const QString helpDir = QStringLiteral(TAVOLIN_SOURCE_DIR "/docs/help");

QStringList matches(const QString& text, const QString& pattern) {
    QStringList out;
    QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext()) out << it.next().captured(1);
    return out;
}

// The files of the help folder as the project and the collection name them, sorted.
QStringList helpFiles() {
    QStringList files = QDir(helpDir).entryList({"*.html", "*.css", "*.png"}, QDir::Files);
    for (QString& f : files) f.prepend("output/");
    files.sort();
    return files;
}

// Why a reference "page#anchor" from a page does not resolve, or nothing.
QString brokenReason(const QString& from, const QString& ref) {
    const QString page = ref.section('#', 0, 0).isEmpty() ? from : ref.section('#', 0, 0);
    const QString text = QString::fromUtf8(readFile(helpDir + "/" + page));
    const QStringList anchors =
        matches(text, "<a\\s+name=\"([^\"]+)\"") + matches(text, "\\sid=\"([^\"]+)\"");
    if (text.isEmpty()) return from + " -> " + ref + ": no such page";
    if (ref.contains('#') && !anchors.contains(ref.section('#', 1)))
        return from + " -> " + ref + ": no such anchor";
    return {};
}

}  // namespace

class HelpTest : public QObject {
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

    // The pages the program shows (the main window's Help, the dialogs' Help buttons), each
    // linked from the index; every link of every page resolves.
    void everyPageAndLinkResolves() {
        const QStringList links = matches(QString::fromUtf8(readFile(helpDir + "/index.html")),
                                          "href=\"([^\"#]+)[^\"]*\"");
        for (const QString page :
             {"dlgwavelength.html", "dlgrenderoptions.html", "dlgscreenshot.html", "dlgfilm.html"})
            QVERIFY2(links.contains(page), qPrintable(page));
        int checked = 0;
        for (const QString& page : QDir(helpDir).entryList({"*.html"}, QDir::Files)) {
            const QString text = QString::fromUtf8(readFile(helpDir + "/" + page));
            QVERIFY2(text.contains("href=\"tavolin.css\""), qPrintable(page));
            for (const QString& ref : matches(text, "href=\"([^\"]+)\"")) {
                if (ref.contains("://")) continue;  // web addresses
                const QString reason = brokenReason(page, ref);
                QVERIFY2(reason.isEmpty(), qPrintable(reason));
                ++checked;
            }
        }
        QVERIFY(checked > 30);
    }

    // The project names each file of the help folder once, below output/, and every table of
    // contents and keyword entry points at an existing page and anchor.
    void projectListsEveryPageAndValidReferences() {
        QFile qhp(TAVOLIN_SOURCE_DIR "/docs/tavolinhelp.qhp");
        QVERIFY(qhp.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&qhp);
        QStringList files, refs;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) continue;
            if (xml.name() == u"file")
                files << xml.readElementText();
            else if (xml.name() == u"section" || xml.name() == u"keyword")
                refs << xml.attributes().value("ref").toString();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        files.sort();
        QCOMPARE(files, helpFiles());
        QVERIFY(refs.size() > 20);
        for (const QString& ref : refs) {
            const QString reason = brokenReason("tavolinhelp.qhp", ref.mid(7));
            QVERIFY2(ref.startsWith("output/") && reason.isEmpty(), qPrintable(ref + reason));
        }
    }

    // Each page is stored once in the built help file (an SQLite database of pages compressed
    // with qCompress) under the namespace and folder the program's addresses use, byte for byte
    // as in the source folder: a stale build would differ.
    void builtCollectionHoldsTheCurrentPages() {
#if !defined(TAVOLIN_HELP_COLLECTION_BUILT) || !defined(TAVOLIN_HAVE_QTSQL)
        QSKIP("the collection is not built, or QtSql is missing to read it");
#else
        if (!QSqlDatabase::isDriverAvailable("QSQLITE")) QSKIP("no SQLite driver for QtSql");
        QStringList stored;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "qch");
            db.setDatabaseName(QCoreApplication::applicationDirPath() + "/tavolinhelp.qch");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(
                q.exec("SELECT n.Name, d.Data, s.Name, f.Name FROM FileNameTable n "
                       "JOIN FileDataTable d ON d.Id = n.FileId, NamespaceTable s, "
                       "FolderTable f WHERE n.Name <> ''"));
            while (q.next()) {
                const QString name = q.value(0).toString();
                stored << name;
                QCOMPARE(q.value(2).toString() + "/" + q.value(3).toString(), "tavolindoc/doc");
                QCOMPARE(qUncompress(q.value(1).toByteArray()),
                         readFile(helpDir + "/" + name.mid(7)));
            }
        }
        QSqlDatabase::removeDatabase("qch");
        {
            // The collection registers the pages relative to itself: the program folder can move.
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "qhc");
            db.setDatabaseName(QCoreApplication::applicationDirPath() + "/tavolinhelp.qhc");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT Name, FilePath FROM NamespaceTable") && q.next());
            QCOMPARE(q.value(0).toString() + " " + q.value(1).toString(),
                     "tavolindoc tavolinhelp.qch");
            QVERIFY(!q.next());
        }
        QSqlDatabase::removeDatabase("qhc");
        stored.sort();
        QCOMPARE(stored, helpFiles());
#endif
    }
};

TAVOLIN_UI_TEST_MAIN(HelpTest)
#include "help_test.moc"
