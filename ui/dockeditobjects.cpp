// The edit dock's form, its three category adapters and the selection logic around them.
#include "ui/dockeditobjects.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalMapper>
#include <QSpacerItem>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "engine/docrt.h"
#include "scene/coldiscrete.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "scene/texture.h"
#include "scene/textureimage.h"
#include "scene/texturequad.h"
#include "scene/texturesingle.h"
#include "ui/addableblackbody.h"
#include "ui/editableobj.h"

namespace {

QString formTr(const char* text) { return QCoreApplication::translate("EditObjects", text); }

QFrame* sunkenLine(const QString& name, QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

DockEditObjects::DockEditObjects(QWidget* parent, DocRT* doc_)
    : QDockWidget(parent, Qt::WindowFlags()), doc(doc_) {
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    setObjectName(QStringLiteral("DockEditObjects"));
    setWindowTitle(formTr("Edit Objects"));
    setupForm();

    connect(doc, &DocRT::sceneContentChanged, this, &DockEditObjects::reloadUI);
    connect(catNames, &QComboBox::currentIndexChanged, this, &DockEditObjects::catIndexChanged);
    connect(objNames, &QComboBox::currentIndexChanged, this, &DockEditObjects::objIndexChanged);
    connect(butApply, &QPushButton::clicked, this, &DockEditObjects::applyChanges);
    connect(deleteObject, &QToolButton::clicked, this, &DockEditObjects::deleteSelectedObject);
    connect(mapper, &QSignalMapper::mappedInt, this, &DockEditObjects::createNewObject);

    createEditors();
    selectCategory(0, true);
}

DockEditObjects::~DockEditObjects() {
    // The adapters' editor widgets are children of this dock: release them while both exist.
    makeAllInactive();
    editors.clear();
}

void DockEditObjects::setupForm() {
    form = new QWidget(this);
    form->setObjectName(QStringLiteral("EditObjects"));
    form->setWindowTitle(formTr("Form"));
    QFont font = form->font();
    font.setWeight(QFont::Normal);
    form->setFont(font);

    verticalLayout = new QVBoxLayout(form);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));

    catNames = new QComboBox(form);
    catNames->setObjectName(QStringLiteral("catNames"));
    catNames->setMaxVisibleItems(15);
    catNames->setToolTip(formTr("Choose the object type to edit"));
    catNames->setStatusTip(formTr("Here you can choose the object type to edit"));
    verticalLayout->addWidget(catNames);

    verticalLayout->addWidget(sunkenLine(QStringLiteral("line"), form));

    labelProp = new QLabel(formTr("Choose the Element to edit ..."), form);
    labelProp->setObjectName(QStringLiteral("labelProp"));
    verticalLayout->addWidget(labelProp);

    auto* horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    objNames = new QComboBox(form);
    objNames->setObjectName(QStringLiteral("objNames"));
    objNames->setEditable(false);
    objNames->setToolTip(formTr("Choose the object to edit"));
    objNames->setStatusTip(formTr("Choose the objects whose properties you want to edit"));
    horizontalLayout->addWidget(objNames, 1);

    deleteObject = new QToolButton(form);
    deleteObject->setObjectName(QStringLiteral("deleteObject"));
    deleteObject->setText(formTr("..."));
    const QString iconFile = QStringLiteral(":/settings/SRTDoppler.ico");
    deleteObject->setIcon(QFile::exists(iconFile) ? QIcon(iconFile)
                                                  : style()->standardIcon(QStyle::SP_TrashIcon));
    deleteObject->setToolTip(formTr("Delete the selected Element"));
    deleteObject->setStatusTip(formTr("Clicking deletes the selected Element"));
    horizontalLayout->addWidget(deleteObject);

    newObject = new QToolButton(form);
    newObject->setObjectName(QStringLiteral("newObject"));
    newObject->setText(formTr("new"));
    newObject->setPopupMode(QToolButton::InstantPopup);
    newObject->setToolButtonStyle(Qt::ToolButtonTextOnly);
    newObject->setAutoRaise(false);
    newObject->setArrowType(Qt::NoArrow);
    newObject->setToolTip(formTr("Add a new Element"));
    newObject->setStatusTip(
        formTr("Clicking will create a popup menu, where you can select the type of element to "
               "create"));
    horizontalLayout->addWidget(newObject);
    verticalLayout->addLayout(horizontalLayout);

    verticalLayout->addWidget(sunkenLine(QStringLiteral("line_2"), form));

    label_2 = new QLabel(formTr("The Properties of the Element ..."), form);
    label_2->setObjectName(QStringLiteral("label_2"));
    verticalLayout->addWidget(label_2);

    addObjects = new QVBoxLayout();
    addObjects->setObjectName(QStringLiteral("addObjects"));
    verticalLayout->addLayout(addObjects);

    refusal = new QLabel(form);
    refusal->setObjectName(QStringLiteral("refusal"));
    refusal->setWordWrap(true);
    refusal->setStyleSheet(QStringLiteral("color: #c00000;"));
    refusal->hide();
    verticalLayout->addWidget(refusal);

    butApply = new QPushButton(formTr("Apply Changes"), form);
    butApply->setObjectName(QStringLiteral("butApply"));
    verticalLayout->addWidget(butApply);
    verticalLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    setWidget(form);

    newMenu = new QMenu(this);
    newObject->setMenu(newMenu);
    mapper = new QSignalMapper(this);
}

void DockEditObjects::createEditors() {
    SceneData* scene = doc->getSceneData();

    auto objects =
        std::make_unique<EditableObjImpl<rtObjBase>>(formTr("Edit Objects"), scene->objects);
    objects->addFactory(std::make_unique<AddableChild<rtObjBase, rtObjPlane>>(formTr("New Plane")));
    objects->addFactory(std::make_unique<AddableChild<rtObjBase, rtObjCube>>(formTr("New Cube")));
    objects->addFactory(
        std::make_unique<AddableChild<rtObjBase, rtObjSphere<1>>>(formTr("New Sphere")));
    editors.push_back(std::move(objects));

    auto colors =
        std::make_unique<EditableObjImpl<ColDiscrete>>(formTr("Edit Colors"), scene->colors);
    colors->addFactory(
        std::make_unique<AddableChild<ColDiscrete, ColDiscrete>>(formTr("New Color")));
    colors->addFactory(
        std::make_unique<AddableBlackbody>(formTr("New Blackbody Color"), scene->colors));
    editors.push_back(std::move(colors));

    auto textures =
        std::make_unique<EditableObjImpl<Texture>>(formTr("Edit Textures"), scene->textures);
    textures->addFactory(
        std::make_unique<AddableChild<Texture, TextureQuad>>(formTr("Quad Texture")));
    textures->addFactory(
        std::make_unique<AddableChild<Texture, TextureImage>>(formTr("Image Texture")));
    textures->addFactory(
        std::make_unique<AddableChild<Texture, TextureSingle>>(formTr("Single Texture")));
    editors.push_back(std::move(textures));

    catNames->clear();
    for (size_t i = 0; i < editors.size(); ++i)
        catNames->insertItem(static_cast<int>(i), editors[i]->categoryName());
}

EditableObj* DockEditObjects::editor(int category) const {
    if (category < 0 || category >= static_cast<int>(editors.size())) return nullptr;
    return editors[static_cast<size_t>(category)].get();
}

EditableObj* DockEditObjects::currentEditor() const { return editor(catNames->currentIndex()); }

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

    objNames->clear();
    QStringList names;
    category->itemNames(names);
    objNames->insertItems(0, names);

    if (!names.isEmpty() && activate) {
        makeAllInactive();
        if (EditableObj* shown = currentEditor()) shown->activate(this, addObjects, 0);
    }
}

void DockEditObjects::catIndexChanged(int index) { selectCategory(index, true); }

void DockEditObjects::objIndexChanged(int index) {
    if (index == -1) return;
    makeAllInactive();
    index = std::min(index, objNames->count() - 1);
    if (index < 0) return;
    if (EditableObj* shown = currentEditor()) shown->activate(this, addObjects, index);
}

void DockEditObjects::refreshKeepingSelection() { refreshSelecting(objNames->currentIndex()); }

void DockEditObjects::refreshSelecting(int index) {
    selectCategory(catNames->currentIndex(), false);
    if (index < 0) return;
    makeAllInactive();
    index = std::min(index, objNames->count() - 1);
    if (index < 0) return;
    if (EditableObj* shown = currentEditor()) shown->activate(this, addObjects, index);
    // The combo shows the entry being edited: after deleting the last entry that is the new
    // last one, not an empty selection. Changing the entry re-activates it (objIndexChanged).
    objNames->setCurrentIndex(index);
    objNames->repaint();
}

bool DockEditObjects::sceneCanTake(int change) {
    DocRT::SceneCounts counts = doc->countsAfterPendingEdits();
    // In the order of the categories: objects, colours, textures.
    int* const perCategory[] = {&counts.objects, &counts.colors, &counts.textures};
    const int category = catNames->currentIndex();
    if (category >= 0 && category < 3) *perCategory[category] += change;
    const QString lack = DocRT::whatSceneLacks(counts);
    showRefusal(lack);
    return lack.isEmpty();
}

bool DockEditObjects::keepsDefaultColor(bool deleting) {
    constexpr int kColors = 1;
    const QString name = QStringLiteral("default");
    EditableObj* shown = currentEditor();
    if (catNames->currentIndex() != kColors || !shown || objNames->currentIndex() != 0 ||
        objNames->currentText() != name || (!deleting && shown->editsNewItem()))
        return true;
    bool kept = !deleting;
    if (!deleting && shown->editorRows()) {
        const PropertyRowFactory* rows = shown->editorRows();
        for (int i = 0; i < rows->rowCount(); ++i)
            if (rows->row(i)->labelText() == QLatin1String("colname"))
                kept = rows->row(i)->text().trimmed() == name;
    }
    showRefusal(kept ? QString()
                     : formTr("The colour \"default\" stands in for every colour name that is "
                              "not found; it can be changed, but not deleted or renamed."));
    return kept;
}

void DockEditObjects::showRefusal(const QString& reason) {
    refusal->setText(reason.isEmpty() ? QString() : formTr("Not done: ") + reason);
    refusal->setVisible(!reason.isEmpty());
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
    refreshSelecting(adding ? std::numeric_limits<int>::max() : objNames->currentIndex());
}

void DockEditObjects::createNewObject(int i) {
    makeAllInactive();
    if (EditableObj* shown = currentEditor()) shown->createNew(this, addObjects, i);
}

void DockEditObjects::deleteSelectedObject() {
    const int index = objNames->currentIndex();
    if (index < 0) return;
    // A refused deletion keeps the item and its rows on screen.
    if (!sceneCanTake(-1) || !keepsDefaultColor(true)) return;
    makeAllInactive();
    if (EditableObj* shown = currentEditor()) shown->deleteItem(index);
    refreshKeepingSelection();
}

void DockEditObjects::reloadUI() {
    const int category = std::max(0, catNames->currentIndex());
    const int item = objNames->currentIndex();
    makeAllInactive();
    editors.clear();
    {
        const QSignalBlocker quiet(catNames);
        createEditors();
        catNames->setCurrentIndex(std::min(category, catNames->count() - 1));
    }
    refreshSelecting(std::max(item, 0));
}

void DockEditObjects::hideEvent(QHideEvent* event) {
    QDockWidget::hideEvent(event);
    emit dialogCanBeShown();
}
