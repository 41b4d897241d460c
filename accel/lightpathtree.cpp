// The light-path table's storage and bookkeeping, and the path iterators.
#include "accel/lightpathtree.h"

#include <cmath>
#include <cstddef>
#include <utility>

#include "base/programmingerror.h"

bool LightPathParameters::operator==(const LightPathParameters& o) const {
    return samplesPerUnit == o.samplesPerUnit && fateSigmaLimit == o.fateSigmaLimit &&
           escapeRadius == o.escapeRadius && horizonMargin == o.horizonMargin &&
           extraEscapeSamples == o.extraEscapeSamples && maxSplitDepth == o.maxSplitDepth &&
           toleranceMrad == o.toleranceMrad && maxPathPoints == o.maxPathPoints &&
           checkQuarterPoints == o.checkQuarterPoints;
}

LightPathTree::LightPathTree(int rootCount) {
    pool_.reserve(kNodePoolReserve);
    reset(kDefaultAngleMin, kDefaultAngleMax, rootCount);
}

void LightPathTree::reset(float angleMin, float angleMax, int rootCount) {
    if (rootCount < 1) programmingError("light path table needs at least one root");
    if (!(angleMax > angleMin)) programmingError("light path table with an empty angle range");
    angleMin_ = angleMin;
    angleMax_ = angleMax;
    rootCount_ = rootCount;
    rootCountMinus1_ = float(rootCount - 1);
    rootWidth_ = (angleMax - angleMin) / float(rootCount);
    roots_.assign(std::size_t(rootCount), LightPathNode());
    pool_.clear();
    generated_ = false;
}

void LightPathTree::install(float angleMin, float angleMax, std::vector<LightPathNode> roots,
                            std::vector<LightPathNode> pool) {
    const int count = int(roots.size());
    reset(angleMin, angleMax, count);
    roots_ = std::move(roots);
    pool_ = std::move(pool);
}

void LightPathTree::markGenerated(float rObs, float rs) {
    generated_ = true;
    generatedRObs_ = rObs;
    generatedRs_ = rs;
    generatedWith_ = parameters;
}

bool LightPathTree::needsRegeneration(float rObs, float rs) const {
    if (!generated_ || parameters != generatedWith_) return true;
    const double rsOld = generatedRs_, rObsOld = generatedRObs_;
    if (std::fabs(double(rs) - rsOld) > 1e-6 * std::fabs(rsOld)) return true;
    return std::fabs(double(rObs) - rObsOld) > kRegenerationTolerance * std::fabs(rObsOld);
}

bool LightPathTree::differsOnlyInDistanceOrTolerance(float rs) const {
    if (!generated_) return false;
    LightPathParameters wanted = parameters;
    wanted.toleranceMrad = generatedWith_.toleranceMrad;
    return wanted == generatedWith_ &&
           std::fabs(double(rs) - double(generatedRs_)) <= 1e-6 * std::fabs(double(generatedRs_));
}

// ---- iterators

void PathIterator::start(const LightPathTree& tree, float a) {
    angle = a;
    const float q = (a - tree.angleMin()) / tree.rootWidth();
    // Truncation, then the clamp; written so that NaN lands on root 0 instead of being converted.
    int index = 0;
    if (q >= tree.rootCountMinus1())
        index = tree.rootCount() - 1;
    else if (q > 0.0f)
        index = int(q);
    lo = tree.angleMin() + float(index) * tree.rootWidth();
    hi = lo + tree.rootWidth();
    node = &tree.root(index);
}

void PathIterator::step() {
    TAVOLIN_DCHECK(node != nullptr);
    if (node->lower == nullptr) {
        lo = node->upper == nullptr ? kAbsorbedLo : kEscapedLo;
        node = nullptr;
    } else if (node->upper == nullptr) {
        node = node->lower;
    } else {
        const float mid = float((double(lo) + double(hi)) * 0.5);
        if (mid > angle) {
            hi = mid;
            node = node->lower;
        } else {
            lo = mid;
            node = node->upper;
        }
    }
}

void PathIterator4::start(const LightPathTree& tree, Vec4f angles) {
    for (int l = 0; l < 4; ++l) {
        PathIterator it;
        it.start(tree, angles[l]);
        lo_[l] = it.lo;
        hi_[l] = it.hi;
        node_[l] = it.node;
    }
    angle_ = angles;
}

int PathIterator4::absorbingLanes() const {
    if (shared()) return node_[0]->absorbs() ? 0xf : 0;
    int bits = 0;
    for (int l = 0; l < 4; ++l) bits |= int(node_[l]->absorbs()) << l;
    return bits;
}

int PathIterator4::step() {
    // The split point, float((double(lo) + double(hi)) / 2).
    const Vec4f mid = ((Vec4d(lo_) + Vec4d(hi_)) * Vec4d(0.5)).toFloat();
    const int below = movemask(mid > angle_);  // lanes that take the lower half
    if (shared()) {
        // Usually all four lanes are on one node (and so on one interval): its links are read
        // once.
        const LightPathNode* n = node_[0];
        if (n->lower == nullptr) return -1;
        if (n->upper == nullptr) {
            const LightPathNode* only = n->lower;
            for (auto& lane : node_) lane = only;
            return only->escapes() ? 0xf : 0;
        }
        const int escaping =
            (n->lower->escapes() ? below : 0) | (n->upper->escapes() ? 0xf & ~below : 0);
        if (escaping != 0 && escaping != 0xf) return -1;
        lo_ = select(LaneMask4::fromBits(0xf & ~below), mid, lo_);
        hi_ = select(LaneMask4::fromBits(below), mid, hi_);
        for (int l = 0; l < 4; ++l) node_[l] = ((below >> l) & 1) ? n->lower : n->upper;
        return escaping;
    }
    const LightPathNode* next[4];
    int split = 0, escaping = 0;
    for (int l = 0; l < 4; ++l) {
        const LightPathNode* n = node_[l];
        if (n->lower == nullptr) return -1;
        const bool halves = n->upper != nullptr;
        split |= int(halves) << l;
        next[l] = (!halves || ((below >> l) & 1)) ? n->lower : n->upper;
        escaping |= int(next[l]->escapes()) << l;
    }
    if (escaping != 0 && escaping != 0xf) return -1;
    lo_ = select(LaneMask4::fromBits(split & ~below), mid, lo_);
    hi_ = select(LaneMask4::fromBits(split & below), mid, hi_);
    for (int l = 0; l < 4; ++l) node_[l] = next[l];
    return escaping;
}

static_assert(offsetof(LightPathNode, dy) == offsetof(LightPathNode, x0) + 3 * sizeof(float),
              "x0, y0, dx, dy lie side by side: one load per lane");

void PathIterator4::point(Vec4f& x, Vec4f& y) const {
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
