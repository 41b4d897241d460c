// Fills the light-path table with Schwarzschild light paths for one observer distance and hole,
// and the gravitational wavelength factor between two static points.
#pragma once

#include <cstddef>
#include <vector>

#include "accel/lightpathtree.h"
#include "accel/photonorbit.h"

struct LightPathStatistics {
    std::size_t nodes = 0;  // pool nodes (roots not counted)
    std::size_t dropped = 0;  // points left out of nearly straight runs (see simplify)
    int rays = 0;           // paths integrated
    int deepestLevel = 0;   // longest path in points
    int deepestSplit = 0;   // most halvings of a root interval
    double milliseconds = 0;
};

// Builds the table for an observer at distance r_obs from a hole of Schwarzschild radius r_s
// (M = r_s / 2, G = c = 1), from the tree's LightPathParameters (see there for their meaning).
//
// The angle range is widened to [0, pi]: a static observer's rays point anywhere between straight
// at the hole and straight away, and a ray outside the table's range would be extrapolated by the
// linear models of the first and last root. Each root starts a path tree; at depth k every node
// holds the k-th sample of the paths of its angle interval (samples at equal steps of sigma,
// d(sigma) = ds / r, so fine near the hole) as the straight line through the samples of the two
// boundary rays. An interval is halved where
//   - its rays do not share a fate (captured vs escaping): this starts at the root, so the capture
//     boundary is resolved to the angle's float resolution long before the rays part; or
//   - the model misses the middle ray (and the quarter rays, if asked) sideways by more than the
//     tolerance angle times one sample spacing and by more than the sideways shift that the
//     tolerance angle makes in the initial angle, or along the path by more than a quarter of
//     a spacing; or
//   - an escaping direction is off by more than the tolerance angle.
// Halving for accuracy stops once the halves would be narrower than the tolerance angle (rays
// that close are one direction for the picture). One halving per level at most (the table's
// format): the halves of a failed interval take the best model they have and halve again one level
// later. Absorbing terminals sit where the paths cross r_s (1 + horizonMargin); escaping terminals
// point, from the last sample, along the asymptotic direction once the rest of the path keeps
// escapeRadius r_s from the hole and bends by less than the tolerance angle (weak-field estimate,
// also used to turn the direction).
//
// An observer at or inside the absorbing radius gets a table in which every path absorbs (static
// observers do not exist there); so does one at an infinite or NaN distance. Between the horizon and the photon sphere the same construction
// applies: every ingoing ray is captured and only outgoing rays close to radial escape.
//
// Call between frames (the table is read without locks while rendering). Every other root's tree
// grows on a second thread, started and joined within generate().
class LightPathGenerator {
public:
    // Node budget: beyond it no interval is halved any more.
    static constexpr std::size_t kMaxNodes = 400000;
    // Allowed longitudinal error of a point, as a fraction of the sample spacing.
    static constexpr double kLongitudinalFraction = 0.25;
    // Roots of a generated table (at least; more if the tree has more). The first point of a
    // path is modelled over a whole root interval or half of it, and the static observer's angle
    // maps non-linearly to the coordinate direction (tan psi = tan a / sqrt(1 - r_s / r_obs)):
    // with ten roots over [0, pi] that alone errs by about a milliradian; with 40 by less than
    // the tolerance. Narrow roots also spare the walk: every halving of an interval costs each
    // path through it two points a sample apart (the halving's own, where the halves part, and
    // the first of its half's run), and with 40 roots a path past the hole met two or three
    // halvings; with 320 one path in ten meets one. The default scene's table then holds 2.4k
    // nodes instead of 1.2k and grows in 9 to 12 ms instead of 5 to 8.
    static constexpr int kMinRootCount = 320;
    // Longest RK4 step in sigma: a local error of about 1e-8 of the distance per step, so the
    // capture boundary and the deflection angles come out to better than 1e-5.
    static constexpr double kMaxRk4Step = 0.025;
    // Most points one chord of a simplified run passes.
    static constexpr int kMaxDroppedPoints = 24;

    LightPathStatistics generate(LightPathTree& tree, float rObs, float rs);
    // Generates only when tree.needsRegeneration(rObs, rs); returns whether it did.
    bool update(LightPathTree& tree, float rObs, float rs);
    const LightPathStatistics& lastStatistics() const { return stats_; }

    // The integrator settings that generate() uses.
    static PhotonOrbitSettings orbitSettings(const LightPathParameters& p, double rObs, double rs);

private:
    enum class Kind { Regular, Absorb, Escape, Mismatch };
    struct BuildNode {
        LightPathNode node;
        int lower = -1, upper = -1;
        bool escape = false, absorb = false;
    };
    struct Interval {
        float lo, hi;
        int rayLo, rayHi;
        int rayMid = -1, rayQ1 = -1, rayQ3 = -1;
        int depth = 0;
    };
    struct Point {
        double x, y, tx, ty, time;
        double transverseScale, longitudinalScale;  // allowed errors
    };

    // Sets up the state for one generation: rootCount empty roots, no rays, no pool.
    void begin(const PhotonOrbit& orbit, const LightPathParameters& params, double rs,
               double tolerance, int rootCount);
    // Grows the trees of roots first, first + stride, ...
    void growRoots(const LightPathTree& shape, int first, int stride, float rObs);
    // Takes over roots first, first + stride, ... and the pool that other grew for them.
    void adopt(const LightPathGenerator& other, int first, int stride);
    int traceRay(float angle);
    void ensureInterior(Interval& iv);
    Kind rayKind(const PhotonPath& ray, int level) const;
    Point pointOf(const PhotonPath& ray, int level, Kind kind) const;
    // The node kind for level over the interval, whether its linear model is good enough and
    // whether the interval's paths end differently (captured vs escaping) some time.
    Kind decide(int level, const Interval& iv, bool& accurate, bool& fatesDiffer) const;
    bool canSplit(const Interval& iv) const;
    int makeNode(int level, Kind kind, const Interval& iv);
    int makeConstantNode(int level, int ray, float t0);
    int childFor(int level, Interval& iv);
    void extend(int node, int level, Interval iv);
    void extendConstant(int node, int level, int ray, float t0);
    bool terminal(int node) const;
    // Whether the chord between nodes from and to passes the points of the nodes between within
    // the tolerance angle of initial angle (see simplify), at the interval's ends and middle.
    bool chordPasses(int from, int to, const int* between, int count, float lo, float hi) const;
    // Leaves out the points of nearly straight runs below node (interval lo..hi). A path point
    // P(a) moves sideways by |dP/da| per radian of initial angle a (the node's slope); a chord
    // that passes it at a sideways distance d draws, there, what a ray d / |dP/da| away shows.
    // Points that a chord passes closer than the tolerance angle (the views choose half the
    // angle between their samples, BlackHoleFrame::automaticToleranceMrad) are left out: the
    // picture cannot tell the difference. Between two
    // points the table's polyline departs from the chord linearly, so the points bound it. Far
    // from the hole this makes one piece of many, which the tracers cross in one traversal;
    // near it every point stays.
    void simplify(int node, float lo, float hi);
    void install(LightPathTree& tree, float angleMin, float angleMax);

    const LightPathParameters* params_ = nullptr;
    const PhotonOrbit* orbit_ = nullptr;
    double rs_ = 1, tolerance_ = 1e-4;
    int rootCount_ = 0;
    std::vector<BuildNode> nodes_;  // roots first, then the pool
    std::vector<PhotonPath> rays_;  // storage reused between generations
    int rayCount_ = 0;
    LightPathStatistics stats_;
};

// Wavelength factor lambda_observed / lambda_emitted for light from a static emitter at distance
// rEmit to a static observer at rObs: sqrt((1 - rs / rObs) / (1 - rs / rEmit)). Above 1 is a
// redshift (emitter deeper in the potential), below 1 a blueshift. An emitter at or inside the
// horizon gives +infinity; an observer at or inside it (with the emitter outside) gives 0.
float gravitationalWavelengthFactor(float rObs, float rEmit, float rs);
