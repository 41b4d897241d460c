// The help: the launcher, with a stand-in viewer that records what it is told (command line,
// remote commands, its end with the launcher, a restart after the user closed it, the messages
// for missing pieces); the pages (every link and anchor resolves, the project lists every page).
#include <signal.h>

#include <memory>

#include "tests/ui/uitesthelpers.h"
#include "ui/helpassistant.h"

namespace {

const QString helpDir = QStringLiteral(TAVOLIN_SOURCE_DIR "/docs/help");

QStringList matches(const QString& text, const QString& pattern) {
    QStringList out;
    QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext()) out << it.next().captured(1);
    return out;
}

// Whether a reference "page#anchor" from a page names an existing page and anchor.
bool resolves(const QString& from, const QString& ref) {
    const QString page = ref.section('#', 0, 0).isEmpty() ? from : ref.section('#', 0, 0);
    const QString text = QString::fromUtf8(readFile(helpDir + "/" + page));
    const QStringList anchors =
        matches(text, "<a\\s+name=\"([^\"]+)\"") + matches(text, "\\sid=\"([^\"]+)\"");
    return !text.isEmpty() && (!ref.contains('#') || anchors.contains(ref.section('#', 1)));
}

}  // namespace

class HelpTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    const QString prefix = "qthelp://tavolindoc/doc/output/";
    QString log, collection;

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
    // private data folder, and tells the user so once; later requests steer it, and one after
    // the user closed it starts it again. The launcher's end terminates the viewer (reaped)
    // well within the grace before a kill, and removes the folder.
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
        HelpAssistant::showUrl(prefix + "dlgscreenshot.html#antialiasing");
        QTRY_COMPARE(logged("in").size(), 2);
        QCOMPARE(logged("in")[1], "setSource " + prefix + "dlgscreenshot.html#antialiasing");
        const QString dataHome = logged("xdg").value(0);
        QVERIFY(QFileInfo(dataHome).isDir() && dataHome != qEnvironmentVariable("XDG_DATA_HOME"));

        QCOMPARE(boxes.texts.size(), 1);       // steering tells nothing
        HelpAssistant::showPage("quit.html");  // the stand-in ends, as if the user closed it
        QTRY_VERIFY(!HelpAssistant::viewerRunning());
        HelpAssistant::showPage("dlgfilm.html");
        QTRY_COMPARE(logged("in").size(), 4);
        QCOMPARE(logged("pid").size(), 2);
        QCOMPARE(logged("arg").value(8), prefix + "dlgfilm.html");

        const pid_t pid = pid_t(logged("pid")[1].toLongLong());
        QElapsedTimer clock;
        clock.start();
        help.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(::kill(pid, 0), -1);
        QVERIFY(!QFileInfo::exists(dataHome));
    }

    // A missing viewer, a file that is no program and a missing collection are reported with
    // their paths and how to install what is missing; nothing starts.
    void missingPiecesAreReported() {
        const QString cannotStart = "The help viewer (assistant) could not be started: ";
        // {viewer, collection, message, remedy}
        const QString cases[][4] = {
            {"no-such-folder/assistant", "tavolinhelp.qhc", cannotStart,
             "apt-get install assistant-qt6"},
            {"tavolinhelp.qhc", "tavolinhelp.qhc", cannotStart, ""},
            {"viewer.sh", "gone/tavolinhelp.qhc",
             "The help collection could not be found: ", "qt6-documentation-tools"}};
        for (const auto& [viewer, collection, message, remedy] : cases) {
            HelpAssistant::setViewerProgram(dir.filePath(viewer));
            HelpAssistant::setCollectionFile(dir.filePath(collection));
            HelpAssistant help;
            ModalAnswerer boxes;
            HelpAssistant::showPage("index.html");
            QCOMPARE(boxes.titles, QStringList("Help"));
            const QString text = boxes.texts[0];
            QVERIFY2(text.startsWith(message) && text.contains(remedy), qPrintable(text));
            QVERIFY(text.contains(viewer.contains("viewer") ? collection : viewer));
            QVERIFY(!HelpAssistant::viewerRunning() && !QFileInfo::exists(log));
        }
    }

    // Every page the program shows is linked from the index; every link of every page and every
    // entry of the project's contents resolves; the project names each file once.
    void everyPageAndLinkResolves() {
        const QStringList links = matches(QString::fromUtf8(readFile(helpDir + "/index.html")),
                                          "href=\"([^\"#]+)[^\"]*\"");
        for (const QString page :
             {"dlgwavelength.html", "dlgrenderoptions.html", "dlgscreenshot.html", "dlgfilm.html"})
            QVERIFY2(links.contains(page), qPrintable(page));
        for (const QString& page : QDir(helpDir).entryList({"*.html"}, QDir::Files)) {
            const QString text = QString::fromUtf8(readFile(helpDir + "/" + page));
            for (const QString& ref : matches(text, "href=\"([^\"]+)\""))
                if (!ref.contains("://"))
                    QVERIFY2(resolves(page, ref), qPrintable(page + " " + ref));
        }
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
        QStringList pages = QDir(helpDir).entryList({"*.html", "*.css", "*.png"}, QDir::Files);
        pages.replaceInStrings(QRegularExpression("^"), "output/");
        files.sort();
        QCOMPARE(files, pages);
        QVERIFY(refs.size() > 20);
        for (const QString& ref : refs)
            QVERIFY2(ref.startsWith("output/") && resolves("", ref.mid(7)), qPrintable(ref));
    }
};

TAVOLIN_UI_TEST_MAIN(HelpTest)
#include "help_test.moc"
