// Label, line edit and refusal message of one property.
#include "ui/propertyrow.h"

#include <QBoxLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTextDocument>
#include <algorithm>

namespace {
// Keeps the line edits of one editor aligned for the usual short property names.
constexpr int kLabelMinWidth = 90;

// A multi-line field that asks for no more width than a line edit (17 "x", which QLineEdit
// pads further): a spectrum's lines are short, and the default hint of 256 pixels widened the
// whole dock whenever a colour was shown.
class NarrowTextEdit : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;
    QSize sizeHint() const override {
        const int text = fontMetrics().horizontalAdvance(QLatin1Char('x')) * 17;
        return QSize(text + 2 * frameWidth(), QPlainTextEdit::sizeHint().height());
    }
};
}  // namespace

PropertyRow::PropertyRow(QBoxLayout* layout, QWidget* parent, const QString& labelText,
                         const QString& text, const QStringList& choices, bool multiLine) {
    auto* row = new QHBoxLayout();
    layout->addLayout(row);
    label = new QLabel(labelText, parent);
    label->setMinimumWidth(kLabelMinWidth);
    row->addWidget(label);
    if (multiLine) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        multi = new NarrowTextEdit(parent);
        multi->setTabChangesFocus(true);
        multi->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setText(text);
        // Tall enough for the whole text (one line per pair), from 3 up to 12 lines; a longer
        // spectrum scrolls.
        const int lines = std::clamp(multi->document()->blockCount() + 1, 3, 12);
        multi->setFixedHeight(multi->fontMetrics().lineSpacing() * lines +
                              2 * int(multi->document()->documentMargin()) +
                              2 * multi->frameWidth());
        // A text field expands by default; a fixed one that still says so makes the editor
        // claim all the dock's height, and the rows drift apart around it.
        multi->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        row->addWidget(multi, 1);
    } else if (!choices.isEmpty()) {
        combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItems(choices);
        edit = combo->lineEdit();
        edit->setText(text);
        edit->setCursorPosition(0);
        row->addWidget(combo, 1);
    } else {
        edit = new QLineEdit(parent);
        edit->setText(text);
        edit->setCursorPosition(0);
        row->addWidget(edit, 1);
    }

    error = new QLabel(parent);
    error->setWordWrap(true);
    error->setStyleSheet(QStringLiteral("color : rgb(200,0,0)"));
    error->hide();
    // Under the line edit it belongs to.
    error->setContentsMargins(kLabelMinWidth + row->spacing(), 0, 0, 0);
    layout->addWidget(error);
}

PropertyRow::~PropertyRow() = default;

QWidget* PropertyRow::field() const {
    if (multi) return multi;
    if (combo) return combo;
    return edit;
}

QString PropertyRow::text() const {
    if (multi) return multi->toPlainText().remove(QLatin1Char('\n'));
    return edit ? edit->text() : QString();
}

void PropertyRow::setText(const QString& text) {
    if (multi) {
        // A spectrum shows one line per "(wavelength;intensity)" pair.
        QString shown = text;
        shown.replace(QLatin1String(")("), QLatin1String(")\n("));
        multi->setPlainText(shown);
    } else if (edit) {
        edit->setText(text);
    }
}

void PropertyRow::showError(const QString& message) {
    if (!error) return;
    error->setText(message);
    error->show();
    if (QWidget* f = field()) f->setStyleSheet(QStringLiteral("border : 1px solid rgb(200,0,0)"));
}

void PropertyRow::clearError() {
    if (error) {
        error->clear();
        error->hide();
    }
    if (QWidget* f = field()) f->setStyleSheet(QString());
}

bool PropertyRow::hasError() const { return error && !error->isHidden(); }

QString PropertyRow::errorText() const { return hasError() ? error->text() : QString(); }

QString PropertyRow::labelText() const { return label ? label->text() : QString(); }
