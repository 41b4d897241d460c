// Label, line edit and refusal message of one property.
#include "ui/propertyrow.h"

#include <QBoxLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace {
// Keeps the line edits of one editor aligned for the usual short property names.
constexpr int kLabelMinWidth = 90;
}  // namespace

PropertyRow::PropertyRow(QBoxLayout* layout, QWidget* parent, const QString& labelText,
                         const QString& text) {
    auto* row = new QHBoxLayout();
    layout->addLayout(row);
    label = new QLabel(labelText, parent);
    label->setMinimumWidth(kLabelMinWidth);
    edit = new QLineEdit(parent);
    edit->setText(text);
    edit->setCursorPosition(0);
    row->addWidget(label);
    row->addWidget(edit, 1);

    error = new QLabel(parent);
    error->setWordWrap(true);
    error->setStyleSheet(QStringLiteral("color : rgb(200,0,0)"));
    error->hide();
    // Under the line edit it belongs to.
    error->setContentsMargins(kLabelMinWidth + row->spacing(), 0, 0, 0);
    layout->addWidget(error);
}

PropertyRow::~PropertyRow() = default;

QString PropertyRow::text() const { return edit ? edit->text() : QString(); }

void PropertyRow::setText(const QString& text) {
    if (edit) edit->setText(text);
}

void PropertyRow::showError(const QString& message) {
    if (!error) return;
    error->setText(message);
    error->show();
    if (edit) edit->setStyleSheet(QStringLiteral("border : 1px solid rgb(200,0,0)"));
}

void PropertyRow::clearError() {
    if (error) {
        error->clear();
        error->hide();
    }
    if (edit) edit->setStyleSheet(QString());
}

bool PropertyRow::hasError() const { return error && !error->isHidden(); }

QString PropertyRow::errorText() const { return hasError() ? error->text() : QString(); }

QString PropertyRow::labelText() const { return label ? label->text() : QString(); }
