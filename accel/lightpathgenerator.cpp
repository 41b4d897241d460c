// Building the light-path table: adaptive halving of angle intervals over sampled photon orbits,
// with one linear model per interval and depth.
#include "accel/lightpathgenerator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <utility>

PhotonOrbitSettings LightPathGenerator::orbitSettings(const LightPathParameters& p, double rObs,
                                                      double rs) {
    PhotonOrbitSettings s;
    s.rObs = rObs;
    s.rs = rs;
    s.sampleStep = 1.0 / std::max(double(p.samplesPerUnit), 1e-3);
    s.substeps = std::max(1, int(std::ceil(s.sampleStep / kMaxRk4Step - 1e-9)));
    s.absorbRadius = rs * (1.0 + std::max(double(p.horizonMargin), 0.0));
    s.escapeRadius = rs * std::max(double(p.escapeRadius), 0.0);
    s.escapeDeflection = std::max(double(p.toleranceMrad), 0.0) * 1e-3;
    // One level for the root, at least one for a terminal.
    s.maxSamples = std::max(p.maxPathPoints, 2);
    s.extraEscapeSamples = std::max(p.extraEscapeSamples, 0);
    s.fateSigmaLimit = std::max(double(p.fateSigmaLimit), 0.0);
    return s;
}

bool LightPathGenerator::update(LightPathTree& tree, float rObs, float rs) {
    if (!tree.needsRegeneration(rObs, rs)) return false;
    generate(tree, rObs, rs);
    return true;
}

LightPathStatistics LightPathGenerator::generate(LightPathTree& tree, float rObs, float rs) {
    const auto startTime = std::chrono::steady_clock::now();
    stats_ = LightPathStatistics();
    const float angleMin = 0.0f, angleMax = float(M_PI);
    const double rsD = std::max(double(rs), 0.0);
    const LightPathParameters& params = tree.parameters;
    const PhotonOrbitSettings settings = orbitSettings(params, rObs, rsD);
    const int rootCount = std::max(tree.rootCount(), kMinRootCount);

    if (!(double(rObs) > settings.absorbRadius) || !std::isfinite(rObs)) {
        // No static observer exists here (or at no finite distance, where every sample of a
        // path would be infinite): every path absorbs.
        tree.reset(angleMin, angleMax, rootCount);
        tree.markGenerated(rObs, rs);
        return stats_;
    }

    const PhotonOrbit orbit(settings);
    // The table's geometry, computed exactly as the iterators will (float arithmetic).
    tree.reset(angleMin, angleMax, rootCount);
    const LightPathTree& shape = tree;

    // Every other root grows on a second thread, into a generator of its own; its nodes are
    // appended to ours afterwards. (Alternate roots, as the work lies mostly near the hole, in
    // the first few.) The roots' trees do not depend on each other, so the table is the one a
    // single thread builds, unless the node budget, counted per thread, runs out.
    LightPathGenerator odd;
    odd.begin(orbit, params, rsD, settings.escapeDeflection, rootCount);
    std::thread helper([&] { odd.growRoots(shape, 1, 2, rObs); });
    begin(orbit, params, rsD, settings.escapeDeflection, rootCount);
    growRoots(shape, 0, 2, rObs);
    helper.join();
    adopt(odd, 1, 2);

    install(tree, angleMin, angleMax);
    tree.markGenerated(rObs, rs);
    orbit_ = nullptr;
    params_ = nullptr;
    stats_.nodes = tree.nodeCount();
    stats_.rays = rayCount_ + odd.rayCount_;
    stats_.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - startTime)
            .count();
    return stats_;
}

void LightPathGenerator::begin(const PhotonOrbit& orbit, const LightPathParameters& params,
                               double rs, double tolerance, int rootCount) {
    orbit_ = &orbit;
    params_ = &params;
    rs_ = rs;
    tolerance_ = tolerance;
    rootCount_ = rootCount;
    rayCount_ = 0;
    nodes_.clear();
    nodes_.reserve(LightPathTree::kNodePoolReserve + std::size_t(rootCount));
    nodes_.resize(std::size_t(rootCount));
}

void LightPathGenerator::growRoots(const LightPathTree& shape, int first, int stride, float rObs) {
    for (int i = first; i < rootCount_; i += stride) {
        const float lo = shape.rootLo(i), hi = shape.rootHi(i);
        LightPathNode& root = nodes_[std::size_t(i)].node;
        root.x0 = rObs;  // the observer; never read by the tracers
        root.t0 = lo;
        const int rayAtLo = traceRay(lo);
        Interval iv{lo, hi, rayAtLo, traceRay(hi)};
        extend(i, 0, iv);
    }
}

void LightPathGenerator::adopt(const LightPathGenerator& other, int first, int stride) {
    // other's pool nodes follow ours; its links into its pool move by the same amount.
    const int shift = int(nodes_.size()) - rootCount_;
    auto moved = [&](int link) { return link < 0 ? link : link + shift; };
    auto take = [&](BuildNode b) {
        b.lower = moved(b.lower);
        b.upper = moved(b.upper);
        return b;
    };
    for (int i = first; i < rootCount_; i += stride)
        nodes_[std::size_t(i)] = take(other.nodes_[std::size_t(i)]);
    for (std::size_t j = std::size_t(rootCount_); j < other.nodes_.size(); ++j)
        nodes_.push_back(take(other.nodes_[j]));
    stats_.deepestLevel = std::max(stats_.deepestLevel, other.stats_.deepestLevel);
    stats_.deepestSplit = std::max(stats_.deepestSplit, other.stats_.deepestSplit);
}

int LightPathGenerator::traceRay(float angle) {
    if (rayCount_ == int(rays_.size())) rays_.emplace_back();
    orbit_->trace(double(angle), rays_[std::size_t(rayCount_)]);
    return rayCount_++;
}

void LightPathGenerator::ensureInterior(Interval& iv) {
    const float mid = LightPathTree::midAngle(iv.lo, iv.hi);
    if (iv.rayMid < 0) iv.rayMid = traceRay(mid);
    if (!params_->checkQuarterPoints) return;
    if (iv.rayQ1 < 0) iv.rayQ1 = traceRay(LightPathTree::midAngle(iv.lo, mid));
    if (iv.rayQ3 < 0) iv.rayQ3 = traceRay(LightPathTree::midAngle(mid, iv.hi));
}

LightPathGenerator::Kind LightPathGenerator::rayKind(const PhotonPath& ray, int level) const {
    const int n = ray.sampleCount();
    if (ray.fate == PhotonFate::Absorbed) return level >= n ? Kind::Absorb : Kind::Regular;
    return level >= ray.escapeLevel ? Kind::Escape : Kind::Regular;
}

LightPathGenerator::Point LightPathGenerator::pointOf(const PhotonPath& ray, int level,
                                                      Kind kind) const {
    const int n = ray.sampleCount();
    Point p{};
    if (kind == Kind::Escape) {
        // From the last sample before this level, a distance r along the asymptotic direction.
        const int j = std::min(level, n) - 1;
        const PhotonSample& s = ray.samples[std::size_t(j)];
        double dx, dy;
        ray.escapeDirection(j, rs_, dx, dy);
        const double length = std::max(s.r, rs_);
        p = Point{s.x + length * dx, s.y + length * dy, dx, dy, s.time + length, 0, 0};
        p.transverseScale = tolerance_ * length;
        p.longitudinalScale = 0.5 * length;
        return p;
    }
    const PhotonSample& s =
        (kind == Kind::Absorb && level >= n) ? ray.absorbPoint : ray.samples[std::size_t(level)];
    const double step = orbit_->sigmaOfLevel(level) - orbit_->sigmaOfLevel(level - 1);
    const double spacing = step * std::max(s.r, rs_);
    return Point{
        s.x, s.y, s.tx, s.ty, s.time, tolerance_ * spacing, kLongitudinalFraction * spacing};
}

LightPathGenerator::Kind LightPathGenerator::decide(int level, const Interval& iv, bool& accurate,
                                                    bool& fatesDiffer) const {
    accurate = true;
    fatesDiffer = false;
    const int ids[5] = {iv.rayLo, iv.rayQ1, iv.rayMid, iv.rayQ3, iv.rayHi};
    const PhotonFate fate = rays_[std::size_t(iv.rayLo)].fate;
    bool absorbedNow = false, allMayEscape = true, mustEscape = false;
    for (int id : ids) {
        if (id < 0) continue;
        const PhotonPath& ray = rays_[std::size_t(id)];
        fatesDiffer |= ray.fate != fate;
        const bool ends = level >= ray.sampleCount();
        if (ray.fate == PhotonFate::Absorbed) {
            absorbedNow |= ends;
            allMayEscape = false;
        } else {
            mustEscape |= ends;
            allMayEscape &= level >= ray.escapeLevel;
        }
    }
    // Paths that part later still share this level's point while all of them have one.
    if ((absorbedNow || mustEscape) && fatesDiffer) return Kind::Mismatch;
    // The last segment of a captured path ends black; its exact end needs no model.
    if (absorbedNow) return Kind::Absorb;
    const Kind kind = (allMayEscape || mustEscape) ? Kind::Escape : Kind::Regular;

    const PhotonPath& rayLo = rays_[std::size_t(iv.rayLo)];
    const PhotonPath& rayHi = rays_[std::size_t(iv.rayHi)];
    const Point a = pointOf(rayLo, level, kind), b = pointOf(rayHi, level, kind);
    const double width = double(iv.hi) - double(iv.lo);
    for (int id : {iv.rayQ1, iv.rayMid, iv.rayQ3}) {
        if (id < 0 || width <= 0) continue;
        const PhotonPath& ray = rays_[std::size_t(id)];
        const Point t = pointOf(ray, level, kind);
        const double f = (ray.angle - double(iv.lo)) / width;
        const double ex = a.x + f * (b.x - a.x) - t.x;
        const double ey = a.y + f * (b.y - a.y) - t.y;
        const double along = ex * t.tx + ey * t.ty;
        const double across = std::fabs(ex * t.ty - ey * t.tx);
        // Sideways, an error is harmless when it is a small turn of the segment (tolerance
        // angle over the scale) or when the model point lies where the path of an initial angle
        // within the tolerance would be (tolerance times the sideways rate of change).
        const double spread = std::fabs(((b.x - a.x) * t.ty - (b.y - a.y) * t.tx) / width);
        const double allowed = std::max(t.transverseScale, tolerance_ * spread);
        if (across > allowed || std::fabs(along) > t.longitudinalScale) accurate = false;
    }
    return kind;
}

bool LightPathGenerator::canSplit(const Interval& iv) const {
    const float mid = LightPathTree::midAngle(iv.lo, iv.hi);
    return iv.depth < params_->maxSplitDepth && iv.lo < mid && mid < iv.hi &&
           nodes_.size() < kMaxNodes;
}

namespace {
// Node values as floats that stay finite, and whose points stay finite anywhere in the node's
// interval: for observers near the end of float's range (1e37 and more), or paths that run far
// out, points and slopes exceed it, and an infinite point or an infinite slope times a zero
// angle offset would make a lookup infinite or NaN. Points are held within half the largest
// float, slopes so that they move a point by at most as much over the interval.
constexpr double kHalfFloatMax = 0.5 * double(std::numeric_limits<float>::max());

float nodePoint(double v) { return float(std::min(std::max(v, -kHalfFloatMax), kHalfFloatMax)); }

float nodeSlope(double v, double width) {
    const double bound = std::min(kHalfFloatMax / width, 2.0 * kHalfFloatMax);
    return float(std::min(std::max(v, -bound), bound));
}
}  // namespace

int LightPathGenerator::makeNode(int level, Kind kind, const Interval& iv) {
    const Point a = pointOf(rays_[std::size_t(iv.rayLo)], level, kind);
    const Point b = pointOf(rays_[std::size_t(iv.rayHi)], level, kind);
    const double width = double(iv.hi) - double(iv.lo);
    BuildNode n;
    n.node.t0 = iv.lo;
    n.node.x0 = nodePoint(a.x);
    n.node.y0 = nodePoint(a.y);
    n.node.time0 = nodePoint(a.time);
    if (width > 0) {
        n.node.dx = nodeSlope((b.x - a.x) / width, width);
        n.node.dy = nodeSlope((b.y - a.y) / width, width);
        n.node.dtime = nodeSlope((b.time - a.time) / width, width);
    }
    n.node.sigma = float(orbit_->sigmaOfLevel(level));
    n.escape = kind == Kind::Escape;
    n.absorb = kind == Kind::Absorb;
    nodes_.push_back(n);
    stats_.deepestLevel = std::max(stats_.deepestLevel, level);
    stats_.deepestSplit = std::max(stats_.deepestSplit, iv.depth);
    return int(nodes_.size()) - 1;
}

int LightPathGenerator::makeConstantNode(int level, int ray, float t0) {
    Interval single{t0, t0, ray, ray};
    return makeNode(level, rayKind(rays_[std::size_t(ray)], level), single);
}

bool LightPathGenerator::terminal(int node) const {
    return nodes_[std::size_t(node)].escape || nodes_[std::size_t(node)].absorb;
}

int LightPathGenerator::childFor(int level, Interval& iv) {
    ensureInterior(iv);
    bool accurate, fatesDiffer;
    const Kind kind = decide(level, iv, accurate, fatesDiffer);
    // A half whose paths end differently at this very level follows its middle ray here; it
    // halves again at the next one.
    if (kind == Kind::Mismatch) return makeConstantNode(level, iv.rayMid, iv.lo);
    return makeNode(level, kind, iv);
}

void LightPathGenerator::extend(int node, int level, Interval iv) {
    for (;;) {
        const int next = level + 1;
        ensureInterior(iv);
        bool accurate, fatesDiffer;
        const Kind kind = decide(next, iv, accurate, fatesDiffer);
        // Halving for accuracy stops once the halves would be narrower than the tolerance
        // angle: rays that close are one direction for the picture, whatever lies between them.
        const bool wide = double(iv.hi) - double(iv.lo) >= 2.0 * tolerance_;
        if ((kind == Kind::Mismatch || fatesDiffer || (!accurate && wide)) && canSplit(iv)) {
            const float mid = LightPathTree::midAngle(iv.lo, iv.hi);
            Interval lower{iv.lo, mid, iv.rayLo, iv.rayMid, iv.rayQ1, -1, -1, iv.depth + 1};
            Interval upper{mid, iv.hi, iv.rayMid, iv.rayHi, iv.rayQ3, -1, -1, iv.depth + 1};
            const int a = childFor(next, lower);
            const int b = childFor(next, upper);
            nodes_[std::size_t(node)].lower = a;
            nodes_[std::size_t(node)].upper = b;
            if (!terminal(a)) extend(a, next, lower);
            if (!terminal(b)) extend(b, next, upper);
            return;
        }
        if (kind == Kind::Mismatch) {
            // At the angle's resolution: the middle ray speaks for the whole interval.
            extendConstant(node, level, iv.rayMid, iv.lo);
            return;
        }
        const int child = makeNode(next, kind, iv);
        nodes_[std::size_t(node)].lower = child;
        if (terminal(child)) return;
        node = child;
        level = next;
    }
}

void LightPathGenerator::extendConstant(int node, int level, int ray, float t0) {
    for (;;) {
        const int child = makeConstantNode(++level, ray, t0);
        nodes_[std::size_t(node)].lower = child;
        if (terminal(child)) return;
        node = child;
    }
}

bool LightPathGenerator::chordPasses(int from, int to, const int* between, int count, float lo,
                                     float hi) const {
    const LightPathNode& s = nodes_[std::size_t(from)].node;
    const LightPathNode& e = nodes_[std::size_t(to)].node;
    for (const float a : {lo, LightPathTree::midAngle(lo, hi), hi}) {
        float sx, sy, ex, ey;
        s.point(a, sx, sy);
        e.point(a, ex, ey);
        const double cx = double(ex) - sx, cy = double(ey) - sy;
        for (int i = 0; i < count; ++i) {
            const LightPathNode& v = nodes_[std::size_t(between[i])].node;
            float vx, vy;
            v.point(a, vx, vy);
            const double off = std::fabs(cx * (double(vy) - sy) - cy * (double(vx) - sx));
            if (!(off <= tolerance_ * std::fabs(cx * double(v.dy) - cy * double(v.dx))))
                return false;
        }
    }
    return true;
}

void LightPathGenerator::simplify(int node, float lo, float hi) {
    for (;;) {
        const BuildNode& n = nodes_[std::size_t(node)];
        if (n.escape || n.absorb) return;
        if (n.upper >= 0) {
            const float mid = LightPathTree::midAngle(lo, hi);
            simplify(n.lower, lo, mid);
            node = n.upper;
            lo = mid;
            continue;
        }
        // A run of single-child regular nodes shares the interval. The chord from this node
        // goes on to the furthest point of the run that keeps the points it passes close to it;
        // the point before a terminal stays, as the escaping direction and the end in the hole
        // are measured from it.
        int between[kMaxDroppedPoints];
        int count = 0, end = n.lower;
        for (;;) {
            const BuildNode& c = nodes_[std::size_t(end)];
            if (c.escape || c.absorb || c.upper >= 0 || count == kMaxDroppedPoints) break;
            const int candidate = c.lower;
            const BuildNode& next = nodes_[std::size_t(candidate)];
            if (next.escape || next.absorb) break;
            between[count] = end;
            if (!chordPasses(node, candidate, between, count + 1, lo, hi)) break;
            ++count;
            end = candidate;
        }
        nodes_[std::size_t(node)].lower = end;
        stats_.dropped += std::size_t(count);
        node = end;
    }
}

void LightPathGenerator::install(LightPathTree& tree, float angleMin, float angleMax) {
    const std::size_t roots = std::size_t(rootCount_);
    for (int i = 0; i < rootCount_; ++i) simplify(i, tree.rootLo(i), tree.rootHi(i));
    // The pool holds the nodes still reached, in the order they were made.
    std::vector<int> index(nodes_.size(), -1);
    std::vector<int> order;
    order.reserve(nodes_.size());
    std::vector<int> stack;
    for (int i = 0; i < rootCount_; ++i) stack.push_back(i);
    while (!stack.empty()) {
        const int i = stack.back();
        stack.pop_back();
        const BuildNode& b = nodes_[std::size_t(i)];
        for (const int child : {b.lower, b.upper})
            if (child >= 0 && index[std::size_t(child)] < 0) {
                index[std::size_t(child)] = 0;
                order.push_back(child);
                stack.push_back(child);
            }
    }
    std::sort(order.begin(), order.end());
    const std::size_t count = order.size();
    for (std::size_t k = 0; k < count; ++k) index[std::size_t(order[k])] = int(k);
    std::vector<LightPathNode> rootNodes(roots);
    std::vector<LightPathNode> pool;
    pool.reserve(std::max(count, LightPathTree::kNodePoolReserve));
    pool.resize(count);
    auto link = [&](int i) -> LightPathNode* {
        return i < 0 ? nullptr : &pool[std::size_t(index[std::size_t(i)])];
    };
    auto fill = [&](LightPathNode& n, const BuildNode& b) {
        n = b.node;
        n.lower = link(b.lower);
        // An escaping node's upper only has to be non-null: it points at the node itself.
        n.upper = b.escape ? &n : link(b.upper);
    };
    for (std::size_t i = 0; i < roots; ++i) fill(rootNodes[i], nodes_[i]);
    for (std::size_t k = 0; k < count; ++k) fill(pool[k], nodes_[std::size_t(order[k])]);
    tree.install(angleMin, angleMax, std::move(rootNodes), std::move(pool));
}

float gravitationalWavelengthFactor(float rObs, float rEmit, float rs) {
    const double fObs = 1.0 - double(rs) / double(rObs);
    const double fEmit = 1.0 - double(rs) / double(rEmit);
    if (!(fEmit > 0)) return std::numeric_limits<float>::infinity();
    if (!(fObs > 0)) return 0.0f;
    return float(std::sqrt(fObs / fEmit));
}
