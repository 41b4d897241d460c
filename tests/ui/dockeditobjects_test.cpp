// The edit dock against a small loaded scene: rows generated from the items, edits that reach
// the scene only through the change lists at the document's next frame, refused texts, new and
// deleted items, the rebuild after every change, and blackbody colours.
#include "ui/dockeditobjects.h"

#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <memory>

#include "engine/docrt.h"
#include "geometry/programmingerror.h"
#include "scene/colblackbody.h"
#include "scene/coldiscrete.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "scene/texturesingle.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/editableobj.h"

namespace {

const char* kScene = R"(<tavolinfile>
  <renderSettings>
    <start>0;0;0;0</start>
    <lookat>0;0;-1;0</lookat>
    <dirx>1;0;0;0</dirx>
    <diry>0;1;0;0</diry>
    <bhpos>0;0;-5;0</bhpos>
    <bhradius>0.1</bhradius>
  </renderSettings>
  <plane>
    <name>ground</name>
    <pos>-5;-1;0;0</pos>
    <x>10;0;0;0</x>
    <y>0;0;-10;0</y>
    <sx>5</sx>
    <sy>5</sy>
    <texname>plain</texname>
  </plane>
  <sphere>
    <name>ball</name>
    <center>0;0;-5;0</center>
    <radius>0.5</radius>
    <texname>plain</texname>
  </sphere>
  <sphere>
    <name>moon</name>
    <center>2;1;-6;0</center>
    <radius>0.25</radius>
    <texname>plain</texname>
  </sphere>
  <newcolor>
    <wavelength>(600;200)(730;190)</wavelength>
    <colname>warm</colname>
  </newcolor>
  <newtexturesingle>
    <texname>plain</texname>
    <color>warm</color>
  </newtexturesingle>
</tavolinfile>
)";

QStringList comboTexts(const QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
    return texts;
}

template <class T>
T* findByName(const std::vector<T*>& items, const QString& name) {
    for (T* item : items)
        if (item->name == name) return item;
    return nullptr;
}

// One ray's pixel of a colour (unit shading) at a Doppler factor.
uint32_t pixelOf(const ColDiscrete& color, const Eye& eye, float doppler) {
    uint32_t out = 0;
    const float shade = 1.0f;
    color.toPixel(eye, &out, &doppler, &shade);
    return out;
}

}  // namespace

class DockEditObjectsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    std::unique_ptr<DocRT> doc;
    std::unique_ptr<QWidget> window;
    DockEditObjects* dock = nullptr;

    SceneData& scene() { return *doc->getSceneData(); }
    EditableObj* current() { return dock->currentEditor(); }
    PropertyRow* row(int i) { return current()->editorRows()->row(i); }
    void chooseNew(int kind) { dock->newItemMenu()->actions().at(kind)->trigger(); }
    QString writeScene(const QString& name, const QByteArray& text) {
        const QString file = dir.filePath(name);
        QFile out(file);
        if (out.open(QIODevice::WriteOnly)) out.write(text);
        return file;
    }
    void layOut() {
        window->resize(360, 700);
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase() { quietOffscreenWarnings(); }

    void init() {
        QVERIFY(dir.isValid());
        doc = std::make_unique<DocRT>();
        QVERIFY(doc->loadFile(writeScene("dock.tavolin", kScene)));
        QVERIFY(doc->applyPendingChanges());
        window = std::make_unique<QWidget>();
        dock = new DockEditObjects(window.get(), doc.get());
        auto* layout = new QVBoxLayout(window.get());
        layout->addWidget(dock);
        window->show();
        layOut();
    }

    void cleanup() {
        window.reset();
        doc.reset();
    }

    // Each category lists its scene's items; exactly one adapter edits, on the shown item.
    void listsTheScenesItemsAndShowsTheirRows() {
        QCOMPARE(comboTexts(dock->itemCombo()), QStringList({"ground", "ball", "moon"}));
        dock->itemCombo()->setCurrentIndex(1);
        QCOMPARE(row(0)->text(), QString("ball"));
        QCOMPARE(row(1)->text(), QString("<0;0;-5;0>"));
        QCOMPARE(row(2)->text(), QString("0.5"));
        saveShotIfAsked(window.get(), "dock-sphere");
        dock->categoryCombo()->setCurrentIndex(1);
        QCOMPARE(comboTexts(dock->itemCombo()), QStringList({"default", "warm"}));
        dock->categoryCombo()->setCurrentIndex(2);
        QCOMPARE(comboTexts(dock->itemCombo()), QStringList({"plain"}));
        for (int c = 0; c < dock->editorCount(); ++c) QCOMPARE(dock->editor(c)->isActive(), c == 2);
        QCOMPARE(row(1)->text(), QString("warm"));
    }

    void newSphereEntersTheSceneOnlyAfterApplyAndTheNextFrame() {
        chooseNew(2);
        QVERIFY(!scene().hasPendingChanges());

        row(0)->setText("sun");
        row(1)->setText("<1;2;-8;0>");
        row(2)->setText("3");
        row(3)->setText("plain");
        QVERIFY(!doc->applyPendingChanges());
        QCOMPARE(scene().objects.items.size(), size_t(3));  // choosing alone records nothing

        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QCOMPARE(scene().objects.pendingAdditions().size(), size_t(1));
        QCOMPARE(scene().objects.items.size(), size_t(3));
        // The dock lists the pending addition already.
        QCOMPARE(comboTexts(dock->itemCombo()), QStringList({"ground", "ball", "moon", "sun"}));

        QSignalSpy rebuilt(doc.get(), &DocRT::sceneContentChanged);
        doc->applyPendingChanges();
        QCOMPARE(rebuilt.count(), 1);
        QCOMPARE(scene().objects.items.size(), size_t(4));
        auto* sun = dynamic_cast<rtObjSphere<1>*>(findByName(scene().objects.items, "sun"));
        QVERIFY(sun);
        QCOMPARE(sun->center.x, 1.0f);
        QCOMPARE(sun->center.z, -8.0f);
        QCOMPARE(sun->radius, 3.0f);
        // The addition was updated before it entered the scene: derived fields follow radius.
        QCOMPARE(sun->radius2, 9.0f);
        QCOMPARE(sun->invRadius, 1.0f / 3.0f);
    }

    void dockStaysOnTheEditedItemWhenAChangeIsTakenOver() {
        dock->categoryCombo()->setCurrentIndex(1);
        dock->itemCombo()->setCurrentIndex(1);
        QCOMPARE(row(1)->text(), QString("warm"));
        row(0)->setText("(500;1)(700;2)");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QCOMPARE(dock->categoryCombo()->currentIndex(), 1);
        QCOMPARE(dock->itemCombo()->currentIndex(), 1);
        QCOMPARE(row(0)->text(), QString("(500;1)(700;2)"));
        ColDiscrete* warm = findByName(scene().colors.items, "warm");
        QCOMPARE(warm->count(), 2);
        QCOMPARE(warm->wavelengths[0], 600.0f);

        doc->applyPendingChanges();
        QCOMPARE(warm->wavelengths, std::vector<float>({500.0f, 700.0f}));
        QCOMPARE(warm->intensities, std::vector<float>({1.0f, 2.0f}));
        // After the frame too: the rows were rebuilt from the changed scene.
        QCOMPARE(dock->categoryCombo()->currentIndex(), 1);
        QCOMPARE(dock->itemCombo()->currentIndex(), 1);
        QCOMPARE(row(0)->text(), QString("(500;1)(700;2)"));
        QVERIFY(dock->editor(1)->isActive());
        QVERIFY(!dock->editor(0)->isActive());

        // A new item applied is the one edited afterwards, before and after the frame.
        dock->categoryCombo()->setCurrentIndex(0);
        chooseNew(2);
        row(0)->setText("sun");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QCOMPARE(dock->itemCombo()->currentText(), QString("sun"));
        doc->applyPendingChanges();
        QCOMPARE(dock->itemCombo()->currentText(), QString("sun"));
        QCOMPARE(row(0)->text(), QString("sun"));
    }

    // Crash A (a new object in a scene without textures) and crash B (deleting every texture of
    // the default scene) once ended the program at the next frame.
    void editsLeavingTheSceneWithoutTexturesOrColoursAreRefused() {
        QVERIFY(doc->loadFile(writeScene("empty.tavolin", "<tavolinfile>\n</tavolinfile>\n")));
        doc->applyPendingChanges();
        for (int kind : {2, 1}) {  // New Sphere, New Cube
            chooseNew(kind);
            QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
            QVERIFY(!scene().hasPendingChanges());
            QVERIFY(dock->refusalLine()->isVisibleTo(window.get()));
            QVERIFY(dock->refusalLine()->text().contains("texture"));
            QVERIFY(current()->isActive());  // the rows stay for another try
        }
        QVERIFY(!doc->applyPendingChanges());
        QCOMPARE(scene().objects.items.size(), size_t(0));

        // The colour "default" may change but stays: saved without it, a scene would get the
        // built-in one back when loaded.
        dock->categoryCombo()->setCurrentIndex(1);
        QTest::mouseClick(dock->deleteButton(), Qt::LeftButton);
        QVERIFY(dock->refusalLine()->isVisibleTo(window.get()));
        QCOMPARE(dock->itemCombo()->count(), 1);
        row(1)->setText("green");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QVERIFY(dock->refusalLine()->text().contains("default"));
        QVERIFY(!scene().hasPendingChanges());
        row(1)->setText("default");
        row(0)->setText("(550;100)");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QVERIFY(!dock->refusalLine()->isVisibleTo(window.get()));
        QCOMPARE(scene().colors.pendingChanges().size(), size_t(1));

        // With a texture the new object is taken, and then the last texture stays.
        dock->categoryCombo()->setCurrentIndex(2);
        chooseNew(2);
        row(0)->setText("lawn");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        dock->categoryCombo()->setCurrentIndex(0);
        chooseNew(2);
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QVERIFY(!dock->refusalLine()->isVisibleTo(window.get()));
        doc->applyPendingChanges();
        QCOMPARE(scene().objects.items.size(), size_t(1));
        auto* ball = dynamic_cast<rtObjSphere<1>*>(scene().objects.items[0]);
        QVERIFY(ball);
        QCOMPARE(ball->texture, scene().textures.get("lawn"));
        QCOMPARE(scene().colors.items[0]->wavelengths, std::vector<float>({550.0f}));
        dock->categoryCombo()->setCurrentIndex(2);
        QTest::mouseClick(dock->deleteButton(), Qt::LeftButton);
        QVERIFY(dock->refusalLine()->text().contains("texture"));
        QCOMPARE(dock->itemCombo()->count(), 1);

        QVERIFY(doc->loadFile(QStringLiteral(TAVOLIN_SOURCE_DIR) +
                              "/resources/scenes/stonehenge.tavolin"));
        doc->applyPendingChanges();
        dock->categoryCombo()->setCurrentIndex(2);
        const int textures = dock->itemCombo()->count();
        QCOMPARE(textures, 5);
        for (int press = 0; press < textures; ++press)
            QTest::mouseClick(dock->deleteButton(), Qt::LeftButton);
        QCOMPARE(dock->itemCombo()->count(), 1);
        QVERIFY(dock->refusalLine()->isVisibleTo(window.get()));
        doc->applyPendingChanges();
        QCOMPARE(scene().textures.items.size(), size_t(1));
        QVERIFY(!scene().objects.items.empty());
    }

    // The document's own guard, for edits recorded without asking the dock.
    void documentDropsEditsTheSceneCannotTake() {
        QStringList reports;
        DocRT::setErrorReporter(
            [&reports](const QString& title, const QString& text) { reports << title + text; });
        const QString before = doc->sceneText();
        scene().textures.recordRemoval(scene().textures.items[0]);
        scene().objects.recordChange(scene().objects.items[1]->clone(), scene().objects.items[1]);
        QSignalSpy edited(doc.get(), &DocRT::sceneEdited);
        doc->applyPendingChanges();
        DocRT::setErrorReporter(DocRT::ErrorReporter());
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].startsWith("Scene not changed"));
        QVERIFY(!scene().hasPendingChanges());
        QCOMPARE(doc->sceneText(), before);
        QCOMPARE(edited.count(), 0);
        QCOMPARE(comboTexts(dock->itemCombo()), QStringList({"ground", "ball", "moon"}));
    }

    void nameRowsOfferTheSceneNamesAndSpectraShowWhole() {
        dock->categoryCombo()->setCurrentIndex(2);
        chooseNew(2);  // single texture: its own name is typed, its colour chosen
        QVERIFY(!row(0)->comboBox());
        QCOMPARE(comboTexts(row(1)->comboBox()), QStringList({"default", "warm"}));
        row(0)->setText("flat");
        row(1)->comboBox()->setCurrentIndex(1);
        QCOMPARE(row(1)->text(), QString("warm"));
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);

        // An object's texture row lists the textures, the pending one included, and takes a
        // typed name as well.
        dock->categoryCombo()->setCurrentIndex(0);
        dock->itemCombo()->setCurrentIndex(1);
        QVERIFY(!row(0)->comboBox());
        QCOMPARE(comboTexts(row(3)->comboBox()), QStringList({"plain", "flat"}));
        QCOMPARE(row(3)->text(), QString("plain"));
        row(3)->comboBox()->setCurrentIndex(1);
        QCOMPARE(row(3)->text(), QString("flat"));
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        doc->applyPendingChanges();
        auto* ball = dynamic_cast<rtObjSphere<1>*>(findByName(scene().objects.items, "ball"));
        QCOMPARE(ball->texname, QString("flat"));
        QCOMPARE(ball->texture, scene().textures.get("flat"));
        auto* flat = dynamic_cast<TextureSingle*>(scene().textures.get("flat"));
        QVERIFY(flat);
        QCOMPARE(flat->color, findByName(scene().colors.items, "warm"));
        row(3)->setText("later");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        doc->applyPendingChanges();
        QCOMPARE(ball->texname, QString("later"));

        // A spectrum shows one pair a line, all of them without scrolling, and reads back whole.
        dock->categoryCombo()->setCurrentIndex(1);
        dock->itemCombo()->setCurrentIndex(0);
        QPlainTextEdit* spectrum = row(0)->multiLineEdit();
        QVERIFY(spectrum);
        layOut();
        QCOMPARE(spectrum->document()->blockCount(), 6);
        QCOMPARE(spectrum->verticalScrollBar()->maximum(), 0);
        QCOMPARE(row(0)->text(), scene().colors.items[0]->toSpectrumText());
        saveShotIfAsked(window.get(), "dock-spectrum");
        spectrum->setPlainText("(450;10)\n(650;20)");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        doc->applyPendingChanges();
        QCOMPARE(scene().colors.items[0]->wavelengths, std::vector<float>({450.0f, 650.0f}));
    }

    void refusedTextsShowMessagesAndRecordNothing() {
        dock->itemCombo()->setCurrentIndex(1);
        row(1)->setText("1;x;3;4");  // bad vector
        row(2)->setText("big");      // bad number
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QVERIFY(!scene().hasPendingChanges());
        QVERIFY(row(1)->hasError());
        QVERIFY(row(2)->hasError());
        QVERIFY(!row(0)->hasError());
        QVERIFY(!row(1)->errorText().isEmpty());
        saveShotIfAsked(window.get(), "dock-refused");
        // The rows and the typed text stay for correction.
        QCOMPARE(row(1)->text(), QString("1;x;3;4"));
        QVERIFY(current()->editorWidget()->isVisible());
        doc->applyPendingChanges();
        auto* ball = dynamic_cast<rtObjSphere<1>*>(findByName(scene().objects.items, "ball"));
        QCOMPARE(ball->center.x, 0.0f);
        QCOMPARE(ball->center.z, -5.0f);
        QCOMPARE(ball->radius, 0.5f);

        // Correcting one leaves the other refused; correcting both records the edit.
        row(1)->setText("<1;2;-7;0>");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QVERIFY(!scene().hasPendingChanges());
        QVERIFY(!row(1)->hasError());
        QVERIFY(row(2)->hasError());
        row(2)->setText("0.75");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QCOMPARE(scene().objects.pendingChanges().size(), size_t(1));
        doc->applyPendingChanges();
        QCOMPARE(ball->center.x, 1.0f);
        QCOMPARE(ball->center.y, 2.0f);
        QCOMPARE(ball->center.z, -7.0f);
        QCOMPARE(ball->radius, 0.75f);

        dock->categoryCombo()->setCurrentIndex(1);
        row(0)->setText("(500;1)(600)");  // a spectrum pair without its intensity
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QVERIFY(row(0)->hasError());
        QVERIFY(!scene().hasPendingChanges());
    }

    void secondNewItemDiscardsTheFirst() {
        chooseNew(2);  // sphere
        row(0)->setText("first");
        chooseNew(0);  // plane
        saveShotIfAsked(window.get(), "dock-newplane");
        QCOMPARE(row(0)->text(), QString(""));
        row(0)->setText("second");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QCOMPARE(scene().objects.pendingAdditions().size(), size_t(1));
        doc->applyPendingChanges();
        QCOMPARE(scene().objects.items.size(), size_t(4));
        QVERIFY(!findByName(scene().objects.items, "first"));
        QVERIFY(dynamic_cast<rtObjPlane*>(findByName(scene().objects.items, "second")));
    }

    void newColor() {
        dock->categoryCombo()->setCurrentIndex(1);
        chooseNew(0);
        row(0)->setText("(450;10)");
        row(1)->setText("blue");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        doc->applyPendingChanges();
        ColDiscrete* blue = scene().colors.get("blue");
        QVERIFY(blue);
        QCOMPARE(blue->wavelengths, std::vector<float>({450.0f}));
    }

    void newBlackbodyColorGetsAFreshNameAndRendersLikeOne() {
        dock->categoryCombo()->setCurrentIndex(1);
        chooseNew(1);
        QCOMPARE(row(2)->text(), QString("blackbody1"));
        QVERIFY(!scene().hasPendingChanges());
        saveShotIfAsked(window.get(), "dock-blackbody");

        row(0)->setText("3200");
        row(1)->setText("0.5");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QCOMPARE(scene().colors.pendingAdditions().size(), size_t(1));
        QCOMPARE(comboTexts(dock->itemCombo()), QStringList({"default", "warm", "blackbody1"}));
        // A pending addition's name is taken as well.
        chooseNew(1);
        QCOMPARE(row(2)->text(), QString("blackbody2"));

        doc->applyPendingChanges();
        QCOMPARE(scene().colors.items.size(), size_t(3));
        auto* body = dynamic_cast<ColBlackbody*>(scene().colors.get("blackbody1"));
        QVERIFY(body);
        QCOMPARE(body->temperature, 3200.0f);
        QCOMPARE(body->luminance, 0.5f);

        // The same lines and pixels as a blackbody made directly, under both kinds of eye and
        // Doppler-shifted either way.
        const ColBlackbody reference(QStringLiteral("ref"), 3200.0f, 0.5f);
        QCOMPARE(body->wavelengths, reference.wavelengths);
        QCOMPARE(body->intensities, reference.intensities);
        const Eye eyes[] = {defaultEye(), cieHumanEye()};
        for (const Eye& eye : eyes)
            for (float d : {1.0f, 0.7f, 1.3f})
                QCOMPARE(pixelOf(*body, eye, d), pixelOf(reference, eye, d));
        // 3200 K is orange to the CIE eye: red above blue (bytes R, G, B in memory order).
        const uint32_t px = pixelOf(*body, cieHumanEye(), 1.0f);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&px);
        QVERIFY2(bytes[0] > bytes[2] + 40, qPrintable(QString::number(px, 16)));

        // The next new blackbody skips the name now in the scene; a texture finds it by name.
        dock->categoryCombo()->setCurrentIndex(1);
        chooseNew(1);
        QCOMPARE(row(2)->text(), QString("blackbody2"));
        dock->categoryCombo()->setCurrentIndex(2);
        chooseNew(2);  // single texture
        row(0)->setText("glow");
        row(1)->setText("blackbody1");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        doc->applyPendingChanges();
        auto* glow = dynamic_cast<TextureSingle*>(scene().textures.get("glow"));
        QVERIFY(glow);
        QCOMPARE(glow->color, static_cast<ColDiscrete*>(body));
    }

    void refusedBlackbodyValuesLeaveTheDocumentUnchanged() {
        dock->categoryCombo()->setCurrentIndex(1);
        chooseNew(1);
        // temperature <= 0, not a number, infinite, absurdly large; then a bad luminance.
        const char* temperatures[] = {"0", "-100", "nan", "inf", "1e30", "2e6", "abc", ""};
        for (const char* text : temperatures) {
            row(0)->setText(text);
            QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
            QVERIFY2(row(0)->hasError(), text);
            QVERIFY(!row(0)->errorText().isEmpty());
            QVERIFY(!scene().hasPendingChanges());
        }
        row(0)->setText("5000");
        row(1)->setText("-1");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QVERIFY(!row(0)->hasError());
        QVERIFY(row(1)->hasError());
        QVERIFY(!scene().hasPendingChanges());
        saveShotIfAsked(window.get(), "dock-blackbody-refused");
        QVERIFY(!doc->applyPendingChanges());
        QCOMPARE(scene().colors.items.size(), size_t(2));
        QVERIFY(!scene().colors.contains("blackbody1"));

        // An existing blackbody: a refused edit keeps it, a good one regenerates its lines.
        chooseNew(1);
        row(0)->setText("5000");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        doc->applyPendingChanges();
        auto* body = dynamic_cast<ColBlackbody*>(scene().colors.get("blackbody1"));
        QVERIFY(body);
        const std::vector<float> before = body->intensities;
        dock->categoryCombo()->setCurrentIndex(1);
        dock->itemCombo()->setCurrentIndex(2);
        QCOMPARE(row(0)->text(), QString("5000"));
        row(0)->setText("nan");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QVERIFY(row(0)->hasError());
        QVERIFY(!scene().hasPendingChanges());
        doc->applyPendingChanges();
        QCOMPARE(body->temperature, 5000.0f);
        QCOMPARE(body->intensities, before);

        row(0)->setText("4500");
        row(1)->setText("2");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        QVERIFY(!row(0)->hasError());
        QCOMPARE(scene().colors.pendingChanges().size(), size_t(1));
        doc->applyPendingChanges();
        QCOMPARE(dynamic_cast<ColBlackbody*>(scene().colors.get("blackbody1")), body);
        QCOMPARE(body->temperature, 4500.0f);
        QCOMPARE(body->intensities, ColBlackbody(QStringLiteral("r"), 4500.0f, 2.0f).intensities);
    }

    void deleteRemovesAtTheNextFrame() {
        dock->itemCombo()->setCurrentIndex(1);
        QTest::mouseClick(dock->deleteButton(), Qt::LeftButton);
        QCOMPARE(comboTexts(dock->itemCombo()), QStringList({"ground", "moon"}));
        // The selection stays at the same position, now the following item.
        QCOMPARE(dock->itemCombo()->currentIndex(), 1);
        QCOMPARE(row(0)->text(), QString("moon"));
        QCOMPARE(scene().objects.items.size(), size_t(3));
        doc->applyPendingChanges();
        QCOMPARE(scene().objects.items.size(), size_t(2));
        QVERIFY(!findByName(scene().objects.items, "ball"));
        QVERIFY(findByName(scene().objects.items, "moon"));

        // The Delete key does the same while the focus is in the dock, but not in a text field.
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        row(0)->lineEdit()->setFocus();
        QTest::keyClick(row(0)->lineEdit(), Qt::Key_Delete);
        QCOMPARE(comboTexts(dock->itemCombo()), QStringList({"ground", "moon"}));
        dock->itemCombo()->setFocus();
        QTest::keyClick(dock->itemCombo(), Qt::Key_Delete);
        QCOMPARE(comboTexts(dock->itemCombo()), QStringList({"ground"}));
    }

    void deletingTheLastItemSelectsTheNewLast() {
        dock->itemCombo()->setCurrentIndex(2);
        QTest::mouseClick(dock->deleteButton(), Qt::LeftButton);
        QCOMPARE(dock->itemCombo()->currentIndex(), 1);
        QCOMPARE(row(0)->text(), QString("ball"));
        // An edit of the shown item applies to that item.
        row(2)->setText("0.6");
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);
        doc->applyPendingChanges();
        QCOMPARE(scene().objects.items.size(), size_t(2));
        auto* ball = dynamic_cast<rtObjSphere<1>*>(findByName(scene().objects.items, "ball"));
        QCOMPARE(ball->radius, 0.6f);
        // The changed object was updated when taken over: its derived fields follow.
        QCOMPARE(ball->radius2, 0.6f * 0.6f);
        QCOMPARE(ball->invRadius, 1.0f / 0.6f);
    }

    void emptyCategoryShowsNoEditorAndDeleteDoesNothing() {
        // Delete every texture-less category item: remove all three objects.
        for (int i = 0; i < 3; ++i) {
            dock->itemCombo()->setCurrentIndex(0);
            QTest::mouseClick(dock->deleteButton(), Qt::LeftButton);
        }
        QCOMPARE(dock->itemCombo()->count(), 0);
        QVERIFY(!current()->isActive());
        QTest::mouseClick(dock->deleteButton(), Qt::LeftButton);  // nothing selected
        QTest::mouseClick(dock->applyButton(), Qt::LeftButton);   // nothing edited
        doc->applyPendingChanges();
        QCOMPARE(scene().objects.items.size(), size_t(0));
        QCOMPARE(dock->itemCombo()->count(), 0);
    }

    void loadingAnotherSceneRebuildsTheDock() {
        dock->categoryCombo()->setCurrentIndex(1);
        chooseNew(0);  // an edit that is never applied
        QVERIFY(doc->loadFile(writeScene("empty.tavolin", "<tavolinfile>\n</tavolinfile>\n")));
        doc->applyPendingChanges();
        // The category stays; its list is the new scene's.
        QCOMPARE(dock->categoryCombo()->currentIndex(), 1);
        QCOMPARE(comboTexts(dock->itemCombo()), QStringList({"default"}));
        dock->categoryCombo()->setCurrentIndex(0);
        QCOMPARE(dock->itemCombo()->count(), 0);
    }

    void hidingSignalsThatTheDialogCanBeShown() {
        QSignalSpy spy(dock, &DockEditObjects::dialogCanBeShown);
        dock->hide();
        QCOMPARE(spy.count(), 1);
        dock->show();
        dock->close();
        QCOMPARE(spy.count(), 2);
    }

    void adapterRefusesASecondActivation() {
        EditableObjImpl<ColDiscrete> colors("Edit Colors", scene().colors);
        QWidget parent;
        QVBoxLayout layout(&parent);
        colors.activate(&parent, &layout, 0);
        QVERIFY_THROWS_EXCEPTION(ProgrammingError, colors.activate(&parent, &layout, 1));
        colors.makeInactive();
        QVERIFY(!colors.isActive());
        QVERIFY(!colors.deleteItem(5));
        QVERIFY(!colors.deleteItem(-1));
        QVERIFY(colors.deleteItem(1));
        QCOMPARE(scene().colors.pendingRemovals().size(), size_t(1));
        QCOMPARE(scene().colors.pendingRemovals()[0]->name, QString("warm"));
    }
};

TAVOLIN_UI_TEST_MAIN(DockEditObjectsTest)
#include "dockeditobjects_test.moc"
