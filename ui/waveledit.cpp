// Painting and mouse dragging of the eye's sensitivity curves, and the fixed CIE curves.
#include "ui/waveledit.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "scene/cie1931.h"

namespace {

const Qt::GlobalColor kChannelColors[3] = {Qt::red, Qt::green, Qt::blue};

float channelEnd(const EyeChannel& c, int handle) {
    return handle == WavelEdit::Lo ? c.lo : handle == WavelEdit::Peak ? c.peak : c.hi;
}

}  // namespace

WavelEdit::WavelEdit(const Eye& eyeToCopy, QWidget* parent) : QWidget(parent) {
    eye = eyePresets().front().eye;
    eye = eyeToCopy;
    setMinimumSize(400, 120);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setMouseTracking(true);
    setCursor(isEditable() ? Qt::OpenHandCursor : Qt::ArrowCursor);
    updateView();
}

void WavelEdit::setEye(const Eye& newEye) {
    const bool wasEditable = isEditable();
    eye = newEye;
    if (!isEditable() && dragging) {
        // A drag cannot continue on curves that are not editable.
        dragging = false;
    }
    if (!dragging) updateView();
    setCursor(isEditable() ? Qt::OpenHandCursor : Qt::ArrowCursor);
    update();
    if (wasEditable != isEditable()) emit editableChanged(isEditable());
}

double WavelEdit::cieScale() {
    // The same table the shading uses, sampled finely over its whole span.
    static const double scale = [] {
        double largest = 0.0;
        for (double nm = Cie1931::kLo; nm <= Cie1931::kHi; nm += 0.25) {
            double xyz[3];
            Cie1931::matchFast(nm, xyz);
            largest = std::max({largest, xyz[0], xyz[1], xyz[2]});
        }
        return 1.0 / largest;
    }();
    return scale;
}

double WavelEdit::plottedValue(int channel, double nm) const {
    if (isEditable()) return eye.channel[channel].sensitivity(float(nm));
    double xyz[3];
    Cie1931::matchFast(nm, xyz);
    return xyz[channel] * cieScale();
}

void WavelEdit::viewRange(const Eye& e, float& lo, float& hi) {
    float smallestLo = e.channel[0].lo;
    float largestHi = e.channel[0].hi;
    for (int c = 1; c < 3; ++c) {
        smallestLo = std::min(smallestLo, e.channel[c].lo);
        largestHi = std::max(largestHi, e.channel[c].hi);
    }
    lo = smallestLo * 1.4f - largestHi * 0.4f;
    if (!(lo > 0.0f)) lo = 0.0f;
    hi = largestHi * 1.25f - smallestLo * 0.25f;
}

void WavelEdit::updateView() {
    minLo = std::min({eye.channel[0].lo, eye.channel[1].lo, eye.channel[2].lo});
    maxHi = std::max({eye.channel[0].hi, eye.channel[1].hi, eye.channel[2].hi});
    if (isEditable()) {
        viewRange(eye, viewMin, viewMax);
    } else {
        // The span of the colour-matching functions (outside it they are below 1e-4).
        viewMin = float(Cie1931::kLo);
        viewMax = float(Cie1931::kHi);
    }

    // Wavelength viewMin -> x = 45, viewMax -> x = width - 8; sensitivity 0 -> y = height - 20,
    // 1 -> y = 30.
    const double span = std::max(double(viewMax) - double(viewMin), 1e-6);
    const double sx = (width() - marginRight - marginLeft) / span;
    const double sy = double(marginTop) - double(height() - marginBottom);
    toWidget = QTransform(sx, 0.0, 0.0, sy, marginLeft - double(viewMin) * sx,
                          double(height() - marginBottom));
    toCurve = toWidget.inverted();
    updateHandles();
}

void WavelEdit::updateHandles() {
    for (int c = 0; c < 3; ++c)
        for (int h = 0; h < 3; ++h) handlePos[c * 3 + h] = handleCentre(c, h).toPoint();
}

QPointF WavelEdit::handleCentre(int channel, int handle) const {
    return toWidget.map(
        QPointF(channelEnd(eye.channel[channel], handle), handle == Peak ? 1.0 : 0.0));
}

void WavelEdit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!dragging) updateView();
}

void WavelEdit::paintEvent(QPaintEvent*) {
    if (!dragging) updateView();

    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    // Plot area.
    const QPointF bottomLeft = toWidget.map(QPointF(viewMin, 0.0));
    const QPointF topRight = toWidget.map(QPointF(viewMax, 1.0));
    p.fillRect(QRectF(bottomLeft, topRight).normalized(), Qt::white);

    // Labels.
    p.setFont(labelFont());
    p.setPen(Qt::black);
    const int textHeight = p.fontMetrics().height();
    // Sensitivity ticks: 0, 0.2, ..., 1 of the plot; the scaled CIE curves get ticks at their
    // own values 0, 0.5, 1, 1.5 instead.
    std::vector<std::pair<double, QString>> ticks;
    if (isEditable()) {
        for (int i = 0; i <= 5; ++i) ticks.emplace_back(i * 0.2, QString::number(i * 0.2, 'g', 1));
    } else {
        for (int i = 0; i * 0.5 * cieScale() <= 1.0; ++i)
            ticks.emplace_back(i * 0.5 * cieScale(), QString::number(i * 0.5, 'g', 2));
    }
    for (const auto& [s, label] : ticks) {
        const QPointF at = toWidget.map(QPointF(viewMin, s));
        const QRectF box(0.0, at.y() - textHeight / 2.0, marginLeft - 6.0, textHeight);
        p.drawText(box, Qt::AlignRight | Qt::AlignVCenter, label);
    }
    const double axisY = toWidget.map(QPointF(viewMin, 0.0)).y();
    for (const AxisLabel& label : wavelengthLabels()) {
        p.drawText(label.box, Qt::AlignHCenter | Qt::AlignTop, label.text);
        const double x = toWidget.map(QPointF(label.text.toDouble(), 0.0)).x();
        p.drawLine(QPointF(x, axisY), QPointF(x, axisY + 3.0));
    }

    // Axes and grid.
    p.setPen(QPen(Qt::black, 3));
    p.drawLine(toWidget.map(QPointF(viewMin, 0.0)), toWidget.map(QPointF(viewMax, 0.0)));
    p.drawLine(toWidget.map(QPointF(viewMin, 0.0)), toWidget.map(QPointF(viewMin, 1.0)));
    p.setPen(QPen(Qt::black, 1));
    for (const auto& tick : ticks) {
        const double s = tick.first;
        if (s <= 0.0 || s >= 1.0) continue;  // the axis, and the top of the plot
        p.drawLine(toWidget.map(QPointF(viewMin, s)), toWidget.map(QPointF(viewMax, s)));
    }

    if (!isEditable()) {
        paintCieCurves(p);
        return;
    }
    paintChannelCurves(p);

    // Handles.
    p.setPen(Qt::black);
    p.setBrush(Qt::black);
    for (int c = 0; c < 3; ++c) {
        for (int h = 0; h < 3; ++h) {
            const QPointF pt = handleCentre(c, h);
            const QRect square(int(pt.x() - handleSize / 2), int(pt.y() - handleSize / 2),
                               handleSize, handleSize);
            p.drawRoundedRect(square, handleCornerRadius, handleCornerRadius);
            handlePos[c * 3 + h] = pt.toPoint();
        }
    }
}

QFont WavelEdit::labelFont() const {
    QFont f = font();
    f.setPixelSize(labelPixelSize);
    return f;
}

QSize WavelEdit::sizeHint() const { return QSize(600, 300); }

double WavelEdit::labelStep(double span, double maxLabels) {
    const double raw = span / std::max(maxLabels, 1.0);
    double power = std::pow(10.0, std::floor(std::log10(std::max(raw, 1e-9))));
    for (;;) {
        for (const double m : {1.0, 2.0, 5.0})
            if (m * power >= raw) return m * power;
        power *= 10.0;
    }
}

std::vector<WavelEdit::AxisLabel> WavelEdit::wavelengthLabels() const {
    std::vector<AxisLabel> labels;
    const QFontMetricsF metrics(labelFont());
    const double lo = viewMin, hi = viewMax;
    const double plotWidth = double(width() - marginLeft - marginRight);
    if (!(hi > lo) || plotWidth <= 0.0) return labels;
    // Room for labels as wide as the widest value shown.
    const double widest = metrics.horizontalAdvance(QString::number(std::max(std::fabs(lo),
                                                                              std::fabs(hi)),
                                                                     'f', 0)) +
                          labelGap;
    const double step = labelStep(hi - lo, std::floor(plotWidth / widest));
    const double y = toWidget.map(QPointF(lo, 0.0)).y() + 1.0;
    double lastRight = -1e9;
    for (double w = std::ceil(lo / step) * step; w <= hi + 1e-6 * step; w += step) {
        const QString text = QString::number(w, 'g', 6);
        const double textWidth = metrics.horizontalAdvance(text);
        const double centre = toWidget.map(QPointF(w, 0.0)).x();
        // The first and last labels stay inside the widget.
        const double left = std::clamp(centre - textWidth / 2.0, 0.0, width() - textWidth);
        if (left < lastRight + labelGap / 2.0) continue;
        labels.push_back({QRectF(left, y, textWidth, metrics.height()), text});
        lastRight = left + textWidth;
    }
    return labels;
}

void WavelEdit::paintChannelCurves(QPainter& p) const {
    // 201 segments from lo, the last one ending a step beyond hi where the sensitivity is 0.
    for (int c = 0; c < 3; ++c) {
        const EyeChannel& ch = eye.channel[c];
        p.setPen(QPen(kChannelColors[c], 3));
        const float step = (ch.hi - ch.lo) / 200.0f;
        QPainterPath path;
        for (int k = 0; k <= curveSegments; ++k) {
            const float w = ch.lo + float(k) * step;
            const QPointF pt = toWidget.map(QPointF(w, ch.sensitivity(w)));
            if (k == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
        p.drawPath(path);
    }
}

void WavelEdit::paintCieCurves(QPainter& p) const {
    // x-bar, y-bar, z-bar in red, green, blue, every cieStep nm over the shown span; no handles.
    const int samples = int(std::lround((double(viewMax) - double(viewMin)) / cieStep));
    for (int c = 0; c < 3; ++c) {
        p.setPen(QPen(kChannelColors[c], 3));
        QPainterPath path;
        for (int k = 0; k <= samples; ++k) {
            const double nm = double(viewMin) + k * cieStep;
            const QPointF pt = toWidget.map(QPointF(nm, plottedValue(c, nm)));
            if (k == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
        p.drawPath(path);
    }
}

void WavelEdit::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEditable()) return;
    const QPointF at = event->position();
    double best = 0.0;
    int bestIndex = -1;
    for (int i = 0; i < 9; ++i) {
        const double d = std::hypot(at.x() - handlePos[i].x(), at.y() - handlePos[i].y());
        if (bestIndex < 0 || d < best) {
            best = d;
            bestIndex = i;
        }
    }
    if (bestIndex < 0 || !(best < pickRadius)) return;
    dragging = true;
    dragChannel = bestIndex / 3;
    dragHandle = bestIndex % 3;
    setCursor(Qt::ClosedHandCursor);
    emit dataChanged();
}

void WavelEdit::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging || !isEditable()) return;
    float x = float(toCurve.map(event->position()).x());
    const EyeChannel& ch = eye.channel[dragChannel];
    float lo = ch.lo, peak = ch.peak, hi = ch.hi;
    switch (dragHandle) {
        case Lo:
            x = std::min(x, peak - minGap);
            lo = std::max(x, 0.0f);
            break;
        case Peak:
            x = std::max(x, lo + minGap);
            peak = std::min(x, hi - minGap);
            break;
        default:
            hi = std::max(x, peak + minGap);
            break;
    }
    eye.channel[dragChannel] = EyeChannel(lo, peak, hi);
    update();
}

void WavelEdit::mouseReleaseEvent(QMouseEvent*) {
    dragging = false;
    setCursor(isEditable() ? Qt::OpenHandCursor : Qt::ArrowCursor);
    update();
}
