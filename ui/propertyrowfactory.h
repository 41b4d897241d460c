// Builds the rows of the generated property editor in one box layout and owns them.
#pragma once

#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "scene/dataelem.h"
#include "ui/propertyrow.h"

class QBoxLayout;
class QWidget;

// Which rows get which field, by the property's label: rows naming another item offer the names
// there are (and take any typed one), long texts get several lines.
struct RowKinds {
    QStringList nameLabels;
    std::function<QStringList()> names;  // asked when such a row is built
    QStringList multiLineLabels;
};

class PropertyRowFactory : public Reader::EditorRowFactory {
public:
    // Rows go into layout, their widgets become children of parent. GUI thread only.
    PropertyRowFactory(QBoxLayout* layout, QWidget* parent, RowKinds kinds = RowKinds());
    ~PropertyRowFactory() override;

    Reader::EditorRow* addRow(const QString& label, const QString& text) override;

    void clearErrors();
    int rowCount() const { return static_cast<int>(rows.size()); }
    PropertyRow* row(int i) const { return rows.at(static_cast<size_t>(i)).get(); }

private:
    QBoxLayout* layout;
    QWidget* parent;
    RowKinds kinds;
    std::vector<std::unique_ptr<PropertyRow>> rows;
};
