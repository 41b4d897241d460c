// A seeded "monkey" on the edit dock: a few hundred random choices, new items, typed texts,
// applies and deletions on the default scene and on an empty one. The program must survive every
// sequence, and after every apply the document must take the edits over at a frame, save, and
// load again to the same scene.
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QToolButton>
#include <memory>

#include "engine/docrt.h"
#include "scene/scenedata.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/dockeditobjects.h"
#include "ui/editableobj.h"

namespace {

// Texts a user might type into any row: good and bad numbers, vectors, spectra, names of items
// the scenes hold (or held), names that need escaping in the file, and empty text.
const char* const kTexts[] = {"",
                              "0",
                              "-1",
                              "0.5",
                              "3",
                              "1e30",
                              "nan",
                              "inf",
                              "abc",
                              "<1;2;-8;0>",
                              "<0;0;0;0>",
                              "1;x;3;4",
                              "(500;1)(700;2)",
                              "(450;10)",
                              "(500;1)(600)",
                              "6500",
                              "default",
                              "sarsen",
                              "grass",
                              "new",
                              "a <b> & \"c\"",
                              "missing.png"};

const char* const kEmptyScene = "<tavolinfile>\n</tavolinfile>\n";

}  // namespace

class DockMonkeyTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QStringList log;  // the actions of the running sequence, shown when it fails

    // Takes the recorded edits over, saves, loads the file into a second document and compares
    // both scenes' text. Returns the reason for a failure, empty when all held.
    QString frameSaveAndReload(DocRT& doc, QStringList& reports) {
        doc.applyPendingChanges();
        if (!reports.isEmpty()) return QStringLiteral("the document reported: ") + reports.join('|');
        const QString file = dir.filePath(QStringLiteral("monkey.tavolin"));
        if (!doc.saveFile(file)) return QStringLiteral("the scene was not saved");
        DocRT again;
        if (!again.loadFile(file)) return QStringLiteral("the saved scene did not load: ") +
                                          reports.join('|');
        again.applyPendingChanges();
        const QStringList reloaded = again.sceneText().split('\n');
        const QStringList saved = doc.sceneText().split('\n');
        for (int i = 0; i < std::max(reloaded.size(), saved.size()); ++i)
            if (reloaded.value(i) != saved.value(i))
                return QStringLiteral("the reloaded scene differs at line %1:\n").arg(i + 1) +
                       saved.mid(std::max(0, i - 4), 6).join('\n') + QStringLiteral("\n---\n") +
                       reloaded.mid(std::max(0, i - 4), 6).join('\n');
        return QString();
    }

private slots:
    void initTestCase() {
        quietOffscreenWarnings();
        QVERIFY(dir.isValid());
    }

    void survivesRandomActions_data() {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<quint32>("seed");
        const QString defaultScene =
            QStringLiteral(TAVOLIN_SOURCE_DIR) + "/resources/scenes/stonehenge.tavolin";
        const QString emptyScene = dir.filePath(QStringLiteral("empty.tavolin"));
        QFile out(emptyScene);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(kEmptyScene);
        out.close();
        for (quint32 seed : {1u, 2u, 3u}) {
            QTest::addRow("default scene, seed %u", seed) << defaultScene << seed;
            QTest::addRow("empty scene, seed %u", seed) << emptyScene << seed;
        }
    }

    void survivesRandomActions() {
        QFETCH(QString, scene);
        QFETCH(quint32, seed);
        QStringList reports;
        DocRT::setErrorReporter(
            [&reports](const QString& title, const QString& text) { reports << title + text; });
        DocRT doc;
        QVERIFY(doc.loadFile(scene));
        doc.applyPendingChanges();
        QWidget window;
        auto* dock = new DockEditObjects(&window, &doc);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(dock);
        window.resize(360, 700);
        window.show();

        QRandomGenerator random(seed);
        log.clear();
        int applies = 0;
#if defined(__SANITIZE_ADDRESS__)
        const int steps = 100;  // ten times slower under AddressSanitizer; CI runs it there
#else
        const int steps = 300;
#endif
        for (int step = 0; step < steps; ++step) {
            const int action = random.bounded(8);
            switch (action) {
            case 0: {
                const int category = random.bounded(dock->categoryCombo()->count());
                log << QStringLiteral("category %1").arg(category);
                dock->categoryCombo()->setCurrentIndex(category);
                break;
            }
            case 1: {
                const int count = dock->itemCombo()->count();
                if (count == 0) break;
                const int item = random.bounded(count);
                log << QStringLiteral("item %1").arg(item);
                dock->itemCombo()->setCurrentIndex(item);
                break;
            }
            case 2: {
                const QList<QAction*> kinds = dock->newItemMenu()->actions();
                const int kind = random.bounded(int(kinds.size()));
                log << QStringLiteral("new ") + kinds.at(kind)->text();
                kinds.at(kind)->trigger();
                break;
            }
            case 3:
            case 4: {
                EditableObj* shown = dock->currentEditor();
                if (!shown || !shown->editorRows() || shown->editorRows()->rowCount() == 0) break;
                const int row = random.bounded(shown->editorRows()->rowCount());
                const char* text = kTexts[random.bounded(int(std::size(kTexts)))];
                log << QStringLiteral("row %1 = '%2'").arg(row).arg(QString::fromUtf8(text));
                shown->editorRows()->row(row)->setText(QString::fromUtf8(text));
                break;
            }
            case 5:
            case 6: {
                log << QStringLiteral("apply");
                QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
                ++applies;
                const QString failure = frameSaveAndReload(doc, reports);
                QVERIFY2(failure.isEmpty(), qPrintable(log.mid(log.size() - 12).join(", ") + "\n" + failure));
                break;
            }
            case 7:
                log << QStringLiteral("delete");
                QTest::mouseClick(dock->deleteButton(), Qt::LeftButton);
                break;
            }
        }
        const QString failure = frameSaveAndReload(doc, reports);
        QVERIFY2(failure.isEmpty(), qPrintable(log.mid(log.size() - 12).join(", ") + "\n" + failure));
        DocRT::setErrorReporter(DocRT::ErrorReporter());
        QVERIFY(applies > steps / 10);  // the sequence did reach the document often
    }
};

TAVOLIN_UI_TEST_MAIN(DockMonkeyTest)
#include "dockmonkey_test.moc"
