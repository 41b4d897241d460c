#include "ui/itemlistmodel.h"

#include <QComboBox>
#include <QListView>
#include <QProxyStyle>

#include "ui/editableobj.h"

ItemListModel::ItemListModel(QObject* parent) : QAbstractListModel(parent) {}

namespace {

// A combo box whose list drops down below it. In the other way (the list laid over the combo
// with the current item in its place, which Fusion uses) the combo measures every row before
// it opens: half a second for a million names.
class ListBelowStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_ComboBox_Popup) return 0;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

}  // namespace

ItemListModel* ItemListModel::listIn(QComboBox* combo, int letters) {
    // Before the list's view is made: the view takes its scroll bar from the style.
    auto* style = new ListBelowStyle();
    style->setParent(combo);
    combo->setStyle(style);
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
