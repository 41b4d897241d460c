// Photon orbits around a Schwarzschild hole: fixed-step RK4 in the distance-relative arc
// parameter, absorption at the horizon, and the weak-field test for a straight continuation.
#include "accel/photonorbit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/programmingerror.h"

namespace {
// The time derivative 1 / (1 - r_s / r) is infinite at the horizon; stages of the step that
// crosses it evaluate it just outside.
constexpr double kHorizonGuard = 1e-12;
}  // namespace

void PhotonPath::escapeDirection(int j, double rs, double& dx, double& dy) const {
    if (hasFinalDirection && j == sampleCount() - 1) {
        dx = finalDx;
        dy = finalDy;
        return;
    }
    PhotonOrbit::asymptoticDirection(samples[std::size_t(j)], rs, dx, dy);
}

void PhotonOrbit::asymptoticDirection(const PhotonSample& p, double rs, double& dx, double& dy) {
    // The path keeps bending towards the hole: the direction turns in the sense of the orbit.
    const double turn = std::min(PhotonOrbit::remainingDeflection(p.x, p.y, p.tx, p.ty, rs), M_PI);
    const double angle = (p.x * p.ty - p.y * p.tx) >= 0 ? turn : -turn;
    const double c = std::cos(angle), s = std::sin(angle);
    dx = p.tx * c - p.ty * s;
    dy = p.tx * s + p.ty * c;
}

PhotonOrbit::PhotonOrbit(const PhotonOrbitSettings& settings) : s_(settings) {
    if (!(s_.rObs > s_.absorbRadius) || !(s_.rs >= 0) || !(s_.sampleStep > 0) || s_.substeps < 1 ||
        s_.maxSamples < 1)
        programmingError("photon orbit with an observer inside the absorbing radius or bad steps");
    sqrtF0_ = std::sqrt(1.0 - s_.rs / s_.rObs);
}

double PhotonOrbit::impactParameter(double rObs, double rs, double angle) {
    return rObs * std::sin(angle) / std::sqrt(1.0 - rs / rObs);
}

double PhotonOrbit::criticalImpactParameter(double rs) { return 1.5 * std::sqrt(3.0) * rs; }

double PhotonOrbit::remainingDeflection(double x, double y, double tx, double ty, double rs) {
    const double r = std::hypot(x, y);
    const double s0 = x * tx + y * ty;
    const double b = std::fabs(x * ty - y * tx);
    if (rs == 0) return 0;
    if (b == 0) return s0 >= 0 ? 0 : std::numeric_limits<double>::infinity();
    const double S = s0 / r;
    if (s0 >= 0) {
        const double rp = r + s0;
        return 0.5 * rs * b * b * b * (2 + S) / (r * r * rp * rp);
    }
    // r + s0 = b^2 / (r - s0) avoids the cancellation for rays heading almost at the hole.
    const double rm = r - s0;
    return 0.5 * rs * (2 + S) * rm * rm / (r * r * b);
}

void PhotonOrbit::derivative(const State& s, double k, State& d) const {
    const double r = std::sqrt(s.x * s.x + s.y * s.y);
    const double invR = 1.0 / r;
    const double invR2 = invR * invR;
    const double dlambda = r / std::sqrt(s.vx * s.vx + s.vy * s.vy);  // d(lambda)/d(sigma)
    const double force = -k * invR2 * invR2 * invR * dlambda;
    d.x = s.vx * dlambda;
    d.y = s.vy * dlambda;
    d.vx = force * s.x;
    d.vy = force * s.y;
    // dt/dlambda = sqrt(f(r_obs)) / f(r) for this normalisation of lambda (E = 1, L = b in the
    // affine parameter gives r^2 dphi/dlambda_affine = b, here r^2 dphi/dlambda = h).
    d.t = sqrtF0_ * dlambda / std::max(1.0 - s_.rs * invR, kHorizonGuard);
}

bool PhotonOrbit::advance(State& s, double k, double step, PhotonSample& crossing) const {
    const int substeps = std::max(1, int(std::ceil(step / s_.sampleStep * s_.substeps - 1e-9)));
    const double h = step / substeps;
    for (int i = 0; i < substeps; ++i) {
        const State prev = s;
        State k1, k2, k3, k4, tmp;
        auto stage = [&](const State& d, double f) {
            tmp.x = prev.x + f * d.x;
            tmp.y = prev.y + f * d.y;
            tmp.vx = prev.vx + f * d.vx;
            tmp.vy = prev.vy + f * d.vy;
            tmp.t = prev.t + f * d.t;
        };
        derivative(prev, k, k1);
        stage(k1, 0.5 * h);
        derivative(tmp, k, k2);
        stage(k2, 0.5 * h);
        derivative(tmp, k, k3);
        stage(k3, h);
        derivative(tmp, k, k4);
        const double w = h / 6.0;
        s.x = prev.x + w * (k1.x + 2 * k2.x + 2 * k3.x + k4.x);
        s.y = prev.y + w * (k1.y + 2 * k2.y + 2 * k3.y + k4.y);
        s.vx = prev.vx + w * (k1.vx + 2 * k2.vx + 2 * k3.vx + k4.vx);
        s.vy = prev.vy + w * (k1.vy + 2 * k2.vy + 2 * k3.vy + k4.vy);
        s.t = prev.t + w * (k1.t + 2 * k2.t + 2 * k3.t + k4.t);
        const double r = std::hypot(s.x, s.y);
        if (r <= s_.absorbRadius) {
            // Where the substep's chord meets the absorbing circle, by the distances at its ends.
            const double rPrev = std::hypot(prev.x, prev.y);
            const double f = (rPrev - s_.absorbRadius) / (rPrev - r);
            crossing.x = prev.x + f * (s.x - prev.x);
            crossing.y = prev.y + f * (s.y - prev.y);
            const double vx = prev.vx + f * (s.vx - prev.vx);
            const double vy = prev.vy + f * (s.vy - prev.vy);
            const double v = std::hypot(vx, vy);
            crossing.tx = vx / v;
            crossing.ty = vy / v;
            crossing.r = std::hypot(crossing.x, crossing.y);
            crossing.time = prev.t;
            return false;
        }
    }
    return true;
}

PhotonSample PhotonOrbit::sampleOf(const State& s) const {
    PhotonSample p;
    p.x = s.x;
    p.y = s.y;
    p.r = std::hypot(s.x, s.y);
    const double v = std::hypot(s.vx, s.vy);
    p.tx = s.vx / v;
    p.ty = s.vy / v;
    p.time = s.t;
    return p;
}

bool PhotonOrbit::mayEscape(const PhotonSample& p) const {
    // Closest approach of the straight continuation: here when moving away, else ahead.
    const double along = p.x * p.tx + p.y * p.ty;
    const double closest = along >= 0 ? p.r : std::fabs(p.x * p.ty - p.y * p.tx);
    if (closest < s_.escapeRadius) return false;
    return remainingDeflection(p.x, p.y, p.tx, p.ty, s_.rs) <= s_.escapeDeflection;
}

void PhotonOrbit::trace(double angle, PhotonPath& out) const {
    out.angle = angle;
    out.samples.clear();
    out.fate = PhotonFate::Absorbed;
    out.escapeLevel = 0;
    out.hasFinalDirection = false;

    // The static observer's angle a becomes the coordinate direction (-sqrt(f) cos a, sin a):
    // radial lengths are stretched by 1 / sqrt(f). With that velocity h = r_obs sin a, and the
    // orbit's invariant 1/b^2 = (v^2 - r_s h^2 / r^3) / h^2 gives b = r_obs sin a / sqrt(f).
    State s{s_.rObs, 0.0, -sqrtF0_ * std::cos(angle), std::sin(angle), 0.0};
    const double h = s_.rObs * std::sin(angle);
    const double k = 1.5 * s_.rs * h * h;

    out.samples.push_back(sampleOf(s));
    bool escaping = false;
    for (;;) {
        const int n = out.sampleCount();
        if (!escaping && mayEscape(out.samples.back())) {
            escaping = true;
            out.fate = PhotonFate::Escaped;
            out.escapeLevel = n;
        }
        if (escaping && (n >= out.escapeLevel + s_.extraEscapeSamples || n >= s_.maxSamples))
            return;
        if (!escaping && n >= s_.maxSamples) {
            decideFate(s, k, out);
            return;
        }
        PhotonSample crossing;
        if (!advance(s, k, sigmaOfLevel(n) - sigmaOfLevel(n - 1), crossing)) {
            out.fate = PhotonFate::Absorbed;
            out.absorbPoint = crossing;
            return;
        }
        out.samples.push_back(sampleOf(s));
    }
}

void PhotonOrbit::decideFate(State s, double k, PhotonPath& out) const {
    PhotonSample crossing;
    const int n = out.sampleCount();
    if (!advance(s, k, sigmaOfLevel(n) - sigmaOfLevel(n - 1), crossing)) {
        out.fate = PhotonFate::Absorbed;
        out.absorbPoint = crossing;
        return;
    }
    const PhotonSample next = sampleOf(s);
    for (double sigma = 0; sigma < s_.fateSigmaLimit; sigma += s_.sampleStep) {
        const PhotonSample p = sampleOf(s);
        if (mayEscape(p)) {
            out.fate = PhotonFate::Escaped;
            out.escapeLevel = out.sampleCount();
            out.hasFinalDirection = true;
            asymptoticDirection(p, s_.rs, out.finalDx, out.finalDy);
            return;
        }
        if (!advance(s, k, s_.sampleStep, crossing)) break;
    }
    // Captured, or still circling the photon sphere: black either way.
    out.fate = PhotonFate::Absorbed;
    out.absorbPoint = next;
}
