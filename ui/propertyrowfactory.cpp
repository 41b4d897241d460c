// Row creation for the generated property editor.
#include "ui/propertyrowfactory.h"

PropertyRowFactory::PropertyRowFactory(QBoxLayout* layout_, QWidget* parent_)
    : layout(layout_), parent(parent_) {}

PropertyRowFactory::~PropertyRowFactory() = default;

Reader::EditorRow* PropertyRowFactory::addRow(const QString& label, const QString& text) {
    rows.push_back(std::make_unique<PropertyRow>(layout, parent, label, text));
    return rows.back().get();
}

void PropertyRowFactory::clearErrors() {
    for (auto& r : rows) r->clearError();
}
