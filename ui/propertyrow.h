// One row of the generated property editor: the property's name, a field with its text, and a
// message line that appears when the typed text is refused. The field is a line edit, an
// editable combo box offering names (of textures or colours) while any name may be typed, or a
// multi-line field for long texts such as spectra.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "scene/dataelem.h"

class QBoxLayout;
class QWidget;

class PropertyRow : public Reader::EditorRow {
public:
    // Adds a horizontal row (label, line edit) and below it the hidden message line to layout;
    // the widgets become children of parent, which owns them. GUI thread only.
    // With choices, the field offers them; with multiLine, the field shows several lines and
    // wraps (its text() drops the line breaks the wrapping or the user put in).
    PropertyRow(QBoxLayout* layout, QWidget* parent, const QString& label, const QString& text,
                const QStringList& choices = QStringList(), bool multiLine = false);
    ~PropertyRow() override;

    QString text() const override;
    void setText(const QString& text) override;
    void showError(const QString& message) override;
    void clearError();

    bool hasError() const;
    QString errorText() const;
    QString labelText() const;
    // The line edit of a one-line field or of the combo box; null for a multi-line field.
    QLineEdit* lineEdit() const { return edit; }
    QComboBox* comboBox() const { return combo; }
    QPlainTextEdit* multiLineEdit() const { return multi; }

private:
    QWidget* field() const;

    // Guarded: the editor widget that owns them may go first.
    QPointer<QLabel> label;
    QPointer<QLineEdit> edit;
    QPointer<QComboBox> combo;
    QPointer<QPlainTextEdit> multi;
    QPointer<QLabel> error;
};
