// One row of the generated property editor: the property's name, a line edit with its text, and
// a message line that appears when the typed text is refused.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QString>

#include "scene/dataelem.h"

class QBoxLayout;
class QWidget;

class PropertyRow : public Reader::EditorRow {
public:
    // Adds a horizontal row (label, line edit) and below it the hidden message line to layout;
    // the widgets become children of parent, which owns them. GUI thread only.
    PropertyRow(QBoxLayout* layout, QWidget* parent, const QString& label, const QString& text);
    ~PropertyRow() override;

    QString text() const override;
    void setText(const QString& text) override;
    void showError(const QString& message) override;
    void clearError();

    bool hasError() const;
    QString errorText() const;
    QString labelText() const;
    QLineEdit* lineEdit() const { return edit; }

private:
    // Guarded: the editor widget that owns them may go first.
    QPointer<QLabel> label;
    QPointer<QLineEdit> edit;
    QPointer<QLabel> error;
};
