// Fixed-width read-out fields of the status bar.
#include "ui/readoutlabel.h"

#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace {
constexpr int kPadding = 6;           // pixels on either side of the text
constexpr int kMinimumWidthEm = 3;    // the narrowest a field gets, in widths of "M"
constexpr int kSlack = 4;             // rounding of text widths
}  // namespace

ReadoutLabel::ReadoutLabel(const QString& text, const QString& widest, QWidget* parent)
    : QLabel(text, parent),
      width_(fontMetrics().horizontalAdvance(widest) + 2 * kPadding + kSlack) {
}

QSize ReadoutLabel::sizeHint() const { return QSize(width_, QLabel::sizeHint().height()); }

QSize ReadoutLabel::minimumSizeHint() const {
    const int narrow = fontMetrics().horizontalAdvance(QLatin1Char('M')) * kMinimumWidthEm;
    return QSize(std::min(width_, narrow), QLabel::minimumSizeHint().height());
}

void ReadoutLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect box = contentsRect().adjusted(kPadding, 0, -kPadding, 0);
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, box.width());
    setToolTip(shown == text() ? QString() : text());
    style()->drawItemText(&painter, box, Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(),
                          shown, foregroundRole());
}
