// Where the black hole's light paths lie in the scene for the current observer: the path-plane
// axis xGRT (unit, from the hole towards the observer), the centre that path coordinate (0, 0)
// maps to, and the table of paths generated for the observer's distance.
#pragma once

#include "geometry/boundingbox.h"
#include "geometry/lightpathtree.h"
#include "geometry/vec4f.h"

struct alignas(16) BlackHoleFrame {
    Vec4f xGRT{1, 0, 0, 0};
    Vec4f centre{0, 0, 0, 0};
    LightPathTree paths;
    float rObs = 0.0f;  // the observer's distance from the hole
    float rs = 0.0f;    // Schwarzschild radius
    // Squared distance from the centre beyond which a path that moves outwards can hit nothing
    // more (see boundScene); infinite until a scene is bound.
    float cutRadius2 = __builtin_inff();

    // Gravitational shift of light emitted at distance rEmit from the hole and seen by the
    // observer: lambda_seen / lambda_emitted = sqrt((1 - rs/rObs) / (1 - rs/rEmit)), above 1
    // (redder) for emitters deeper in the well than the observer.
    float wavelengthFactor(float rEmit) const;

    // The observer's distance from the hole, |observer - hole| in x, y, z, computed in double: in
    // float the squared distance overflows for holes more than about 1.8e19 away.
    static float distance(const Vec4f& observer, const Vec4f& hole);

    // Sets the axis and centre for an observer at observer and a hole of Schwarzschild radius
    // rs at hole, and regenerates the table when the observer's distance or the hole changed.
    // GUI thread, between frames.
    void prepare(const Vec4f& observer, const Vec4f& hole, float rs);

    // Sets cutRadius2 for a scene inside box. Outside the photon sphere (r > 3M = 1.5 r_s) a
    // light ray that moves outwards has no turning point left: its distance from the hole only
    // grows. A path point beyond the sphere around the centre that holds the whole box, reached
    // while moving outwards, therefore ends the search. The sphere is widened by 1 % so that the
    // table's straight chords (a tenth of the distance long) never dip back into it.
    void boundScene(const BoundingBox& box);
    // Whether a path that has reached point p along direction dir (x, y, z) can hit nothing more.
    bool beyondScene(const Vec4f& p, const Vec4f& dir) const {
        Vec4f r = p - centre;
        r.w = 0.0f;
        return dot3(r, r) > cutRadius2 && dot3(r, dir) > 0.0f;
    }
};
