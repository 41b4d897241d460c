// The edit dock: pick a category (objects, colours, textures) and one of its items, edit its
// properties in generated rows and apply; create items from a pop-up menu, delete them with a
// button. Edits become requests in the scene's change lists; the dock rebuilds itself whenever
// the document has taken changes over (sceneContentChanged), staying on the category and item
// being edited. An addition or deletion that would leave the scene without what it needs to be
// drawn (objects without any texture, textures without any colour) is refused, and a red line
// under the rows says why; so is deleting or renaming the colour "default", which every scene
// file gets back when it is loaded.
#pragma once

#include <QDockWidget>
#include <memory>
#include <vector>

class DocRT;
class EditableObj;
class ItemListModel;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSignalMapper;
class QToolButton;

namespace Ui {
class DockEditObjects;
}

class DockEditObjects : public QDockWidget {
    Q_OBJECT
public:
    // GUI thread only. The document is not owned and must outlive the dock.
    DockEditObjects(QWidget* parent, DocRT* doc);
    ~DockEditObjects() override;

    // Read access for the main window's tests and our own.
    QComboBox* categoryCombo() const;
    QComboBox* itemCombo() const;
    QToolButton* newButton() const;
    QToolButton* deleteButton() const;
    QPushButton* applyButton() const;
    QMenu* newItemMenu() const { return newMenu; }
    // The red line telling why the last apply or delete was refused; hidden when it was not.
    QLabel* refusalLine() const;
    int editorCount() const { return static_cast<int>(editors.size()); }
    EditableObj* editor(int category) const;
    // The adapter of the category shown in catNames, null when none.
    EditableObj* currentEditor() const;

signals:
    // Emitted whenever the dock is hidden, so that the main window's menu entry follows it.
    void dialogCanBeShown();

public slots:
    void updateUI();
    void reloadUI();
    void catIndexChanged(int index);
    void objIndexChanged(int index);
    void applyChanges();
    void createNewObject(int i);
    void deleteSelectedObject();

protected:
    void hideEvent(QHideEvent* event) override;
    // While the dock is shown, the scene's text for the next edit's undo is written ahead.
    void showEvent(QShowEvent* event) override;

private:
    // Asks the document to write the undo text ahead once the frame step that may be running
    // has returned (a scene just taken over may still have its tree built).
    void prepareUndoText();
    void createEditors();
    void selectCategory(int index, bool activate);
    void refreshKeepingSelection();
    // Rebuilds the item list of the shown category and edits its index-th item (the last one when
    // index is past the end).
    void refreshSelecting(int index);
    // Whether the scene can still be drawn with one more (change 1) or one fewer (change -1) item
    // of the shown category, besides the edits already recorded; shows or clears the reason.
    bool sceneCanTake(int change);
    // Whether the edit or deletion (deleting) of the shown item keeps the colour "default" first
    // in the list under its name; shows or clears the reason. A scene file cannot hold its
    // absence: loading puts the built-in "default" back in front of the colours.
    bool keepsDefaultColor(bool deleting);
    void showRefusal(const QString& reason);
    void makeAllInactive();

    std::unique_ptr<Ui::DockEditObjects> ui;
    std::vector<std::unique_ptr<EditableObj>> editors;  // objects, colours, textures
    DocRT* doc;
    QMenu* newMenu = nullptr;         // owned by the dock (child)
    QSignalMapper* mapper = nullptr;  // owned by the dock (child)
    ItemListModel* itemList = nullptr;  // the item combo's model, owned by the combo
    // How many letters of a name the item combo asks room for.
    static constexpr int kItemComboLetters = 16;
};
