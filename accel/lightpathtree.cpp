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
        const float mid = LightPathTree::midAngle(lo, hi);
        if (mid > angle) {
            hi = mid;
            node = node->lower;
        } else {
            lo = mid;
            node = node->upper;
        }
    }
}
