// The light-path table's storage and bookkeeping, and the path iterators.
#include "geometry/lightpathtree.h"

#include <cmath>
#include <utility>

#include "geometry/programmingerror.h"

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
    angle = angles;
    const Vec4f width(tree.rootWidth());
    const Vec4f q = (angles - Vec4f(tree.angleMin())) / width;
    // maxps returns its second operand for NaN, so a NaN angle clamps to root 0.
    const Vec4f clamped = min(max(q, Vec4f(0.0f)), Vec4f(tree.rootCountMinus1()));
    alignas(16) int index[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(index), _mm_cvttps_epi32(clamped));
    const Vec4f indexF = _mm_cvtepi32_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(index)));
    lo = indexF * width + Vec4f(tree.angleMin());
    hi = lo + width;
    for (int l = 0; l < 4; ++l) node[l] = &tree.root(index[l]);
}

void PathIterator4::stepLane(int l) {
    PathIterator it{lo[l], hi[l], angle[l], node[l]};
    it.step();
    lo[l] = it.lo;
    hi[l] = it.hi;
    node[l] = it.node;
}

void PathIterator4::step() {
    for (int l = 0; l < 4; ++l)
        if (node[l] != nullptr) stepLane(l);
}

void PathIterator4::point(Vec4f& x, Vec4f& y) const {
    x = Vec4f(0.0f);
    y = Vec4f(0.0f);
    for (int l = 0; l < 4; ++l)
        if (node[l] != nullptr) node[l]->point(angle[l], x[l], y[l]);
}

int PathIterator4::absorbingLanes() const {
    int bits = 0;
    for (int l = 0; l < 4; ++l)
        if (node[l] != nullptr && node[l]->absorbs()) bits |= 1 << l;
    return bits;
}

int PathIterator4::escapingLanes() const {
    int bits = 0;
    for (int l = 0; l < 4; ++l)
        if (node[l] != nullptr && node[l]->escapes()) bits |= 1 << l;
    return bits;
}

int PathIterator4::finishedLanes() const {
    int bits = 0;
    for (int l = 0; l < 4; ++l)
        if (node[l] == nullptr) bits |= 1 << l;
    return bits;
}
