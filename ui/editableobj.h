// The editor adapters of the edit dock: one per category of scene items (objects, colours,
// textures). An adapter lists its category's items, builds the property rows of one item or of a
// new item, and records the applied edit, addition or removal in the category's change list; the
// document applies the recorded changes between frames.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>
#include <vector>

#include "base/programmingerror.h"
#include "scene/changedelemvec.h"
#include "scene/dataelem.h"
#include "ui/propertyrowfactory.h"

class QBoxLayout;
class ColDiscrete;
class Texture;
class rtObjBase;

// The per-family rules an adapter needs: a full copy, and what makes an edited item ready for
// the scene (objects recompute their derived fields, blackbody colours their lines; other colours
// and textures need nothing).
namespace EditableItems {
ColDiscrete* copyItem(const ColDiscrete& item);
Texture* copyItem(const Texture& item);
rtObjBase* copyItem(const rtObjBase& item);
void prepareForScene(ColDiscrete& item);
void prepareForScene(Texture& item);
void prepareForScene(rtObjBase& item);
// The tag the scene file writes the item under.
QString fileTag(const ColDiscrete& item);
QString fileTag(const Texture& item);
QString fileTag(const rtObjBase& item);
// Refuses, at their rows, read values the scene file could not hold again (valuerules.h);
// true when there is none.
bool checkForScene(const QString& tag, const Reader::PropertyList& properties);
}  // namespace EditableItems

// A factory of new items of one kind for the "new" menu.
template <class T>
class AddableObject {
public:
    explicit AddableObject(const QString& text) : menuText(text) {}
    virtual ~AddableObject() = default;
    // A new default-constructed item; the caller owns it.
    virtual T* create() const = 0;

    QString menuText;
};

template <class T, class U>
class AddableChild : public AddableObject<T> {
public:
    using AddableObject<T>::AddableObject;
    T* create() const override { return new U(); }
};

// One category of the edit dock. GUI thread only. Users of EditableObjImpl<T> include the
// header of T: the adapter copies, edits and deletes items.
class EditableObj {
public:
    explicit EditableObj(const QString& category_) : category(category_) {}
    virtual ~EditableObj() = default;
    EditableObj(const EditableObj&) = delete;
    EditableObj& operator=(const EditableObj&) = delete;

    // Reads every row back into the edited copy. When all rows parse into values a scene file
    // can hold, records the change (or the addition of a new item) and returns true; when any
    // row refuses its text or value, that row shows why, nothing is recorded, and the result is
    // false.
    virtual bool applyEdit() = 0;
    // Starts editing the index-th listed item: its rows go into a new widget in layout.
    virtual void activate(QWidget* parent, QBoxLayout* layout, int index) = 0;
    // Deletes the editor widget and the edited copy; the adapter becomes inactive.
    virtual void makeInactive() = 0;
    virtual void newItemTypes(QStringList& names) const = 0;
    // Starts editing a new item of the kind-th factory.
    virtual void createNew(QWidget* parent, QBoxLayout* layout, int kind) = 0;
    // Takes the items to list as they are now (pending edits included), for listedName, and
    // returns their count. Kept until the next call: the item list asks for names as it draws.
    virtual int listItems() = 0;
    // The name of the index-th item taken by listItems, in the version an apply would leave
    // (0 <= index < the count listItems returned).
    virtual QString listedName(int index) const = 0;
    // Records the removal of the index-th listed item; false when there is no such item.
    virtual bool deleteItem(int index) = 0;

    virtual bool isActive() const = 0;
    // Whether the rows belong to a new item that applyEdit would add (not yet applied).
    virtual bool editsNewItem() const = 0;
    // The widget holding the rows while active, else null.
    virtual QWidget* editorWidget() const = 0;
    // The rows while active, else null.
    virtual PropertyRowFactory* editorRows() const = 0;

    const QString& categoryName() const { return category; }
    // Which rows offer names or show several lines, from the next activation on.
    void setRowKinds(RowKinds kinds) { rowKinds = std::move(kinds); }

protected:
    QString category;
    RowKinds rowKinds;
};

template <class T>
class EditableObjImpl : public EditableObj {
public:
    EditableObjImpl(const QString& category_, ChangedElemVec<T>& list)
        : EditableObj(category_), changeList(&list) {}
    ~EditableObjImpl() override { makeInactive(); }

    // Appends a kind of new item; menu order is call order.
    void addFactory(std::unique_ptr<AddableObject<T>> factory) {
        factories.push_back(std::move(factory));
    }

    bool applyEdit() override {
        if (!editCopy || !elemList) return false;
        rows->clearErrors();
        bool allRead = true;
        for (const auto& elem : *elemList) allRead = elem->readEditor() && allRead;
        if (!allRead) return false;
        // Accepting what the loader refuses would make the next save a file that cannot be
        // opened again.
        if (!EditableItems::checkForScene(EditableItems::fileTag(*editCopy), *elemList))
            return false;

        EditableItems::prepareForScene(*editCopy);
        T* recorded = EditableItems::copyItem(*editCopy);
        if (editOriginal) {
            changeList->recordChange(recorded, editOriginal);
        } else {
            changeList->recordAddition(recorded);
            // A second apply without reselecting changes the item just added.
            editOriginal = recorded;
        }
        return true;
    }

    void activate(QWidget* parent, QBoxLayout* layout, int index) override {
        requireInactive();
        const std::pair<T*, T*> elem = changeList->getElem(index);
        editOriginal = elem.second;
        delete editCopy;
        editCopy = EditableItems::copyItem(*elem.first);
        buildEditor(parent, layout);
    }

    void makeInactive() override {
        elemList.reset();
        rows.reset();
        delete editWidget.data();
        editWidget = nullptr;
        delete editCopy;
        editCopy = nullptr;
        editOriginal = nullptr;
    }

    void newItemTypes(QStringList& names) const override {
        for (const auto& f : factories) names.append(f->menuText);
    }

    void createNew(QWidget* parent, QBoxLayout* layout, int kind) override {
        if (kind < 0 || kind >= static_cast<int>(factories.size()))
            programmingError("EditableObjImpl::createNew: no such kind of item");
        editOriginal = nullptr;
        T* item = factories[static_cast<size_t>(kind)]->create();
        if (editCopy != item) delete editCopy;
        editCopy = item;
        buildEditor(parent, layout);
    }

    int listItems() override {
        listed = changeList->visibleEntries();
        return static_cast<int>(listed.size());
    }
    QString listedName(int index) const override {
        return itemName(*changeList->currentVersion(listed[static_cast<size_t>(index)]));
    }

    bool deleteItem(int index) override {
        if (index < 0 || index >= static_cast<int>(changeList->visibleEntries().size()))
            return false;
        changeList->recordRemoval(changeList->getElem(index).second);
        return true;
    }

    bool isActive() const override { return editCopy != nullptr; }
    bool editsNewItem() const override { return editCopy && !editOriginal; }
    QWidget* editorWidget() const override { return editWidget.data(); }
    PropertyRowFactory* editorRows() const override { return rows.get(); }

    // The item being edited (a copy or a new item), null while inactive.
    T* editedCopy() const { return editCopy; }
    // The list entry the edit will change, null for a new item not yet applied.
    T* editedOriginal() const { return editOriginal; }

private:
    void requireInactive() const {
        if (editWidget || elemList || editCopy)
            programmingError("make Inactive has to be called before calling this again");
    }

    void buildEditor(QWidget* parent, QBoxLayout* layout) {
        if (editWidget || elemList || !editCopy)
            programmingError("make Inactive has to be called before calling this again");
        editWidget = new QWidget(parent);
        // The rows at their natural height; the dock's free room stays below the Apply button.
        editWidget->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
        auto* rowsLayout = new QVBoxLayout(editWidget);
        rowsLayout->setContentsMargins(0, 0, 0, 0);
        elemList = std::make_unique<Reader::PropertyList>();
        rows = std::make_unique<PropertyRowFactory>(rowsLayout, editWidget, rowKinds);
        editCopy->getProperties(*elemList);
        for (const auto& elem : *elemList) elem->createEditor(*rows);
        layout->addWidget(editWidget);
        editWidget->show();
    }

    std::vector<std::unique_ptr<AddableObject<T>>> factories;
    ChangedElemVec<T>* changeList;  // of the document's scene, not owned
    // Owned; guarded because it is also a child of the dock, which may be destroyed first.
    QPointer<QWidget> editWidget;
    std::unique_ptr<Reader::PropertyList> elemList;
    std::unique_ptr<PropertyRowFactory> rows;
    T* editCopy = nullptr;      // owned
    T* editOriginal = nullptr;  // an entry of the change list, not owned
    std::vector<T*> listed;     // what listItems took: entries of the change list
};
