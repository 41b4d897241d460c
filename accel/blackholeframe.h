// Where the black hole's light paths lie in the scene for the current observer: the path-plane
// axis xGRT (unit, from the hole towards the observer), the centre that path coordinate (0, 0)
// maps to, and the table of paths generated for the observer's distance.
#pragma once

#include <future>
#include <memory>

#include "geometry/boundingbox.h"
#include "accel/lightpathtree.h"
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

    // What prepare() does with a table that no longer fits the observer's distance.
    enum class TableUpdate {
        Wait,     // generate it now (or wait for the one growing for it): exact pictures
        KeepOld,  // keep drawing with the old one while the new one grows on another thread
    };

    BlackHoleFrame() = default;
    BlackHoleFrame(const BlackHoleFrame&) = delete;
    BlackHoleFrame& operator=(const BlackHoleFrame&) = delete;
    ~BlackHoleFrame();

    // Sets the axis and centre for an observer at observer and a hole of Schwarzschild radius
    // rs at hole, and regenerates the table when the observer's distance or the hole changed.
    // With KeepOld, a table that differs from the wanted one only in the observer's distance
    // stays in use while the new one grows on a thread of its own (the live loop flying past the
    // hole: a regeneration takes tens of milliseconds); a later prepare() takes the new table
    // over once it is ready. A table for another hole, other parameters or none at all is
    // generated on the spot either way. GUI thread, between frames (the table is read without
    // locks while rendering; it changes only here).
    void prepare(const Vec4f& observer, const Vec4f& hole, float rs,
                 TableUpdate update = TableUpdate::Wait);
    // Whether a table is growing on another thread.
    bool regenerating() const { return growing_.valid(); }

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

private:
    // Takes the grown table over if it suits the observer at distance rObs better than the
    // current one; waits for it first if wait, else only if it is ready.
    void adoptGrown(bool wait, float rObs, float rs);

    // The table growing on another thread (valid while it grows or waits to be taken over), and
    // its storage, made when the first one starts (still pictures never need it); declared last
    // so that the thread ends before the storage goes.
    std::unique_ptr<LightPathTree> grown_;
    std::future<void> growing_;
};
