// Row creation for the generated property editor.
#include "ui/propertyrowfactory.h"

PropertyRowFactory::PropertyRowFactory(QBoxLayout* layout_, QWidget* parent_, RowKinds kinds_)
    : layout(layout_), parent(parent_), kinds(std::move(kinds_)) {}

PropertyRowFactory::~PropertyRowFactory() = default;

Reader::EditorRow* PropertyRowFactory::addRow(const QString& label, const QString& text) {
    QStringList choices;
    if (kinds.names && kinds.nameLabels.contains(label)) choices = kinds.names();
    rows.push_back(std::make_unique<PropertyRow>(layout, parent, label, text, choices,
                                                 kinds.multiLineLabels.contains(label)));
    return rows.back().get();
}

void PropertyRowFactory::clearErrors() {
    for (auto& r : rows) r->clearError();
}
