// The black hole's map of the sky at infinity: escape angles sampled from the path table, and
// the images of a star found by inverting them.
#include "accel/skylensing.h"

#include <algorithm>
#include <cmath>

#include "accel/blackholeframe.h"
#include "accel/lightpathtree.h"

namespace {

// Longest walk through a table: far more points than any generated path has.
constexpr int kMaxWalk = 100000;

}  // namespace

bool SkyLensing::walkEscape(const LightPathTree& table, float a, double& psi) {
    if (table.rootCount() <= 0 || !table.isGenerated()) return false;
    PathIterator it;
    it.start(table, a);
    // The path starts at the observer, (rObs, 0) in path coordinates.
    double px = double(table.generatedRObs()), py = 0.0;
    for (int n = 0; n < kMaxWalk; ++n) {
        if (!it.node || it.node->absorbs()) return false;
        it.step();
        if (!it.node) return false;
        float x, y;
        it.point(x, y);
        if (it.node->escapes()) {
            // The last segment points at the escaping node's point and goes on straight. Its
            // direction ux xGRT + uy yGRT is cos(psi) (-xGRT) + sin(psi) yGRT.
            const double ux = double(x) - px, uy = double(y) - py;
            if (ux == 0.0 && uy == 0.0) return false;
            psi = std::atan2(uy, -ux);
            return true;
        }
        px = x;
        py = y;
    }
    return false;
}

void SkyLensing::update(const LightPathTree& table) {
    const void* root = table.rootCount() > 0 ? &table.root(0) : nullptr;
    if (table.generatedRObs() == builtRObs_ && table.generatedRs() == builtRs_ &&
        table.nodeCount() == builtNodes_ && root == builtRoot_ && table.isGenerated())
        return;
    builtRObs_ = table.generatedRObs();
    builtRs_ = table.generatedRs();
    builtNodes_ = table.nodeCount();
    builtRoot_ = root;
    try {
        build(table);
    } catch (...) {
        // Built for nothing: the next update starts again.
        angle_.clear();
        psi_.clear();
        uniform_.clear();
        builtRoot_ = nullptr;
        builtNodes_ = 0;
        throw;
    }
}

void SkyLensing::build(const LightPathTree& table) {
    angle_.clear();
    psi_.clear();
    uniform_.clear();
    double psi = 0.0;
    if (!walkEscape(table, float(M_PI), psi)) return;  // every path falls in

    // The capture angle by bisection on the paths' fate, down to the float resolution of a.
    double lo = 0.0, hi = M_PI;
    if (walkEscape(table, 0.0f, psi)) hi = 0.0;  // no capture at all: nothing to bisect
    while (hi > lo && float(0.5 * (lo + hi)) != float(lo) && float(0.5 * (lo + hi)) != float(hi)) {
        const double mid = 0.5 * (lo + hi);
        (walkEscape(table, float(mid), psi) ? hi : lo) = mid;
    }
    captureAngle_ = hi;

    // From a = pi downwards, unwrapping psi as it falls; samples that do not fall (the
    // table's piecewise-linear noise within the tolerance) are left out.
    angle_.reserve(kSamples);
    psi_.reserve(kSamples);
    const double span = M_PI - captureAngle_, norm = std::expm1(kKappa);
    for (int i = kSamples - 1; i >= 0; --i) {
        const double a = captureAngle_ + span * std::expm1(kKappa * i / (kSamples - 1)) / norm;
        double p = 0.0;
        if (!walkEscape(table, float(a), p)) continue;
        if (psi_.empty()) {
            if (p < 0.0) p += 2.0 * M_PI;  // a = pi leaves straight away: psi = pi, not -pi
        } else {
            const double prev = psi_.back();
            while (p - prev > M_PI) p -= 2.0 * M_PI;
            while (p - prev < -M_PI) p += 2.0 * M_PI;
            if (!(p < prev) || !(a < angle_.back())) continue;
        }
        angle_.push_back(a);
        psi_.push_back(p);
    }
    std::reverse(angle_.begin(), angle_.end());
    std::reverse(psi_.begin(), psi_.end());
    uniform_.clear();
    if (angle_.size() < 2) {
        angle_.clear();
        psi_.clear();
        return;
    }
    // The same curve at every sample position, for look-ups without a search.
    uniform_.resize(kSamples);
    for (int i = 0; i < kSamples; ++i)
        uniform_[size_t(i)] = searchEscapeAngle(
            captureAngle_ + span * std::expm1(kKappa * i / (kSamples - 1)) / norm);
}

double SkyLensing::escapeAngle(double a) const {
    if (uniform_.empty() || !(a >= angle_.front())) return NAN;
    // The sample position of a, inverting the spacing formula.
    const double span = M_PI - captureAngle_;
    const double x =
        std::log1p((a - captureAngle_) / span * std::expm1(kKappa)) / kKappa * (kSamples - 1);
    const int i = std::clamp(int(x), 0, kSamples - 2);
    const double p0 = uniform_[size_t(i)], p1 = uniform_[size_t(i) + 1];
    if (std::isnan(p0) || std::isnan(p1)) return searchEscapeAngle(a);
    return p0 + (x - i) * (p1 - p0);
}

double SkyLensing::searchEscapeAngle(double a) const {
    if (angle_.size() < 2 || !(a >= angle_.front())) return NAN;
    const size_t n = angle_.size();
    size_t k = size_t(std::upper_bound(angle_.begin(), angle_.end(), a) - angle_.begin());
    k = std::clamp<size_t>(k, 1, n - 1);
    const double t = (a - angle_[k - 1]) / (angle_[k] - angle_[k - 1]);
    return psi_[k - 1] + t * (psi_[k] - psi_[k - 1]);
}

bool SkyLensing::solve(double psi, double& a, double& slope) const {
    const size_t n = psi_.size();
    if (n < 2 || psi < psi_.front()) return false;
    if (psi > psi_.back()) {
        if (psi > psi_.back() + 1e-6) return false;
        psi = psi_.back();
    }
    size_t k = size_t(std::upper_bound(psi_.begin(), psi_.end(), psi) - psi_.begin());
    k = std::clamp<size_t>(k, 1, n - 1);
    const double dp = psi_[k] - psi_[k - 1], da = angle_[k] - angle_[k - 1];
    a = angle_[k - 1] + (psi - psi_[k - 1]) * da / dp;
    // The derivative over kSlopeSamples samples either side rather than between neighbours:
    // the table's escape directions carry errors up to its tolerance, which a difference over
    // one sample spacing would magnify. The samples lie about 0.34 % of a - a_c apart near the
    // capture angle, at most 0.011 rad.
    const size_t lo = k - 1 >= size_t(kSlopeSamples) ? k - 1 - size_t(kSlopeSamples) : 0;
    const size_t hi = std::min(n - 1, k + size_t(kSlopeSamples));
    slope = (psi_[hi] - psi_[lo]) / (angle_[hi] - angle_[lo]);
    return true;
}

int SkyLensing::images(const BlackHoleFrame& hole, const float star[3],
                       Image out[kMaxImages]) const {
    if (!valid()) return 0;
    // The axis towards the hole, and the star's side of the plane through it.
    const double h[3] = {-double(hole.xGRT.x), -double(hole.xGRT.y), -double(hole.xGRT.z)};
    const double cs = std::clamp(
        double(star[0]) * h[0] + double(star[1]) * h[1] + double(star[2]) * h[2], -1.0, 1.0);
    double e[3] = {star[0] - cs * h[0], star[1] - cs * h[1], star[2] - cs * h[2]};
    double elen = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
    if (elen < 1e-9) {
        // Exactly on the axis: any side will do (the images form a ring).
        const int m = std::fabs(h[0]) < 0.9 ? 0 : 1;
        const double axis[3] = {double(m == 0), double(m == 1), 0.0};
        const double d = axis[0] * h[0] + axis[1] * h[1];
        for (int c = 0; c < 3; ++c) e[c] = axis[c] - d * h[c];
        elen = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
    }
    for (double& c : e) c /= elen;
    const double psiStar = std::acos(cs);
    const double sinStar = std::max(std::sin(psiStar), 1e-9);

    const double targets[kMaxImages] = {psiStar, -psiStar, psiStar - 2.0 * M_PI,
                                        -psiStar - 2.0 * M_PI};
    int count = 0;
    for (int i = 0; i < kMaxImages; ++i) {
        double a = 0.0, slope = 0.0;
        if (!solve(targets[i], a, slope) || !(slope > 0.0)) continue;
        const double side = (i % 2 == 0) ? 1.0 : -1.0;
        const double ca = std::cos(a), sa = std::sin(a);
        Image& image = out[count++];
        for (int c = 0; c < 3; ++c) image.dir[c] = float(ca * h[c] + side * sa * e[c]);
        const double mu = std::fabs(sa) / (sinStar * slope);
        image.magnification = float(std::min(mu, double(kMaxMagnification)));
    }
    return count;
}
