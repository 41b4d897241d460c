// The edit dock, driven by short scripts of what a user does and checked on what the dock then
// shows and what the scene holds after the document's next frame; the same steps drive a seeded
// "monkey", after each Apply of which the scene must save and load again to the same scene.
#include "ui/dockeditobjects.h"

#include <functional>

#include "engine/docrt.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/editableobj.h"

namespace {

// Three objects (ground, ball, moon), the colours "default" and "warm", the texture "plain".
const char* kScene = R"(<tavolinfile>
  <plane><name>ground</name><pos>-5;-1;0;0</pos><x>10;0;0;0</x><y>0;0;-10;0</y>
    <sx>5</sx><sy>5</sy><texname>plain</texname></plane>
  <sphere><name>ball</name><center>0;0;-5;0</center><radius>0.5</radius>
    <texname>plain</texname></sphere>
  <sphere><name>moon</name><center>2;1;-6;0</center><radius>0.25</radius>
    <texname>plain</texname></sphere>
  <newcolor><wavelength>(600;200)(730;190)</wavelength><colname>warm</colname></newcolor>
  <newtexturesingle><texname>plain</texname><color>warm</color></newtexturesingle>
</tavolinfile>
)";

// Texts a user might type into any row: good and bad numbers, vectors, spectra, names.
const QStringList kMonkeyTexts =
    QString(
        "|0|-1|0.5|3|1e30|nan|inf|abc|<1;2;-8;0>|<0;0;0;0>|1;x;3;4|(500;1)(700;2)|"
        "(500;1)(600)|6500|default|sarsen|new|a <b> & \"c\"")
        .split('|');

QString comboTexts(const QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
    return texts.join(',');
}

// A document with a scene loaded and the dock in a window, and the script language.
struct Dock {
    QTemporaryDir dir;
    DocRT doc;
    QWidget window;
    DockEditObjects* dock = new DockEditObjects(&window, &doc);

    explicit Dock(const QString& scene) {
        QString path = TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge.tavolin";
        if (scene != "stonehenge") {
            path = dir.filePath(scene + ".tavolin");
            writeFile(path, scene == "empty" ? "<tavolinfile>\n</tavolinfile>\n" : kScene);
        }
        run("load " + path);
        (new QVBoxLayout(&window))->addWidget(dock);
        window.resize(360, 700);
        window.show();
    }

    SceneData& scene() { return *doc.getSceneData(); }
    EditableObj* current() { return dock->currentEditor(); }
    int rowCount() {
        return current() && current()->editorRows() ? current()->editorRows()->rowCount() : 0;
    }
    PropertyRow* row(int i) { return current()->editorRows()->row(i); }
    rtObjSphere<1>* sphere(const QString& name) { return objectNamed(doc, name); }

    // Saves the document and loads the file again; what differs, or nothing.
    QString reloadProblem() {
        const QString saved = dir.filePath("edited.tavolin");
        if (!doc.saveFile(saved)) return "not saved";
        DocRT again;
        if (!again.loadFile(saved)) return "not loaded:\n" + readFile(saved);
        again.applyPendingChanges();
        return again.sceneText() == doc.sceneText() ? QString() : "loaded differently";
    }

    // Steps separated by " | ": cat N, item N, new N (entry of the New menu), row N=TEXT, apply,
    // delete, frame (the document's next frame), load FILE, undo (the scene as the last frame
    // left it restored, as the undo stack does, dropping the edits recorded since).
    void run(const QString& script) {
        for (const QString& step : script.split(" | ", Qt::SkipEmptyParts)) {
            const QString verb = step.section(' ', 0, 0), arg = step.section(' ', 1);
            const int n = arg.section('=', 0, 0).toInt();
            const QString text = arg.section('=', 1);
            if (verb == "cat")
                dock->categoryCombo()->setCurrentIndex(n);
            else if (verb == "item")
                dock->itemCombo()->setCurrentIndex(n);
            else if (verb == "new")
                dock->newItemMenu()->actions().at(n)->trigger();
            else if (verb == "row")
                row(n)->setText(text);
            else if (verb == "apply")
                QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
            else if (verb == "delete")
                QTest::mouseClick(dock->deleteButton(), Qt::LeftButton);
            else if (verb == "frame")
                doc.applyPendingChanges();
            else if (verb == "undo" && doc.restoreSceneText(doc.sceneText()))
                continue;
            else if (verb == "load" && doc.loadFile(arg))
                doc.applyPendingChanges();
            else
                QFAIL(qPrintable("step failed: " + step));
        }
    }
};

using Check = std::function<void(Dock&)>;

}  // namespace

Q_DECLARE_METATYPE(Check)

class DockEditObjectsTest : public QObject {
    Q_OBJECT

private slots:
    // {scene, script, the item list after it ("*": not checked), the first rows' texts ("*": not
    // checked), the rows marked as refused, the refusal line ("": hidden), further checks}.
    void scripts_data() {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("items");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("refusedRows");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<Check>("check");
        const Check none = [](Dock&) {};
        auto add = [](const QString& name, const QString& script, const char* items,
                      const char* rows, const char* refused, const char* refusal, Check check,
                      const char* scene = "small") {
            QTest::newRow(qPrintable(name))
                << QString(scene) << script << QString(items) << QString(rows) << QString(refused)
                << QString(refusal) << check;
        };
        add("objects", "item 1", "ground,ball,moon", "ball,<0;0;-5;0>,0.5", "", "", none);
        add("textures", "cat 2", "plain", "plain,warm", "", "", none);
        // A new item is listed at Apply and enters the scene at the next frame, updated.
        add("new sphere", "new 2 | row 0=sun | row 1=<1;2;-8;0> | row 2=3 | row 3=plain | apply",
            "ground,ball,moon,sun", "sun", "", "", [](Dock& d) {
                QVERIFY(!d.sphere("sun"));
                d.run("frame");
                QCOMPARE(d.sphere("sun")->radius2, 9.0f);
                QCOMPARE(d.dock->itemCombo()->currentText(), QString("sun"));
            });
        // Undone before the next frame, an addition leaves the list and the rows at once (the
        // dock goes on with the item now at its place): it neither names nor edits the item the
        // document dropped. At the frame the restored scene is listed, and edited as any other.
        add("new sphere undone", "new 2 | row 0=sun | row 3=plain | apply | undo",
            "ground,ball,moon", "moon", "", "", [](Dock& d) {
                d.run("frame | row 0=luna | apply | frame");
                const QString listed = comboTexts(d.dock->itemCombo());
                QVERIFY2(listed.contains("luna") && !listed.contains("sun"), qPrintable(listed));
            });
        add("edit undone", "item 2 | row 0=luna | apply | undo", "ground,ball,moon", "moon", "", "",
            none);
        // Refused texts mark their rows, keep the text for correction and record nothing.
        const QString bad = "item 1 | row 1=1;x;3;4 | row 2=big | apply";
        add("bad vector and number", bad + " | frame", "*", "ball,1;x;3;4,big", "1,2", "",
            [](Dock& d) { QCOMPARE(d.sphere("ball")->radius, 0.5f); });
        add("spectrum pair without intensity", "cat 1 | row 0=(500;1)(600) | apply", "*", "*", "0",
            "", none);
        add("temperature 0", "cat 1 | new 1 | row 0=0 | apply", "default,warm", "*", "0", "", none);
        // Deleting keeps the selection's position.
        add("delete", "item 1 | delete | frame", "ground,moon", "moon", "", "",
            [](Dock& d) { QVERIFY(!d.sphere("ball") && d.sphere("moon")); });
        // Another scene rebuilds the dock on the same category, dropping an unapplied edit.
        add("load",
            "cat 1 | new 0 | load " + QString(TAVOLIN_SOURCE_DIR "/tests/data/spheres8.tavolin"),
            "*", "*", "", "", [](Dock& d) {
                QCOMPARE(d.dock->categoryCombo()->currentIndex(), 1);
                QVERIFY(!d.current()->editsNewItem());
            });
        // Crash A (a new object in a scene without textures) and crash B (deleting every texture
        // of the default scene) once ended the program at the next frame.
        add(
            "crash A", "new 2 | apply | frame", "", "*", "", "texture",
            [](Dock& d) {
                QCOMPARE(d.scene().objects.items.size(), size_t(0));
                QVERIFY(d.current()->isActive());  // the rows stay for another try
            },
            "empty");
        add(
            "crash B", "cat 2 | delete | delete | delete | delete | delete | frame", "*", "*", "",
            "texture", [](Dock& d) { QCOMPARE(d.scene().textures.items.size(), size_t(1)); },
            "stonehenge");
        // What the dock accepts saves to a file that loads back the same; a value no scene file
        // may hold is refused at its rows. Object rows: name, pos or center, a plane's or cube's
        // edges x, y (z) and sizes, a radius; a disk's: name, normal, rout, rin, tmax.
        const Check reloads = [](Dock& d) {
            const size_t objects = d.current()->editsNewItem() ? 0 : 1;  // the new item refused?
            d.run("frame");
            const QString problem = d.reloadProblem();
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
            QCOMPARE(d.scene().objects.items.size(), objects);
        };
        const QString texture = "cat 2 | new 0 | apply | frame | cat 0 | ";
        const std::pair<QString, const char*> refusals[] = {
            {"new 1 | row 4=<1;1;0;0>", "2,3,4"},
            {"new 0 | row 2=<1;0;0;0> | row 3=<-2;0;0;0>", "2,3"},
            {"new 2 | row 2=0", "2"},
            {"new 2 | row 4=<0.6;0.8;0;0>", "4"},  // as fast as light
            {"new 3 | row 2=2 | row 3=3", "2,3"},
            {"new 1 | row 0= | row 2=<2;0;0;0> | row 8=", ""}};
        add("a monkey's zero edge",
            "cat 2 | new 2 | apply | frame | apply | frame | delete | new 0 | apply | frame | "
            "cat 0 | new 2 | cat 0 | new 1 | row 2=<0;0;0;0> | apply",
            "", "*", "2", "", reloads, "empty");
        for (const auto& [steps, refused] : refusals)
            add(steps, texture + steps + " | apply", "*", "*", refused, "", reloads, "empty");
        // "default" stands in for missing colour names: it may change, not go or be renamed.
        add("default colour deleted", "cat 1 | delete", "default,warm", "*", "", "default", none);
        add("the last colour stays", "cat 1 | delete", "default", "*", "", "colour", none, "empty");
        add("default colour renamed", "cat 1 | row 1=green | apply", "*", "*", "", "default", none,
            "empty");
    }

    void scripts() {
        QFETCH(QString, scene);
        QFETCH(QString, script);
        QFETCH(QString, items);
        QFETCH(QString, rows);
        QFETCH(QString, refusedRows);
        QFETCH(QString, refusal);
        QFETCH(Check, check);
        Dock d(scene);
        d.run(script);
        if (items != "*") QCOMPARE(comboTexts(d.dock->itemCombo()), items);
        const QStringList want = rows.split(',');
        for (int i = 0; rows != "*" && i < want.size(); ++i)
            if (want[i] != "*") QCOMPARE(d.row(i)->text(), want[i]);
        QStringList refused;
        for (int i = 0; i < d.rowCount(); ++i)
            if (d.row(i)->hasError()) refused << QString::number(i);
        QCOMPARE(refused.join(','), refusedRows);
        if (!refused.isEmpty() || !refusal.isEmpty()) QVERIFY(!d.scene().hasPendingChanges());
        QCOMPARE(d.dock->refusalLine()->isVisibleTo(&d.window), !refusal.isEmpty());
        QVERIFY2(d.dock->refusalLine()->text().contains(refusal),
                 qPrintable(d.dock->refusalLine()->text()));
        check(d);
    }

    // The document's own guard, for edits recorded without asking the dock. The report comes
    // after the dock has let go of the dropped items: a message box draws the dock again.
    void documentDropsEditsTheSceneCannotTake() {
        Dock d("small");
        QStringList reports, listedThen;
        DocRT::setErrorReporter([&](const QString& title, const QString&) {
            reports << title;
            QApplication::processEvents();
            listedThen << comboTexts(d.dock->itemCombo());
        });
        const QString before = d.doc.sceneText();
        d.run("new 2 | row 0=sun | row 3=plain | apply");
        d.scene().textures.recordRemoval(d.scene().textures.items[0]);
        d.run("frame");
        DocRT::setErrorReporter(DocRT::ErrorReporter());
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].startsWith("Scene not changed"));
        QCOMPARE(listedThen, QStringList{"ground,ball,moon"});
        QCOMPARE(d.doc.sceneText(), before);
    }

    // Random steps on the default scene and on an empty one: after each Apply the document takes
    // the edits over without a report, saves, and loads again to the same scene.
    void monkeySurvivesRandomSteps_data() {
        QTest::addColumn<QString>("scene");
        QTest::newRow("default scene") << "stonehenge";
        QTest::newRow("empty scene") << "empty";
    }

    void monkeySurvivesRandomSteps() {
        QFETCH(QString, scene);
        QStringList reports;
        DocRT::setErrorReporter([&](const QString& t, const QString& x) { reports << t + x; });
        Dock d(scene);
        QRandomGenerator random(1);
        QStringList log;  // the steps so far, shown when one fails
        auto pick = [&](qsizetype n) { return int(random.bounded(int(n))); };
        for (int i = 0; i < 400; ++i) {
            const int kind = pick(8), rows = d.rowCount(), items = d.dock->itemCombo()->count();
            QString step = "apply";
            if (kind == 0)
                step = QString("cat %1").arg(pick(d.dock->categoryCombo()->count()));
            else if (kind == 1 && items > 0)
                step = QString("item %1").arg(pick(items));
            else if (kind == 2)
                step = QString("new %1").arg(pick(d.dock->newItemMenu()->actions().size()));
            else if (kind < 5 && rows > 0)
                step = QString("row %1=%2")
                           .arg(pick(rows))
                           .arg(kMonkeyTexts[pick(kMonkeyTexts.size())]);
            else if (kind == 7)
                step = "delete";
            log << step;
            d.run(step);
            if (step != "apply") continue;
            d.run("frame");
            const QString problem = d.reloadProblem();
            const QString context = log.mid(log.size() - 12).join(" | ") + "\n" + reports.join(' ');
            QVERIFY2(reports.isEmpty() && problem.isEmpty(), qPrintable(context + "\n" + problem));
        }
        DocRT::setErrorReporter(DocRT::ErrorReporter());
    }
};

TAVOLIN_UI_TEST_MAIN(DockEditObjectsTest)
#include "dockeditobjects_test.moc"
