// One point of a precomputed light path near the black hole, valid for an interval of initial
// angles: the point moves linearly with the angle, and the node links to the next point(s).
#pragma once

// Path coordinates: (0, 0) is the hole's centre, +x points towards the observer, +y is the side
// towards which the ray starts. A node of depth k holds the k-th point of every path whose initial
// angle lies in the node's interval (the interval is implied by the way down from the root).
struct LightPathNode {
    // Continuation for the lower half of the interval, or the only continuation.
    LightPathNode* lower = nullptr;
    // Continuation for the upper half; null when the interval is not split here.
    LightPathNode* upper = nullptr;
    // The point at initial angle a is (x0 + dx (a - t0), y0 + dy (a - t0)).
    float x0 = 0.0f, y0 = 0.0f, dx = 0.0f, dy = 0.0f, t0 = 0.0f;
    // Not read by the lookup. Coordinate time (scene units, light speed 1) that light needs from
    // the observer to this point, time0 + dtime (a - t0), Shapiro delay included: absorbing
    // nodes carry the time of the last point outside the horizon, escaping nodes the time to
    // their direction point along the straight continuation.
    float time0 = 0.0f, dtime = 0.0f;
    // Not read by the lookup. The sampling parameter of this depth (see LightPathGenerator).
    float sigma = 0.0f;

    // Terminal: the path falls into the hole.
    bool absorbs() const { return lower == nullptr && upper == nullptr; }
    // Terminal: the path leaves; its last segment points at this node's point and then goes on
    // straight without limit.
    bool escapes() const { return lower == nullptr && upper != nullptr; }

    // The point at initial angle a, evaluated in double precision and rounded to float.
    void point(float a, float& x, float& y) const {
        const double da = double(a) - double(t0);
        x = float(double(x0) + double(dx) * da);
        y = float(double(y0) + double(dy) * da);
    }
};

static_assert(sizeof(LightPathNode) == 2 * sizeof(void*) + 8 * sizeof(float),
              "two links and eight 32-bit fields");
