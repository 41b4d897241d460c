// The program icon, drawn like the desktop entry's SVG: a black hole whose ring of light is
// blue-shifted on the side coming toward the observer and red-shifted on the side going away,
// against a starry sky. The coordinates are the SVG's (a 256 x 256 view box).
#include "ui/appicon.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

namespace appicon {
namespace {

constexpr double kViewBox = 256.0;

// Blue on the approaching (left) side, white in the middle, red on the receding side, across
// the bounding box of whatever it strokes, as the SVG's objectBoundingBox gradient.
QPen shiftPen(const QRectF& box, double width) {
    QLinearGradient shift(box.left(), 0.0, box.right(), 0.0);
    shift.setColorAt(0.0, QColor(0x4f, 0x7d, 0xff));
    shift.setColorAt(0.5, QColor(0xf4, 0xf0, 0xe6));
    shift.setColorAt(1.0, QColor(0xff, 0x5a, 0x3c));
    return QPen(QBrush(shift), width, Qt::SolidLine, Qt::FlatCap);
}

}  // namespace

QImage paint(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kViewBox, size / kViewBox);

    const QRectF tile(8, 8, 240, 240);
    QRadialGradient sky(tile.center(), 0.7 * tile.width());
    sky.setColorAt(0.0, QColor(0x1b, 0x21, 0x40));
    sky.setColorAt(1.0, QColor(0x05, 0x06, 0x0d));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(tile, 40, 40);

    p.setBrush(Qt::white);
    const struct {
        double x, y, r;
    } stars[] = {{48, 52, 3}, {206, 44, 2.5}, {214, 200, 3}, {40, 196, 2}, {128, 30, 2}};
    for (const auto& s : stars) p.drawEllipse(QPointF(s.x, s.y), s.r, s.r);

    // The disk behind the hole, the photon ring, the hole, then the near half of the disk.
    p.setBrush(Qt::NoBrush);
    const QRectF disk(28, 98, 200, 68);
    p.setPen(shiftPen(disk, 14));
    p.drawEllipse(disk);
    const QRectF ring(66, 66, 124, 124);
    p.setPen(shiftPen(ring, 10));
    p.drawEllipse(ring);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(128, 128), 52, 52);
    p.setBrush(Qt::NoBrush);
    // The SVG's arc "M 36 138 A 100 34 0 0 0 220 138": the short way below its centre
    // (128, 124.67), from 203.08 to 336.92 degrees.
    constexpr double kArcFrom = 203.08, kArcSweep = 133.85;
    QPainterPath nearHalf;
    nearHalf.moveTo(36, 138);
    nearHalf.arcTo(QRectF(28, 124.67 - 34, 200, 68), kArcFrom, kArcSweep);
    p.setPen(shiftPen(nearHalf.boundingRect(), 14));
    p.drawPath(nearHalf);
    return image;
}

QIcon icon() {
    QIcon result;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        result.addPixmap(QPixmap::fromImage(paint(size)));
    return result;
}

void install() { QApplication::setWindowIcon(icon()); }

}  // namespace appicon
