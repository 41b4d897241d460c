// The edit dock, driven by short scripts of what a user does (choose a category or an item, ask
// for a new item, type into a row, press Apply or Delete) and checked on what the dock then shows
// and what the scene holds after the document's next frame. The same script language drives a
// seeded "monkey": hundreds of random steps on the default scene and on an empty one, after each
// Apply of which the document must take the edits over, save, and load again to the same scene.
#include "ui/dockeditobjects.h"

#include <algorithm>
#include <functional>
#include <memory>

#include "engine/docrt.h"
#include "scene/colblackbody.h"
#include "scene/coldiscrete.h"
#include "scene/rtobjdisk.h"
#include "scene/rtobjplane.h"
#include "scene/texturesingle.h"
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

// Texts a user might type into any row: good and bad numbers, vectors, spectra, names of items
// the scenes hold (or held), names that need escaping in the file, and empty text.
const QStringList kMonkeyTexts =
    QString(
        "|0|-1|0.5|3|1e30|nan|inf|abc|<1;2;-8;0>|<0;0;0;0>|1;x;3;4|(500;1)(700;2)|(450;10)|"
        "(500;1)(600)|6500|default|sarsen|grass|new|a <b> & \"c\"|missing.png")
        .split('|');

QStringList comboTexts(const QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
    return texts;
}

// One ray's pixel of a colour (unit shading) at a Doppler factor.
uint32_t pixelOf(const ColDiscrete& color, const Eye& eye, float doppler) {
    uint32_t out = 0;
    const float shade = 1.0f;
    color.toPixel(eye, &out, &doppler, &shade);
    return out;
}

// A document with a scene loaded and the dock in a window, and the script language.
struct Dock {
    QTemporaryDir dir;
    DocRT doc;
    QWidget window;
    DockEditObjects* dock = new DockEditObjects(&window, &doc);

    QString file(const QString& name) {
        if (name == "stonehenge") return TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge.tavolin";
        const QString path = dir.filePath(name + ".tavolin");
        writeFile(path, name == "empty" ? "<tavolinfile>\n</tavolinfile>\n" : kScene);
        return path;
    }
    explicit Dock(const QString& scene) {
        run("load " + scene);
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

    // Steps separated by " | ": cat N, item N, new N (entry of the New menu), row N=TEXT,
    // pick N=I (entry I of row N's name list), apply, delete, key (the Delete key with the focus
    // in row 0; in the item list: the end-to-end test), frame (the document's next frame), load
    // NAME.
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
            else if (verb == "pick")
                row(n)->comboBox()->setCurrentIndex(text.toInt());
            else if (verb == "apply" || verb == "delete")
                QTest::mouseClick(verb == "apply" ? static_cast<QWidget*>(dock->applyButton())
                                                  : dock->deleteButton(),
                                  Qt::LeftButton);
            else if (verb == "frame")
                doc.applyPendingChanges();
            else if (verb == "load") {
                QVERIFY(doc.loadFile(file(arg)));
                doc.applyPendingChanges();
            } else if (verb == "key") {
                window.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&window));
                row(0)->lineEdit()->setFocus();
                QTest::keyClick(row(0)->lineEdit(), Qt::Key_Delete);
            } else
                QFAIL(qPrintable("unknown step " + step));
        }
    }
};

using Check = std::function<void(Dock&)>;

}  // namespace

Q_DECLARE_METATYPE(Check)

class DockEditObjectsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { quietOffscreenWarnings(); }

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
        // Each category lists its scene's items.
        add("objects", "item 1", "ground,ball,moon", "ball,<0;0;-5;0>,0.5", "", "", none);
        add("colours", "cat 1", "default,warm", "*", "", "", none);
        add("textures", "cat 2", "plain", "plain,warm", "", "", none);
        // A new item is recorded by Apply, listed at once, and enters the scene at the next
        // frame, updated (derived fields follow the radius).
        add("new sphere", "new 2 | row 0=sun | row 1=<1;2;-8;0> | row 2=3 | row 3=plain | apply",
            "ground,ball,moon,sun", "sun", "", "", [](Dock& d) {
                QVERIFY(!d.sphere("sun"));
                QSignalSpy rebuilt(&d.doc, &DocRT::sceneContentChanged);
                d.run("frame");
                QCOMPARE(rebuilt.count(), 1);
                QCOMPARE(d.sphere("sun")->center.z, -8.0f);
                QCOMPARE(d.sphere("sun")->radius2, 9.0f);
                QCOMPARE(d.dock->itemCombo()->currentText(), QString("sun"));
            });
        // A new disk sits at the document's black hole and is shaded with its own colour.
        add("new disk", "new 3 | row 0=glow | row 2=12 | row 4=8000 | apply | frame",
            "ground,ball,moon,glow", "glow", "", "", [](Dock& d) {
                rtObjDisk* disk = objectNamed<rtObjDisk>(d.doc, "glow");
                QVERIFY(disk);
                QCOMPARE(disk->rout, 12.0f);
                QCOMPARE(disk->tmax, 8000.0f);
                QCOMPARE(disk->rs, d.doc.getSettings()->bhradius);
                QCOMPARE(disk->innerRadius(), 3.0f * d.doc.getSettings()->bhradius);
                const auto& shaded = d.scene().shadedColors;
                QVERIFY(std::find(shaded.begin(), shaded.end(), disk->ownColor()) != shaded.end());
            });
        add("typed but not applied", "new 2 | row 0=sun | frame", "*", "*", "", "",
            [](Dock& d) { QVERIFY(!d.sphere("sun")); });
        add("second new item discards the first",
            "new 2 | row 0=first | new 0 | row 0=second | apply | frame", "ground,ball,moon,second",
            "second", "", "", [](Dock& d) { QVERIFY(!d.sphere("second")); });
        // The dock stays on the edited item before and after the frame takes the change over.
        add("change stays selected", "cat 1 | item 1 | row 0=(500;1)(700;2) | apply | frame",
            "default,warm", "(500;1)(700;2),warm", "", "", [](Dock& d) {
                QCOMPARE(d.scene().colors.get("warm")->intensities, std::vector<float>({1, 2}));
            });
        add("new colour", "cat 1 | new 0 | row 0=(450;10) | row 1=blue | apply | frame",
            "default,warm,blue", "(450;10),blue", "", "", [](Dock& d) {
                QCOMPARE(d.scene().colors.get("blue")->wavelengths, std::vector<float>({450}));
            });
        // Name rows offer the scene's names (pending ones included) and take typed names too.
        add("name lists",
            "cat 2 | new 2 | row 0=flat | pick 1=1 | apply | cat 0 | item 1 | pick 3=1 | apply",
            "*", "ball", "", "", [](Dock& d) {
                QCOMPARE(comboTexts(d.row(3)->comboBox()), QStringList({"plain", "flat"}));
                d.run("frame");
                QCOMPARE(d.sphere("ball")->texture, d.scene().textures.get("flat"));
                auto* flat = dynamic_cast<TextureSingle*>(d.scene().textures.get("flat"));
                QCOMPARE(flat->color, d.scene().colors.get("warm"));
                d.run("row 3=later | apply | frame");
                QCOMPARE(d.sphere("ball")->texname, QString("later"));
            });
        // A spectrum shows one pair a line, all of them without scrolling, and reads back whole.
        add("spectrum", "cat 1", "*", "*", "", "", [](Dock& d) {
            QPlainTextEdit* spectrum = d.row(0)->multiLineEdit();
            QCOMPARE(spectrum->document()->blockCount(), 6);
            QCOMPARE(spectrum->verticalScrollBar()->maximum(), 0);
            QCOMPARE(d.row(0)->text(), d.scene().colors.items[0]->toSpectrumText());
            spectrum->setPlainText("(450;10)\n(650;20)");
            d.run("apply | frame");
            QCOMPARE(d.scene().colors.items[0]->wavelengths, std::vector<float>({450, 650}));
        });
        // Refused texts mark their rows, keep the text for correction and record nothing.
        const QString bad = "item 1 | row 1=1;x;3;4 | row 2=big | apply";
        add("bad vector and number", bad + " | frame", "*", "ball,1;x;3;4,big", "1,2", "",
            [](Dock& d) {
                QCOMPARE(d.sphere("ball")->radius, 0.5f);
                QVERIFY(!d.row(1)->errorText().isEmpty());
            });
        add("one corrected", bad + " | row 1=<1;2;-7;0> | apply", "*", "*", "2", "", none);
        add("both corrected", bad + " | row 1=<1;2;-7;0> | row 2=0.75 | apply | frame", "*", "*",
            "", "", [](Dock& d) { QCOMPARE(d.sphere("ball")->center.y, 2.0f); });
        add("spectrum pair without intensity", "cat 1 | row 0=(500;1)(600) | apply", "*", "*", "0",
            "", none);
        // Blackbody temperatures and luminances the colour cannot take.
        for (const char* t : {"0", "-100", "nan", "inf", "1e30", "2e6", "abc", ""})
            add(QString("temperature '%1'").arg(t),
                QString("cat 1 | new 1 | row 0=%1 | apply").arg(t), "default,warm", "*", "0", "",
                none);
        add("luminance -1", "cat 1 | new 1 | row 0=5000 | row 1=-1 | apply", "*", "*", "1", "",
            none);
        // A new blackbody gets a name no item (pending or taken over) has, and renders as a
        // blackbody made directly, under both kinds of eye and Doppler-shifted either way (its
        // colours themselves: the CIE test).
        add("blackbody", "cat 1 | new 1 | row 0=3200 | row 1=0.5 | apply | new 1",
            "default,warm,blackbody1", "*,*,blackbody2", "", "", [](Dock& d) {
                d.run("frame | cat 1 | new 1");
                QCOMPARE(d.row(2)->text(), QString("blackbody2"));
                auto* body = dynamic_cast<ColBlackbody*>(d.scene().colors.get("blackbody1"));
                const ColBlackbody reference("ref", 3200.0f, 0.5f);
                for (const Eye& eye : {defaultEye(), cieHumanEye()})
                    for (float doppler : {1.0f, 0.7f, 1.3f})
                        QCOMPARE(pixelOf(*body, eye, doppler), pixelOf(reference, eye, doppler));
            });
        // An existing blackbody: a refused edit keeps it, a good one regenerates its lines.
        add("blackbody edits",
            "cat 1 | new 1 | row 0=5000 | apply | frame | cat 1 | item 2 | row 0=nan | apply", "*",
            "nan", "0", "", [](Dock& d) {
                auto* body = dynamic_cast<ColBlackbody*>(d.scene().colors.get("blackbody1"));
                d.run("row 0=4500 | row 1=2 | apply | frame");
                QCOMPARE(dynamic_cast<ColBlackbody*>(d.scene().colors.get("blackbody1")), body);
                QCOMPARE(body->intensities, ColBlackbody("r", 4500.0f, 2.0f).intensities);
            });
        // Deleting keeps the selection's position; the last item's place goes to the new last.
        add("delete", "item 1 | delete", "ground,moon", "moon", "", "", [](Dock& d) {
            d.run("frame");
            QVERIFY(!d.sphere("ball") && d.sphere("moon"));
        });
        add("delete the last", "item 2 | delete | row 2=0.6 | apply | frame", "ground,ball", "ball",
            "", "", [](Dock& d) { QCOMPARE(d.sphere("ball")->radius2, 0.6f * 0.6f); });
        add("Delete key in a text field", "item 1 | key", "ground,ball,moon", "*", "", "", none);
        add("delete everything", "delete | delete | delete | delete | apply | frame", "", "*", "",
            "", [](Dock& d) { QCOMPARE(d.scene().objects.items.size(), size_t(0)); });
        // Another scene rebuilds the dock on the same category, dropping an unapplied edit.
        add("load", "cat 1 | new 0 | load empty", "default", "*", "", "",
            [](Dock& d) { QCOMPARE(d.dock->categoryCombo()->currentIndex(), 1); });
        // Crash A (a new object in a scene without textures) and crash B (deleting every texture
        // of the default scene) once ended the program at the next frame.
        const Check noObjects = [](Dock& d) {
            d.run("frame");
            QCOMPARE(d.scene().objects.items.size(), size_t(0));
            QVERIFY(d.current()->isActive());  // the rows stay for another try
        };
        add("crash A: sphere", "new 2 | apply", "", "*", "", "texture", noObjects, "empty");
        add("crash A: cube", "new 1 | apply", "", "*", "", "texture", noObjects, "empty");
        const QString deleteAll = "cat 2 | delete | delete | delete | delete | delete | frame";
        add(
            "crash B", deleteAll, "*", "*", "", "texture",
            [](Dock& d) { QCOMPARE(d.scene().textures.items.size(), size_t(1)); }, "stonehenge");
        add(
            "a texture first, then the sphere",
            "cat 2 | new 2 | row 0=lawn | apply | cat 0 | new 2 | apply | frame", "", "*", "", "",
            [](Dock& d) {
                auto* ball = dynamic_cast<rtObjSphere<1>*>(d.scene().objects.items.at(0));
                QCOMPARE(ball->texture, d.scene().textures.get("lawn"));
            },
            "empty");
        // What the dock accepts saves to a file that loads back the same; a value no scene file
        // may hold is refused at its rows (the monkey takes every Apply over at once). From the
        // empty scene a texture comes first; object
        // rows: name, pos or center, a plane's or cube's edges x, y (z) and sizes, a radius.
        const Check reloads = [](Dock& d) {
            const size_t objects = d.current()->editsNewItem() ? 0 : 1;  // the new item refused?
            d.run("frame");
            const QString problem = d.reloadProblem();
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
            QCOMPARE(d.scene().objects.items.size(), objects);
        };
        const QString texture = "cat 2 | new 0 | apply | frame | cat 0 | ";
        add("a monkey's zero edge",
            "cat 2 | new 2 | apply | frame | apply | frame | delete | new 0 | apply | frame | "
            "cat 0 | new 2 | cat 0 | new 1 | row 2=<0;0;0;0> | apply",
            "", "*", "2", "", reloads, "empty");
        add("flat cube", texture + "new 1 | row 4=<1;1;0;0> | apply", "", "*", "2,3,4", "", reloads,
            "empty");
        add("parallel edges", texture + "new 0 | row 2=<1;0;0;0> | row 3=<-2;0;0;0> | apply", "",
            "*", "2,3", "", reloads, "empty");
        add("radius 0", texture + "new 2 | row 2=0 | apply", "", "*", "2", "", reloads, "empty");
        add("as fast as light", texture + "new 2 | row 4=<0.6;0.8;0;0> | apply", "", "*", "4", "",
            reloads, "empty");
        add("size nan", texture + "new 1 | row 6=nan | apply", "", "*", "6", "", reloads, "empty");
        // The accretion disk's rows: name, normal, rout, rin, tmax.
        add("disk rin not below rout", texture + "new 3 | row 2=2 | row 3=3 | apply", "", "*",
            "2,3", "", reloads, "empty");
        add("disk without a normal", texture + "new 3 | row 1=<0;0;0;0> | apply", "", "*", "1", "",
            reloads, "empty");
        add("disk rin negative", texture + "new 3 | row 3=-1 | apply", "", "*", "3", "", reloads,
            "empty");
        add("disk too cold", texture + "new 3 | row 4=100 | apply", "", "*", "4", "", reloads,
            "empty");
        add("disk rout 0", texture + "new 3 | row 2=0 | apply", "", "*", "2", "", reloads, "empty");
        add("size inf", texture + "new 0 | row 4=inf | apply", "", "*", "4", "", reloads, "empty");
        add("empty names", texture + "new 1 | row 0= | row 2=<2;0;0;0> | row 8= | apply", "*",
            ",*,<2;0;0;0>", "", "", reloads, "empty");
        // "default" stands in for missing colour names: it may change, not go or be renamed.
        add("default colour deleted", "cat 1 | delete", "default,warm", "*", "", "default", none);
        add("the last colour stays", "cat 1 | delete", "default", "*", "", "colour", none, "empty");
        add("default colour renamed", "cat 1 | row 1=green | apply", "*", "*", "", "default", none,
            "empty");
        add(
            "default colour changed", "cat 1 | row 0=(550;100) | apply | frame", "default", "*", "",
            "",
            [](Dock& d) {
                QCOMPARE(d.scene().colors.items[0]->wavelengths, std::vector<float>({550}));
            },
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
        if (items != "*") QCOMPARE(comboTexts(d.dock->itemCombo()).join(','), items);
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

    // The document's own guard, for edits recorded without asking the dock.
    void documentDropsEditsTheSceneCannotTake() {
        Dock d("small");
        QStringList reports;
        DocRT::setErrorReporter([&](const QString& title, const QString&) { reports << title; });
        const QString before = d.doc.sceneText();
        d.scene().textures.recordRemoval(d.scene().textures.items[0]);
        QSignalSpy edited(&d.doc, &DocRT::sceneEdited);
        d.run("frame");
        DocRT::setErrorReporter(DocRT::ErrorReporter());
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].startsWith("Scene not changed"));
        QCOMPARE(d.doc.sceneText(), before);
        QCOMPARE(edited.count(), 0);
    }

    // Hundreds of random steps on the default scene and on an empty one: after each Apply the
    // document takes the edits over without a report, saves, and loads again to the same scene.
    void monkeySurvivesRandomSteps_data() {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u}) {
            QTest::addRow("default scene, seed %u", seed) << "stonehenge" << seed;
            QTest::addRow("empty scene, seed %u", seed) << "empty" << seed;
        }
    }

    void monkeySurvivesRandomSteps() {
        QFETCH(QString, scene);
        QFETCH(quint32, seed);
        QStringList reports;
        DocRT::setErrorReporter([&](const QString& t, const QString& x) { reports << t + x; });
        Dock d(scene);
        QRandomGenerator random(seed);
        QStringList log;  // the steps so far, shown when one fails
        int applies = 0;
#if defined(__SANITIZE_ADDRESS__)
        const int steps = 100;  // ten times slower under AddressSanitizer
#else
        const int steps = 300;
#endif
        auto pick = [&](qsizetype n) { return int(random.bounded(int(n))); };
        for (int i = 0; i <= steps; ++i) {
            QString step = i == steps ? "apply" : "";
            switch (i == steps ? 5 : pick(8)) {
                case 0:
                    step = QString("cat %1").arg(pick(d.dock->categoryCombo()->count()));
                    break;
                case 1:
                    if (const int items = d.dock->itemCombo()->count())
                        step = QString("item %1").arg(pick(items));
                    break;
                case 2:
                    step = QString("new %1").arg(pick(d.dock->newItemMenu()->actions().size()));
                    break;
                case 3:
                case 4:
                    if (const int rows = d.rowCount())
                        step = QString("row %1=%2")
                                   .arg(pick(rows))
                                   .arg(kMonkeyTexts[pick(kMonkeyTexts.size())]);
                    break;
                case 7:
                    step = "delete";
                    break;
                default:
                    step = "apply";
            }
            if (step.isEmpty()) continue;
            log << step;
            if (i < steps) d.run(step);  // the last round only checks what the document holds
            if (step != "apply") continue;
            ++applies;
            d.run("frame");
            const QString problem = d.reloadProblem();
            const QString context = log.mid(log.size() - 12).join(" | ") + "\n" + reports.join(' ');
            QVERIFY2(reports.isEmpty() && problem.isEmpty(), qPrintable(context + "\n" + problem));
        }
        DocRT::setErrorReporter(DocRT::ErrorReporter());
        QVERIFY(applies > steps / 10);  // the sequence did reach the document often
    }
};

TAVOLIN_UI_TEST_MAIN(DockEditObjectsTest)
#include "dockeditobjects_test.moc"
