// The item combo's list of the edit dock: the names of one category's items, asked for only as
// the combo shows them. A scene of a million spheres had its names copied into a million strings
// and the combo's own items (250 MB beside a scene of 140 MB, and two thirds of a second on the
// GUI thread at every load and apply); the list now keeps one pointer an item, in the category's
// adapter (EditableObj::listItems), and the combo draws the few rows in view.
#pragma once

#include <QAbstractListModel>

class EditableObj;
class QComboBox;

class ItemListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ItemListModel(QObject* parent = nullptr);

    // A new list, empty, made combo's model (the combo owns it), with the combo set to ask only
    // for the rows it draws: rows of one height, and room for letters letters of a name rather
    // than for its longest name, which would ask for every name at every change of the list.
    static ItemListModel* listIn(QComboBox* combo, int letters);

    // Lists the category's items as they are now (EditableObj::listItems), or none for null. The
    // category must outlive the listing: show(nullptr) before it goes. A combo on this model
    // then takes its first row, or none, as a combo does whose items were cleared and inserted
    // again.
    void show(EditableObj* category);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    EditableObj* shown = nullptr;
    int count = 0;
};
