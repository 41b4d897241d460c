#include "ui/itemlistmodel.h"

#include <QComboBox>
#include <QListView>

#include "ui/editableobj.h"

ItemListModel::ItemListModel(QObject* parent) : QAbstractListModel(parent) {}

ItemListModel* ItemListModel::listIn(QComboBox* combo, int letters) {
    auto* list = new ItemListModel(combo);
    combo->setModel(list);
    if (auto* rows = qobject_cast<QListView*>(combo->view())) rows->setUniformItemSizes(true);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(letters);
    return list;
}

void ItemListModel::show(EditableObj* category) {
    beginResetModel();
    shown = category;
    count = category ? category->listItems() : 0;
    endResetModel();
}

int ItemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count;
}

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
    if (!shown || !index.isValid() || role != Qt::DisplayRole) return QVariant();
    return shown->listedName(index.row());
}
