// The table of precomputed black-hole light paths, indexed by a ray's initial angle to the hole,
// and the iterators that walk one path (or four at once) from the observer outwards.
#pragma once

#include <cstddef>
#include <vector>

#include "accel/lightpathnode.h"
#include "geometry/vec4f.h"

// Knobs of LightPathGenerator. The lookup never reads them. Distances are in units of the
// Schwarzschild radius r_s; sigma is the sampling parameter along a path, d(sigma) = ds / r
// (arc length over distance from the hole: one unit is one radian of orbit close to the hole,
// a factor e in distance on a radial leg).
struct LightPathParameters {
    // Path points per unit of sigma (a point every 0.1 by default: ten per radian of orbit).
    float samplesPerUnit = 10.0f;
    // A path still undecided after the table's last level is integrated on for this much sigma
    // (about five orbits) to learn whether it escapes; one that is still orbiting counts as
    // captured.
    float fateSigmaLimit = 30.0f;
    // A path may be continued as a straight line only when the rest of it keeps at least this
    // distance (r_s units) from the hole.
    float escapeRadius = 10.0f;
    // Paths are absorbed at r = r_s (1 + horizonMargin).
    float horizonMargin = 0.0f;
    // Samples an escaping path keeps beyond the level at which it could go straight, so that
    // neighbours that may go straight a few levels later still share nodes with it.
    int extraEscapeSamples = 10;
    // Largest number of halvings of a root's angle interval (the float resolution of the angle
    // stops splitting earlier).
    int maxSplitDepth = 40;
    // Tolerance in milliradians. The linear model of a point may miss the true path sideways by
    // this angle seen over one sample spacing, or by the shift that a change of the initial angle
    // by this much makes; an escaping direction may be off likewise; a path is continued straight
    // only when it would still bend by less; intervals are not halved for accuracy below twice
    // this width.
    float toleranceMrad = 0.1f;
    // Whether the frames that draw with the table choose toleranceMrad themselves, from the
    // finest angle between neighbouring samples of their views (BlackHoleFrame::prepare). A fixed
    // tolerance is for studying the table; the automatic one is as coarse as the picture allows.
    // Not part of ==: a table depends on the tolerance, not on who chose it.
    bool automaticTolerance = true;
    // Longest path in points (depth of the tree below a root).
    int maxPathPoints = 80;
    // Test the linear model at an interval's quarter points as well as at its midpoint (twice the
    // rays; in practice it rarely adds a split).
    bool checkQuarterPoints = false;

    bool operator==(const LightPathParameters& o) const;
    bool operator!=(const LightPathParameters& o) const { return !(*this == o); }
};

class LightPathTree {
public:
    static constexpr int kDefaultRootCount = 10;
    static constexpr float kDefaultAngleMin = 0.1f;
    static constexpr float kDefaultAngleMax = 2.5f;
    // Capacity reserved for the node pool; a table may use more (the pool then grows once,
    // before any link into it is made).
    static constexpr std::size_t kNodePoolReserve = 20000;
    // The table is regenerated when the observer's distance from the hole changed by more than
    // this fraction: the first path point lies a tenth of that distance from the observer, so the
    // first segment then turns by at most about a milliradian.
    static constexpr double kRegenerationTolerance = 1e-4;

    // A new table: default angle range, rootCount absorbing roots, nothing generated.
    explicit LightPathTree(int rootCount = kDefaultRootCount);
    LightPathTree(const LightPathTree&) = delete;
    LightPathTree& operator=(const LightPathTree&) = delete;
    // Moving keeps the pool's storage, so the links stay valid.
    LightPathTree(LightPathTree&&) = default;
    LightPathTree& operator=(LightPathTree&&) = default;

    float angleMin() const { return angleMin_; }
    float angleMax() const { return angleMax_; }
    int rootCount() const { return rootCount_; }
    float rootCountMinus1() const { return rootCountMinus1_; }
    // s = (angleMax - angleMin) / rootCount in float, as the iterators use it.
    float rootWidth() const { return rootWidth_; }
    // The interval of root i exactly as PathIterator::start computes it.
    float rootLo(int i) const { return angleMin_ + float(i) * rootWidth_; }
    float rootHi(int i) const { return rootLo(i) + rootWidth_; }
    // The split point of an interval exactly as PathIterator::step computes it: the float sum,
    // halved. (Halving commutes with rounding, so for the angles of a table this is the nearest
    // float to the true midpoint, and takes two instructions on the walk's critical path.)
    static float midAngle(float lo, float hi) { return (lo + hi) * 0.5f; }

    const LightPathNode& root(int i) const { return roots_[std::size_t(i)]; }
    std::size_t nodeCount() const { return pool_.size(); }

    // Empties the table: the given angle range and rootCount absorbing roots.
    void reset(float angleMin, float angleMax, int rootCount);
    // Installs a generated table. The roots' and nodes' links must point into `pool`'s storage,
    // which is taken over without copying.
    void install(float angleMin, float angleMax, std::vector<LightPathNode> roots,
                 std::vector<LightPathNode> pool);

    LightPathParameters parameters;

    // What the current table was generated for. needsRegeneration is true when no table was
    // generated, the parameters changed, the hole's radius changed (relative 1e-6) or the
    // observer's distance changed by more than kRegenerationTolerance (relative).
    void markGenerated(float rObs, float rs);
    bool isGenerated() const { return generated_; }
    bool needsRegeneration(float rObs, float rs) const;
    // Whether a generated table differs from the wanted one at most in the observer's distance
    // and the tolerance: it still draws the right hole, nearly right.
    bool differsOnlyInDistanceOrTolerance(float rs) const;
    float generatedRObs() const { return generatedRObs_; }
    float generatedRs() const { return generatedRs_; }

private:
    float angleMin_ = kDefaultAngleMin;
    float angleMax_ = kDefaultAngleMax;
    int rootCount_ = kDefaultRootCount;
    float rootCountMinus1_ = float(kDefaultRootCount - 1);
    float rootWidth_ = 0.0f;
    std::vector<LightPathNode> roots_;
    std::vector<LightPathNode> pool_;

    bool generated_ = false;
    float generatedRObs_ = 0.0f;
    float generatedRs_ = 0.0f;
    LightPathParameters generatedWith_;
};

// Walks one path through the table. Lookup reads the table only and allocates nothing.
struct PathIterator {
    // lo after stepping off a terminal: the path was absorbed / escaped.
    static constexpr float kAbsorbedLo = -20.0f;
    static constexpr float kEscapedLo = -10.0f;

    float lo, hi;  // the current angle interval
    float angle;   // the ray's initial angle
    const LightPathNode* node;

    // Root index = trunc((angle - angleMin) / s) clamped to [0, rootCount - 1].
    void start(const LightPathTree& tree, float angle);
    // To the next point: off a terminal node becomes null (lo = -20 absorbing, -10 escaping);
    // otherwise the only child, or the half of the interval that holds the angle.
    void step();
    // The current node's point at the iterator's angle.
    void point(float& x, float& y) const { node->point(angle, x, y); }
};

// Four iterators stepped together, for the 4-ray tracer. The intervals and angles are vectors and
// the points are computed for all lanes at once, with exactly the arithmetic of PathIterator
// (the points in double precision), so that a lane finished on its own goes on along the same
// path.
class alignas(16) PathIterator4 {
public:
    // Four PathIterator::start.
    void start(const LightPathTree& tree, Vec4f angles);
    const LightPathNode* node(int lane) const { return node_[lane]; }
    // Lane l as a single iterator.
    PathIterator lane(int l) const { return PathIterator{lo_[l], hi_[l], angle_[l], node_[l]}; }
    // Lanes whose node absorbs, as a 4-bit mask (lane l = bit l).
    int absorbingLanes() const;
    // PathIterator::step on every lane, unless some lane's node is terminal, or some but not
    // all of the next nodes escape: then nothing moves and -1 is returned (the lanes' paths part
    // ways). Otherwise returns the lanes that now escape: none or all (0xf).
    int step() { return stepFrom(*this); }
    // step() on a copy of from, into this iterator: the walk keeps the lanes' state at two
    // places along their paths and steps from one into the other without copying it first.
    int stepFrom(const PathIterator4& from);
    // Where the lanes do not step on: this iterator takes from's state (from may be this one).
    int stay(const PathIterator4& from) {
        if (this != &from) *this = from;
        return -1;
    }
    // The lanes' points, as PathIterator::point.
    void point(Vec4f& x, Vec4f& y) const;

private:
    // Whether the four lanes are on one node (kept by start and step, which see it change).
    bool shared() const { return shared_; }
    bool sameNodes() const {
        return node_[0] == node_[1] && node_[0] == node_[2] && node_[0] == node_[3];
    }

    Vec4f lo_, hi_, angle_;
    const LightPathNode* node_[4];
    bool shared_ = false;
};

// Defined here so that they inline into the 4-ray walk (lightpathtrace.cpp): called, with the
// iterator passed through memory at every level, they cost a bent frame about 7 % more time.
inline void PathIterator4::start(const LightPathTree& tree, Vec4f angles) {
    // PathIterator::start on four lanes, operation for operation: NaN and negative quotients
    // land on root 0, and the clamp takes the lanes the truncation cannot.
    const Vec4f width(tree.rootWidth());
    const Vec4f q = (angles - Vec4f(tree.angleMin())) / width;
    Vec4i index = select(q > Vec4f(0.0f), Vec4i::truncate(q), Vec4i(0));
    index = select(q >= Vec4f(tree.rootCountMinus1()), Vec4i(tree.rootCount() - 1), index);
    lo_ = Vec4f(tree.angleMin()) + toFloat(index) * width;
    hi_ = lo_ + width;
    alignas(16) int32_t roots[4];
    index.store(roots);
    for (int l = 0; l < 4; ++l) node_[l] = &tree.root(roots[l]);
    angle_ = angles;
    shared_ = sameNodes();
}

inline int PathIterator4::absorbingLanes() const {
    if (shared()) return node_[0]->absorbs() ? 0xf : 0;
    int bits = 0;
    for (int l = 0; l < 4; ++l) bits |= int(node_[l]->absorbs()) << l;
    return bits;
}

inline int PathIterator4::stepFrom(const PathIterator4& from) {
    // Everything from's state says is read before this one is written: from may be this.
    const Vec4f lo = from.lo_, hi = from.hi_, angle = from.angle_;
    // The split point, as LightPathTree::midAngle.
    const Vec4f mid = (lo + hi) * Vec4f(0.5f);
    const int below = movemask(mid > angle);  // lanes that take the lower half
    if (from.shared_) {
        // Usually all four lanes are on one node (and so on one interval): its links are read
        // once.
        const LightPathNode* n = from.node_[0];
        if (n->lower == nullptr) return stay(from);
        if (n->upper == nullptr) {
            const LightPathNode* only = n->lower;
            lo_ = lo;
            hi_ = hi;
            angle_ = angle;
            for (auto& lane : node_) lane = only;
            shared_ = true;
            return only->escapes() ? 0xf : 0;
        }
        const int escaping =
            (n->lower->escapes() ? below : 0) | (n->upper->escapes() ? 0xf & ~below : 0);
        if (escaping != 0 && escaping != 0xf) return stay(from);
        lo_ = select(LaneMask4::fromBits(0xf & ~below), mid, lo);
        hi_ = select(LaneMask4::fromBits(below), mid, hi);
        angle_ = angle;
        for (int l = 0; l < 4; ++l) node_[l] = ((below >> l) & 1) ? n->lower : n->upper;
        // The lanes stay on one node where they all take the same half.
        shared_ = below == 0 || below == 0xf;
        return escaping;
    }
    const LightPathNode* next[4];
    int split = 0, escaping = 0;
    for (int l = 0; l < 4; ++l) {
        const LightPathNode* n = from.node_[l];
        if (n->lower == nullptr) return stay(from);
        const bool halves = n->upper != nullptr;
        split |= int(halves) << l;
        next[l] = (!halves || ((below >> l) & 1)) ? n->lower : n->upper;
        escaping |= int(next[l]->escapes()) << l;
    }
    if (escaping != 0 && escaping != 0xf) return stay(from);
    lo_ = select(LaneMask4::fromBits(split & ~below), mid, lo);
    hi_ = select(LaneMask4::fromBits(split & below), mid, hi);
    angle_ = angle;
    for (int l = 0; l < 4; ++l) node_[l] = next[l];
    shared_ = sameNodes();  // lanes on neighbouring nodes may meet again where paths join
    return escaping;
}

static_assert(offsetof(LightPathNode, dy) == offsetof(LightPathNode, x0) + 3 * sizeof(float),
              "x0, y0, dx, dy lie side by side: one load per lane");

inline void PathIterator4::point(Vec4f& x, Vec4f& y) const {
    if (shared()) {
        const LightPathNode& n = *node_[0];
        const Vec4d da = Vec4d(angle_) - Vec4d(double(n.t0));
        x = (Vec4d(double(n.x0)) + Vec4d(double(n.dx)) * da).toFloat();
        y = (Vec4d(double(n.y0)) + Vec4d(double(n.dy)) * da).toFloat();
        return;
    }
    Vec4f x0 = Vec4f::loadUnaligned(&node_[0]->x0), y0 = Vec4f::loadUnaligned(&node_[1]->x0);
    Vec4f dx = Vec4f::loadUnaligned(&node_[2]->x0), dy = Vec4f::loadUnaligned(&node_[3]->x0);
    transpose(x0, y0, dx, dy);  // x0, y0, dx, dy of the four lanes
    const Vec4f t0(node_[0]->t0, node_[1]->t0, node_[2]->t0, node_[3]->t0);
    const Vec4d da = Vec4d(angle_) - Vec4d(t0);
    // base + slope (a - t0) in double, rounded once to float.
    x = (Vec4d(x0) + Vec4d(dx) * da).toFloat();
    y = (Vec4d(y0) + Vec4d(dy) * da).toFloat();
}
