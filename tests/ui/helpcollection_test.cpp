// Tests of the help pages and the compiled help collection: every page the program asks for
// exists, every link and anchor resolves, the project lists every page, and the built .qch (an
// SQLite database of compressed pages) holds the current pages under the addresses used.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <QtTest>

#include "tests/ui/uitesthelpers.h"

#ifdef TAVOLIN_HAVE_QTSQL
#include <QSqlDatabase>
#include <QSqlQuery>
#endif

namespace {

const QString helpDir = QStringLiteral(TAVOLIN_SOURCE_DIR) + "/docs/help";
const QString projectFile = QStringLiteral(TAVOLIN_SOURCE_DIR) + "/docs/tavolinhelp.qhp";

// The pages the program shows: the main window's Help and the dialogs' Help buttons.
const QStringList programPages = {"index.html", "dlgwavelength.html", "dlgrenderoptions.html",
                                  "dlgscreenshot.html", "dlgfilm.html"};

QStringList matches(const QString& text, const QString& pattern) {
    QStringList out;
    QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext()) out << it.next().captured(1);
    return out;
}

// Anchors a page defines with <a name="..."> or id="...".
QSet<QString> anchorsOf(const QString& page) {
    const QString text = QString::fromUtf8(readFile(helpDir + "/" + page));
    const QStringList names =
        matches(text, "<a\\s+name=\"([^\"]+)\"") + matches(text, "\\sid=\"([^\"]+)\"");
    return QSet<QString>(names.begin(), names.end());
}

// Checks that a reference "page#anchor" (relative to the help folder) names an existing page
// and, if it has one, an anchor defined there.
QString brokenReason(const QString& from, const QString& ref) {
    const int hash = ref.indexOf('#');
    const QString file = hash < 0 ? ref : ref.left(hash);
    const QString page = file.isEmpty() ? from : file;
    if (!QFileInfo::exists(helpDir + "/" + page)) return from + " -> " + ref + ": no such page";
    if (hash >= 0 && !anchorsOf(page).contains(ref.mid(hash + 1)))
        return from + " -> " + ref + ": no such anchor";
    return {};
}

}  // namespace

class HelpCollectionTest : public QObject {
    Q_OBJECT

private slots:
    void everyPageTheProgramShowsExists() {
        for (const QString& page : programPages) {
            QVERIFY2(QFileInfo(helpDir + "/" + page).size() > 1000, qPrintable(page));
            const QString text = QString::fromUtf8(readFile(helpDir + "/" + page));
            QVERIFY2(text.contains("<title>"), qPrintable(page));
            QVERIFY2(text.contains("href=\"tavolin.css\""), qPrintable(page));
        }
    }

    void indexLinksEveryDialogPage() {
        const QStringList links = matches(QString::fromUtf8(readFile(helpDir + "/index.html")),
                                          "href=\"([^\"#]+)[^\"]*\"");
        for (const QString& page : programPages.mid(1))
            QVERIFY2(links.contains(page), qPrintable(page));
    }

    void everyLinkAndAnchorResolves() {
        const QStringList pages = QDir(helpDir).entryList({"*.html"}, QDir::Files);
        QVERIFY(pages.size() >= programPages.size());
        int checked = 0;
        for (const QString& page : pages) {
            const QString text = QString::fromUtf8(readFile(helpDir + "/" + page));
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
        QFile qhp(projectFile);
        QVERIFY(qhp.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&qhp);
        QString ns, folder;
        QStringList files, refs;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) continue;
            const QStringView name = xml.name();
            if (name == u"namespace")
                ns = xml.readElementText();
            else if (name == u"virtualFolder")
                folder = xml.readElementText();
            else if (name == u"file")
                files << xml.readElementText();
            else if (name == u"section" || name == u"keyword")
                refs << xml.attributes().value("ref").toString();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(ns, QString("tavolindoc"));
        QCOMPARE(folder, QString("doc"));

        QStringList expected = QDir(helpDir).entryList({"*.html", "*.css"}, QDir::Files);
        for (QString& f : expected) f.prepend("output/");
        expected.sort();
        files.sort();
        QCOMPARE(files, expected);

        QVERIFY(refs.size() > 20);
        for (const QString& ref : refs) {
            QVERIFY2(ref.startsWith("output/"), qPrintable(ref));
            const QString reason = brokenReason("tavolinhelp.qhp", ref.mid(7));
            QVERIFY2(reason.isEmpty(), qPrintable(reason));
        }
    }

    void builtCollectionHoldsTheCurrentPages() {
#ifndef TAVOLIN_HELP_COLLECTION_BUILT
        QSKIP("qhelpgenerator was not found at configure time; the collection is not built");
#else
        const QString bin = QCoreApplication::applicationDirPath();
        const QString qhc = bin + "/tavolinhelp.qhc";
        const QString qch = bin + "/tavolinhelp.qch";
        QVERIFY(QFileInfo(qhc).size() > 0);
        QVERIFY(QFileInfo(qch).size() > 0);
#ifndef TAVOLIN_HAVE_QTSQL
        QSKIP("QtSql is not available to read the collection");
#else
        if (!QSqlDatabase::isDriverAvailable("QSQLITE")) QSKIP("no SQLite driver for QtSql");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "qch");
            db.setDatabaseName(qch);
            db.setConnectOptions("QSQLITE_OPEN_READONLY");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT Name FROM NamespaceTable"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QString("tavolindoc"));
            QVERIFY(q.exec("SELECT Name FROM FolderTable"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QString("doc"));

            // Each page is stored once, compressed with qCompress, byte for byte as in the
            // source folder: a stale build would differ.
            QStringList stored;
            QVERIFY(
                q.exec("SELECT n.Name, d.Data FROM FileNameTable n "
                       "JOIN FileDataTable d ON d.Id = n.FileId"));
            while (q.next()) {
                const QString name = q.value(0).toString();
                if (name.isEmpty()) continue;  // qhelpgenerator's empty first entry
                stored << name;
                QVERIFY2(name.startsWith("output/"), qPrintable(name));
                QCOMPARE(qUncompress(q.value(1).toByteArray()),
                         readFile(helpDir + "/" + name.mid(7)));
            }
            for (const QString& page : programPages)
                QVERIFY2(stored.contains("output/" + page), qPrintable(page));
            db.close();
        }
        QSqlDatabase::removeDatabase("qch");
        {
            // The collection registers the pages relative to itself, so the program folder can
            // move.
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "qhc");
            db.setDatabaseName(qhc);
            db.setConnectOptions("QSQLITE_OPEN_READONLY");
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT Name, FilePath FROM NamespaceTable"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QString("tavolindoc"));
            QCOMPARE(q.value(1).toString(), QString("tavolinhelp.qch"));
            QVERIFY(!q.next());
            db.close();
        }
        QSqlDatabase::removeDatabase("qhc");
#endif
#endif
    }
};

QTEST_GUILESS_MAIN(HelpCollectionTest)

#include "helpcollection_test.moc"
