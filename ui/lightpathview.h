// Draws the black hole's light paths in their plane: the hole (r_s), the photon sphere
// (1.5 r_s), the observer, and the bent paths of the document's current light-path table for a
// fan of 1, 4 or 16 neighbouring initial angles, walked exactly as the bent-ray tracer walks them.
#pragma once

#include <QPointF>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "accel/lightpathtree.h"

class DocRT;
class QPainter;

// The light-path dialog's settings: the table's generation parameters (applied to the renderer's
// table on request) and the angular spacing of the drawn fan of rays.
struct LightPathDisplaySettings {
    float samplesPerUnit = 10.0f;
    float fateSigmaLimit = 30.0f;
    float escapeRadius = 10.0f;
    float horizonMargin = 0.0f;
    float toleranceMrad = 0.1f;
    int32_t extraEscapeSamples = 10;
    int32_t maxSplitDepth = 40;
    int32_t maxPathPoints = 80;
    float raySpacingDeg = 1.0f;  // between neighbouring rays of the fan
    bool checkQuarterPoints = false;
    bool automaticTolerance = true;

    LightPathParameters toParameters() const;
    void fromParameters(const LightPathParameters& p);
};

// One path as the tracer follows it, in path coordinates (hole at the origin, observer at
// (rObs, 0), +y the side the ray starts towards).
struct TracedLightPath {
    float angle = 0.0f;           // initial angle to the hole direction, radians
    std::vector<QPointF> points;  // from the observer through every table point
    bool absorbed = false;        // ends in the hole
    bool escaped = false;         // goes on straight from the second-to-last point
                                  // through the last one
};

class LightPathView : public QWidget {
    Q_OBJECT
public:
    // Longest walk of one path (the table's depth is far below).
    static constexpr int kMaxWalk = 100000;

    // The document is not owned. GUI thread only.
    explicit LightPathView(DocRT* doc, QWidget* parent = nullptr);

    // Walks the path of one initial angle through the table, as iterRayPart does: from the
    // observer to each point, stopping at an absorbing node or after the escaping one.
    static TracedLightPath tracePath(const LightPathTree& table, float rObs, float angle);
    // Initial angles (radians) of a fan of count rays centred on centreDeg, spacingDeg apart.
    static std::vector<float> fanAngles(float centreDeg, float spacingDeg, int count);
    // Initial angle (radians) below which a static observer at rObs sees every ray captured:
    // sin a = b_c sqrt(1 - r_s / r_obs) / r_obs with b_c = 3 sqrt(3) / 2 r_s, the angle past
    // 90 degrees inside the photon sphere; pi at or inside the horizon.
    static double captureAngle(double rObs, double rs);

    // The paths the widget draws now (angle fan of the fields below on the current table).
    std::vector<TracedLightPath> currentPaths() const;

    LightPathDisplaySettings settings;
    float angle = 30.0f;  // degrees: centre of the fan
    int generationCount = 1;
    float zoom = 1.0f;         // 1 shows hole and observer; larger magnifies towards the hole
    bool followAngle = false;  // the dialog follows the views' angle

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Path coordinates to widget pixels.
    QPointF toScreen(double x, double y) const;

    DocRT* doc;
    double centreX = 0.0;
    double scale = 1.0;
};
