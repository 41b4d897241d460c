// Where the black hole's light paths lie in the scene for the current observer: the path-plane
// axis xGRT (unit, from the hole towards the observer), the centre that path coordinate (0, 0)
// maps to, and the table of paths generated for the observer's distance.
#pragma once

#include "geometry/lightpathtree.h"
#include "geometry/vec4f.h"

struct alignas(16) BlackHoleFrame {
    Vec4f xGRT{1, 0, 0, 0};
    Vec4f centre{0, 0, 0, 0};
    LightPathTree paths;
    float rObs = 0.0f;  // the observer's distance from the hole
    float rs = 0.0f;    // Schwarzschild radius

    // Gravitational shift of light emitted at distance rEmit from the hole and seen by the
    // observer: lambda_seen / lambda_emitted = sqrt((1 - rs/rObs) / (1 - rs/rEmit)), above 1
    // (redder) for emitters deeper in the well than the observer.
    float wavelengthFactor(float rEmit) const;

    // Sets the axis and centre for an observer at observer and a hole of Schwarzschild radius
    // rs at hole, and regenerates the table when the observer's distance or the hole changed.
    // GUI thread, between frames.
    void prepare(const Vec4f& observer, const Vec4f& hole, float rs);
};
