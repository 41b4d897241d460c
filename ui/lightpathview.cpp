// Painting the light paths of the black hole's table in the path plane.
#include "ui/lightpathview.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "engine/docrt.h"
#include "accel/kdtree.h"

namespace {
// The escaping continuation is drawn this many view widths long (the painter clips it).
constexpr double kEscapeLineViews = 20.0;
constexpr double kDegToRad = M_PI / 180.0;
}  // namespace

LightPathParameters LightPathDisplaySettings::toParameters() const {
    LightPathParameters p;
    p.samplesPerUnit = samplesPerUnit;
    p.fateSigmaLimit = fateSigmaLimit;
    p.escapeRadius = escapeRadius;
    p.horizonMargin = horizonMargin;
    p.toleranceMrad = toleranceMrad;
    p.extraEscapeSamples = extraEscapeSamples;
    p.maxSplitDepth = maxSplitDepth;
    p.maxPathPoints = maxPathPoints;
    p.checkQuarterPoints = checkQuarterPoints;
    p.automaticTolerance = automaticTolerance;
    return p;
}

void LightPathDisplaySettings::fromParameters(const LightPathParameters& p) {
    samplesPerUnit = p.samplesPerUnit;
    fateSigmaLimit = p.fateSigmaLimit;
    escapeRadius = p.escapeRadius;
    horizonMargin = p.horizonMargin;
    toleranceMrad = p.toleranceMrad;
    extraEscapeSamples = p.extraEscapeSamples;
    maxSplitDepth = p.maxSplitDepth;
    maxPathPoints = p.maxPathPoints;
    checkQuarterPoints = p.checkQuarterPoints;
    automaticTolerance = p.automaticTolerance;
}

LightPathView::LightPathView(DocRT* document, QWidget* parent) : QWidget(parent), doc(document) {
    setMinimumSize(320, 240);
}

TracedLightPath LightPathView::tracePath(const LightPathTree& table, float rObs, float angle) {
    TracedLightPath path;
    path.angle = angle;
    path.points.emplace_back(rObs, 0.0);
    PathIterator it;
    it.start(table, angle);
    for (int guard = 0; guard < kMaxWalk; ++guard) {
        if (it.node->absorbs()) {
            path.absorbed = true;
            return path;
        }
        it.step();
        float x, y;
        it.point(x, y);
        path.points.emplace_back(x, y);
        if (it.node->escapes()) {
            path.escaped = true;
            return path;
        }
    }
    return path;
}

std::vector<float> LightPathView::fanAngles(float centreDeg, float spacingDeg, int count) {
    std::vector<float> angles;
    for (int i = 0; i < count; ++i) {
        const double deg = double(centreDeg) + (i - (count - 1) / 2.0) * double(spacingDeg);
        angles.push_back(float(std::clamp(deg, 0.0, 180.0) * kDegToRad));
    }
    return angles;
}

double LightPathView::captureAngle(double rObs, double rs) {
    if (rObs <= rs) return M_PI;
    const double bc = 1.5 * std::sqrt(3.0) * rs;
    const double s = std::min(1.0, bc * std::sqrt(1.0 - rs / rObs) / rObs);
    const double a = std::asin(s);
    return rObs >= 1.5 * rs ? a : M_PI - a;
}

std::vector<TracedLightPath> LightPathView::currentPaths() const {
    std::vector<TracedLightPath> paths;
    const BlackHoleFrame& hole = doc->getTree()->blackHole();
    for (float a : fanAngles(angle, settings.raySpacingDeg, generationCount))
        paths.push_back(tracePath(hole.paths, hole.rObs, a));
    return paths;
}

QPointF LightPathView::toScreen(double x, double y) const {
    return QPointF(width() / 2.0 + (x - centreX) * scale, height() / 2.0 - y * scale);
}

void LightPathView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(250, 250, 246));

    const BlackHoleFrame& hole = doc->getTree()->blackHole();
    const double rs = hole.rs, rObs = hole.rObs;
    if (!hole.paths.isGenerated() || rs <= 0.0) {
        painter.drawText(rect(), Qt::AlignCenter, tr("No light-path table yet."));
        return;
    }

    // Zoom 1 frames hole and observer; zooming in moves the centre towards the hole.
    const double z = std::max(double(zoom), 1e-3);
    const double halfExtent = std::max(0.65 * rObs, 3.0 * rs) / z;
    centreX = 0.5 * rObs / z;
    scale = 0.5 * std::min(width(), height()) / halfExtent;
    const double viewLength = kEscapeLineViews * 2.0 * halfExtent;

    // Capture cone of the observer: rays inside it fall in. The observer's angle a is drawn as
    // the coordinate direction (-sqrt(1 - r_s/r) cos a, sin a): a static observer's radial
    // lengths are stretched by 1 / sqrt(1 - r_s/r).
    const double capture = captureAngle(rObs, rs);
    const double stretch = rObs > rs ? std::sqrt(1.0 - rs / rObs) : 0.0;
    painter.setPen(QPen(QColor(200, 160, 160), 1, Qt::DotLine));
    for (double side : {1.0, -1.0}) {
        const double cx = -stretch * std::cos(capture), cy = side * std::sin(capture);
        const double dx = cx / std::hypot(cx, cy), dy = cy / std::hypot(cx, cy);
        painter.drawLine(toScreen(rObs, 0), toScreen(rObs + dx * viewLength, dy * viewLength));
    }

    // Hole and photon sphere.
    const QPointF centre = toScreen(0, 0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(centre, rs * scale, rs * scale);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(90, 90, 90), 1.2, Qt::DashLine));
    painter.drawEllipse(centre, 1.5 * rs * scale, 1.5 * rs * scale);

    // The paths.
    for (const TracedLightPath& p : currentPaths()) {
        if (p.points.empty()) continue;
        const QColor colour = p.absorbed ? QColor(200, 30, 30) : QColor(20, 80, 200);
        QPainterPath line(toScreen(p.points[0].x(), p.points[0].y()));
        for (std::size_t i = 1; i < p.points.size(); ++i)
            line.lineTo(toScreen(p.points[i].x(), p.points[i].y()));
        painter.setPen(QPen(colour, 1.5));
        painter.drawPath(line);
        const QPointF end = p.points.back();
        if (p.escaped && p.points.size() >= 2) {
            const QPointF from = p.points[p.points.size() - 2];
            const double dx = end.x() - from.x(), dy = end.y() - from.y();
            const double len = std::hypot(dx, dy);
            if (len > 0.0) {
                painter.setPen(QPen(colour.lighter(150), 1.2, Qt::DashLine));
                painter.drawLine(
                    toScreen(end.x(), end.y()),
                    toScreen(from.x() + dx / len * viewLength, from.y() + dy / len * viewLength));
            }
        } else if (p.absorbed) {
            const QPointF s = toScreen(end.x(), end.y());
            painter.setPen(QPen(QColor(255, 200, 0), 2));
            painter.drawLine(s + QPointF(-4, -4), s + QPointF(4, 4));
            painter.drawLine(s + QPointF(-4, 4), s + QPointF(4, -4));
        }
    }

    // The observer.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 150, 60));
    painter.drawEllipse(toScreen(rObs, 0), 4.0, 4.0);

    painter.setPen(Qt::black);
    painter.drawText(rect().adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignTop,
                     tr("observer at %1 r_s, capture below %2 degrees, %3 table nodes")
                         .arg(rObs / rs, 0, 'g', 4)
                         .arg(capture / kDegToRad, 0, 'f', 2)
                         .arg(hole.paths.nodeCount()));
}
