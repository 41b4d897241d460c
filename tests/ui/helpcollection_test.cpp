// The help pages and the compiled help collection: every page the program asks for exists,
// every link and anchor (of the pages and of the project's contents) resolves, the project lists
// every page, and the built collection holds the current pages under the addresses used.
#include "tests/ui/uitesthelpers.h"

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

class HelpCollectionTest : public QObject {
    Q_OBJECT

private slots:
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
        QStringList expected = QDir(helpDir).entryList({"*.html", "*.css", "*.png"}, QDir::Files);
        for (QString& f : expected) f.prepend("output/");
        expected.sort();
        files.sort();
        QCOMPARE(files, expected);
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
        QStringList expected = QDir(helpDir).entryList({"*.html", "*.css", "*.png"}, QDir::Files);
        for (QString& f : expected) f.prepend("output/");
        stored.sort();
        QCOMPARE(stored, expected);
#endif
    }
};

QTEST_GUILESS_MAIN(HelpCollectionTest)
#include "helpcollection_test.moc"
