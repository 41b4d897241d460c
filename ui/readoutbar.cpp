// Proportional shrinking comes from the layout: each field ignores its size hint and stretches by
// its full width, and the row as a whole asks for the sum of the full widths.
#include "ui/readoutbar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <algorithm>

#include "ui/readoutlabel.h"

ReadoutBar::ReadoutBar(QWidget* parent) : QWidget(parent), row(new QHBoxLayout(this)) {
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);  // never wider than the fields
}

void ReadoutBar::addReadout(ReadoutLabel* label) {
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(label, label->fieldWidth());
    label->installEventFilter(this);
    updateGeometry();
}

QSize ReadoutBar::sizeHint() const {
    int width = 0, height = 0;
    for (int i = 0; i < row->count(); ++i) {
        const auto* label = qobject_cast<const ReadoutLabel*>(row->itemAt(i)->widget());
        if (!label || label->isHidden()) continue;
        width += label->fieldWidth();
        height = std::max(height, label->sizeHint().height());
    }
    return QSize(width, height);
}

QSize ReadoutBar::minimumSizeHint() const { return QSize(0, sizeHint().height()); }

bool ReadoutBar::eventFilter(QObject* watched, QEvent* event) {
    // A read-out shown or hidden changes the width the row asks for.
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
        updateGeometry();
    return QWidget::eventFilter(watched, event);
}
