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
    //
    // sampleAngle, when above 0, is the finest scene-frame angle (radians) between neighbouring
    // samples of the view about to be drawn (Camera::finestSampleAngle). With the parameters'
    // automaticTolerance it sets their tolerance (automaticToleranceMrad): a table drawn at the
    // wanted tolerance or finer serves. A view that needs a finer table gets one at once; a table
    // finer than needed is coarsened only after kCoarsenAfter frames in a row found it too fine,
    // to the finest tolerance those frames wanted, so that views of different sizes or speeds
    // drawn in turn share one table instead of regenerating it for each. Still pictures (Wait)
    // always get exactly the tolerance of their own view.
    void prepare(const Vec4f& observer, const Vec4f& hole, float rs,
                 TableUpdate update = TableUpdate::Wait, float sampleAngle = 0.0f);
    // The automatic tolerance (milliradians) for samples sampleAngle apart: half of it, so that a
    // point of the picture moves by at most half the distance between samples, rounded down to
    // a ladder of steps of 2^(1/8) (a view's speed changes it only in such steps) and kept within
    // [kFinestToleranceMrad, kCoarsestToleranceMrad].
    static float automaticToleranceMrad(float sampleAngle);
    // Finer tables grow slowly and take much memory (4K pictures with 16 samples a pixel would
    // ask for 0.025 mrad); coarser ones would stretch the table's own approximations (its first
    // points and the regeneration distance are sized for about a milliradian at most).
    static constexpr float kFinestToleranceMrad = 0.05f;
    static constexpr float kCoarsestToleranceMrad = 0.4f;
    static constexpr int kCoarsenAfter = 8;
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
    // Sets paths.parameters.toleranceMrad for a view whose samples are sampleAngle apart (see
    // prepare).
    void chooseTolerance(float sampleAngle, TableUpdate update);

    // Frames in a row that found the wanted table finer than they need, and the finest
    // tolerance they asked for.
    int tooFineFrames_ = 0;
    float tooFineWanted_ = 0.0f;

    // The table growing on another thread (valid while it grows or waits to be taken over), and
    // its storage, made when the first one starts (still pictures never need it); declared last
    // so that the thread ends before the storage goes.
    std::unique_ptr<LightPathTree> grown_;
    std::future<void> growing_;
};
