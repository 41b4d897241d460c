// The edit dock's three category adapters and the selection logic around them; the form is
// dockeditobjects.ui.
#include "ui/dockeditobjects.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalMapper>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <limits>

#include "engine/docrt.h"
#include "scene/coldiscrete.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjdisk.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "scene/texture.h"
#include "scene/textureimage.h"
#include "scene/texturequad.h"
#include "scene/texturesingle.h"
#include "ui/addableblackbody.h"
#include "ui/editableobj.h"
#include "ui/itemlistmodel.h"
#include "ui_dockeditobjects.h"

DockEditObjects::DockEditObjects(QWidget* parent, DocRT* doc_)
    : QDockWidget(parent, Qt::WindowFlags()),
      ui(std::make_unique<Ui::DockEditObjects>()),
      doc(doc_) {
    ui->setupUi(this);
    // The desktop's own delete icon, else the style's waste bin.
    ui->deleteObject->setIcon(QIcon::fromTheme(QStringLiteral("edit-delete"),
                                               style()->standardIcon(QStyle::SP_TrashIcon)));
    ui->refusal->hide();
    newMenu = new QMenu(this);
    ui->newObject->setMenu(newMenu);
    mapper = new QSignalMapper(this);
    // The item combo names the rows in view only, whatever the count; it is as wide as the dock.
    itemList = ItemListModel::listIn(ui->objNames, kItemComboLetters);

    connect(doc, &DocRT::sceneContentChanged, this, &DockEditObjects::reloadUI);
    connect(doc, &DocRT::sceneContentChanged, this, &DockEditObjects::prepareUndoText);
    connect(ui->catNames, &QComboBox::currentIndexChanged, this, &DockEditObjects::catIndexChanged);
    connect(ui->objNames, &QComboBox::currentIndexChanged, this, &DockEditObjects::objIndexChanged);
    connect(ui->butApply, &QPushButton::clicked, this, &DockEditObjects::applyChanges);
    connect(ui->deleteObject, &QToolButton::clicked, this, &DockEditObjects::deleteSelectedObject);
    // The Delete key deletes the selected item while the focus is in the dock (a text field
    // takes the key for itself).
    auto* deleteKey = new QAction(this);
    deleteKey->setShortcut(QKeySequence::Delete);
    deleteKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(deleteKey);
    connect(deleteKey, &QAction::triggered, this, &DockEditObjects::deleteSelectedObject);
    connect(mapper, &QSignalMapper::mappedInt, this, &DockEditObjects::createNewObject);

    createEditors();
    selectCategory(0, true);
}

DockEditObjects::~DockEditObjects() {
    // The adapters' editor widgets are children of this dock: release them while both exist.
    makeAllInactive();
    itemList->show(nullptr);
    editors.clear();
}

QComboBox* DockEditObjects::categoryCombo() const { return ui->catNames; }
QComboBox* DockEditObjects::itemCombo() const { return ui->objNames; }
QToolButton* DockEditObjects::newButton() const { return ui->newObject; }
QToolButton* DockEditObjects::deleteButton() const { return ui->deleteObject; }
QPushButton* DockEditObjects::applyButton() const { return ui->butApply; }
QLabel* DockEditObjects::refusalLine() const { return ui->refusal; }

void DockEditObjects::createEditors() {
    SceneData* scene = doc->getSceneData();

    auto objects = std::make_unique<EditableObjImpl<rtObjBase>>(tr("Edit Objects"), scene->objects);
    objects->addFactory(std::make_unique<AddableChild<rtObjBase, rtObjPlane>>(tr("New Plane")));
    objects->addFactory(std::make_unique<AddableChild<rtObjBase, rtObjCube>>(tr("New Cube")));
    objects->addFactory(
        std::make_unique<AddableChild<rtObjBase, rtObjSphere<1>>>(tr("New Sphere")));
    objects->addFactory(
        std::make_unique<AddableChild<rtObjBase, rtObjDisk>>(tr("New Accretion Disk")));
    // Texture and colour names are chosen from the scene's (pending edits included).
    DocRT* document = doc;
    objects->setRowKinds({{"texname", "texxy", "texyz", "texzx"}, [document] {
                              QStringList names;
                              document->getSceneData()->textures.getNames(names);
                              return names;
                          }, {}});
    editors.push_back(std::move(objects));

    auto colors = std::make_unique<EditableObjImpl<ColDiscrete>>(tr("Edit Colors"), scene->colors);
    colors->addFactory(std::make_unique<AddableChild<ColDiscrete, ColDiscrete>>(tr("New Color")));
    colors->addFactory(
        std::make_unique<AddableBlackbody>(tr("New Blackbody Color"), scene->colors));
    colors->setRowKinds({{}, {}, {"wavelength"}});
    editors.push_back(std::move(colors));

    auto textures =
        std::make_unique<EditableObjImpl<Texture>>(tr("Edit Textures"), scene->textures);
    textures->addFactory(std::make_unique<AddableChild<Texture, TextureQuad>>(tr("Quad Texture")));
    textures->addFactory(
        std::make_unique<AddableChild<Texture, TextureImage>>(tr("Image Texture")));
    textures->addFactory(
        std::make_unique<AddableChild<Texture, TextureSingle>>(tr("Single Texture")));
    textures->setRowKinds({{"color", "colora", "colorb", "colr", "colg", "colb"}, [document] {
                               QStringList names;
                               document->getSceneData()->colors.getNames(names);
                               return names;
                           }, {}});
    editors.push_back(std::move(textures));

    ui->catNames->clear();
    for (size_t i = 0; i < editors.size(); ++i)
        ui->catNames->insertItem(static_cast<int>(i), editors[i]->categoryName());
}

EditableObj* DockEditObjects::editor(int category) const {
    if (category < 0 || category >= static_cast<int>(editors.size())) return nullptr;
    return editors[static_cast<size_t>(category)].get();
}

EditableObj* DockEditObjects::currentEditor() const { return editor(ui->catNames->currentIndex()); }

void DockEditObjects::makeAllInactive() {
    for (auto& e : editors) e->makeInactive();
}

void DockEditObjects::selectCategory(int index, bool activate) {
    EditableObj* category = editor(index);
    if (!category) return;
    makeAllInactive();

    newMenu->clear();  // deletes the actions; the mapper forgets destroyed senders
    QStringList kinds;
    category->newItemTypes(kinds);
    for (int k = 0; k < kinds.size(); ++k) {
        QAction* action = newMenu->addAction(kinds[k]);
        connect(action, &QAction::triggered, mapper, qOverload<>(&QSignalMapper::map));
        mapper->setMapping(action, k);
    }

    itemList->show(category);

    if (itemList->rowCount() > 0 && activate) {
        makeAllInactive();
        if (EditableObj* shown = currentEditor()) shown->activate(this, ui->addObjects, 0);
    }
}

void DockEditObjects::catIndexChanged(int index) { selectCategory(index, true); }

void DockEditObjects::objIndexChanged(int index) {
    if (index == -1) return;
    makeAllInactive();
    index = std::min(index, ui->objNames->count() - 1);
    if (index < 0) return;
    if (EditableObj* shown = currentEditor()) shown->activate(this, ui->addObjects, index);
}

void DockEditObjects::refreshKeepingSelection() { refreshSelecting(ui->objNames->currentIndex()); }

void DockEditObjects::refreshSelecting(int index) {
    selectCategory(ui->catNames->currentIndex(), false);
    if (index < 0) return;
    makeAllInactive();
    index = std::min(index, ui->objNames->count() - 1);
    if (index < 0) return;
    if (EditableObj* shown = currentEditor()) shown->activate(this, ui->addObjects, index);
    // The combo shows the entry being edited: after deleting the last entry that is the new
    // last one, not an empty selection. Changing the entry re-activates it (objIndexChanged).
    ui->objNames->setCurrentIndex(index);
    ui->objNames->repaint();
}

bool DockEditObjects::sceneCanTake(int change) {
    DocRT::SceneCounts counts = doc->countsAfterPendingEdits();
    // In the order of the categories: objects, colours, textures.
    int* const perCategory[] = {&counts.objects, &counts.colors, &counts.textures};
    const int category = ui->catNames->currentIndex();
    if (category >= 0 && category < 3) *perCategory[category] += change;
    const QString lack = DocRT::whatSceneLacks(counts);
    showRefusal(lack);
    return lack.isEmpty();
}

bool DockEditObjects::keepsDefaultColor(bool deleting) {
    constexpr int kColors = 1;
    const QString name = QStringLiteral("default");
    EditableObj* shown = currentEditor();
    if (ui->catNames->currentIndex() != kColors || !shown || ui->objNames->currentIndex() != 0 ||
        ui->objNames->currentText() != name || (!deleting && shown->editsNewItem()))
        return true;
    bool kept = !deleting;
    if (!deleting && shown->editorRows()) {
        const PropertyRowFactory* rows = shown->editorRows();
        for (int i = 0; i < rows->rowCount(); ++i)
            if (rows->row(i)->labelText() == QLatin1String("colname"))
                kept = rows->row(i)->text().trimmed() == name;
    }
    showRefusal(kept ? QString()
                     : tr("The colour \"default\" stands in for every colour name that is "
                          "not found; it can be changed, but not deleted or renamed."));
    return kept;
}

void DockEditObjects::showRefusal(const QString& reason) {
    ui->refusal->setText(reason.isEmpty() ? QString() : tr("Not done: ") + reason);
    ui->refusal->setVisible(!reason.isEmpty());
}

void DockEditObjects::updateUI() { refreshKeepingSelection(); }

void DockEditObjects::applyChanges() {
    EditableObj* shown = currentEditor();
    if (!shown || !shown->isActive()) return;
    const bool adding = shown->editsNewItem();
    if (!sceneCanTake(adding ? 1 : 0) || !keepsDefaultColor(false)) return;
    // A refused text keeps the rows and their messages on screen, so the user can correct them.
    if (!shown->applyEdit()) return;
    // A new item is listed last; the dock goes on editing it.
    refreshSelecting(adding ? std::numeric_limits<int>::max() : ui->objNames->currentIndex());
}

void DockEditObjects::createNewObject(int i) {
    makeAllInactive();
    if (EditableObj* shown = currentEditor()) shown->createNew(this, ui->addObjects, i);
}

void DockEditObjects::deleteSelectedObject() {
    const int index = ui->objNames->currentIndex();
    if (index < 0) return;
    // A refused deletion keeps the item and its rows on screen.
    if (!sceneCanTake(-1) || !keepsDefaultColor(true)) return;
    makeAllInactive();
    if (EditableObj* shown = currentEditor()) shown->deleteItem(index);
    refreshKeepingSelection();
}

void DockEditObjects::reloadUI() {
    const int category = std::max(0, ui->catNames->currentIndex());
    const int item = ui->objNames->currentIndex();
    makeAllInactive();
    itemList->show(nullptr);  // lists nothing of the adapters about to go
    editors.clear();
    {
        const QSignalBlocker quiet(ui->catNames);
        createEditors();
        ui->catNames->setCurrentIndex(std::min(category, ui->catNames->count() - 1));
    }
    refreshSelecting(std::max(item, 0));
}

void DockEditObjects::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    prepareUndoText();
}

void DockEditObjects::prepareUndoText() {
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) doc->prepareSceneSnapshot();
    });
}

void DockEditObjects::hideEvent(QHideEvent* event) {
    QDockWidget::hideEvent(event);
    emit dialogCanBeShown();
}
