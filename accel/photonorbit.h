// Light rays around a Schwarzschild black hole, integrated in the plane of the orbit and sampled
// at equal steps of a distance-relative arc parameter; the source of the light-path table.
#pragma once

#include <vector>

// One sample of a path in the table's coordinates (hole at the origin, observer on +x).
struct PhotonSample {
    double x = 0, y = 0;    // position
    double tx = 0, ty = 0;  // unit direction of travel
    double r = 0;           // distance from the hole
    double time = 0;        // Schwarzschild coordinate time since leaving the observer
};

enum class PhotonFate { Absorbed, Escaped };

// A sampled path. samples[0] is the observer; samples[k] lies at PhotonOrbit::sigmaOfLevel(k).
struct PhotonPath {
    double angle = 0;
    PhotonFate fate = PhotonFate::Absorbed;
    std::vector<PhotonSample> samples;
    // Absorbed: where the path reaches the absorbing radius (or, for a path that outlives the
    // sampled levels, the point one step after the last sample).
    PhotonSample absorbPoint;
    // Escaped: from sample escapeLevel - 1 on the path may be continued straight; samples go on
    // for a few levels beyond so that neighbours that escape later can share nodes.
    int escapeLevel = 0;
    // Escaped after the sampled levels: the asymptotic direction, found by integrating on.
    bool hasFinalDirection = false;
    double finalDx = 0, finalDy = 0;

    int sampleCount() const { return int(samples.size()); }
    // The direction of the straight continuation from samples[j].
    void escapeDirection(int j, double rs, double& dx, double& dy) const;
};

struct PhotonOrbitSettings {
    double rObs = 10;                // observer's distance from the hole
    double rs = 1;                   // Schwarzschild radius
    double sampleStep = 0.1;         // sigma between samples, d(sigma) = ds / r
    int substeps = 10;               // RK4 steps per sample step
    double absorbRadius = 1;         // paths end when they reach this distance
    double escapeRadius = 10;        // straight continuation must stay this far from the hole
    double escapeDeflection = 1e-4;  // ... and bend by less than this (radians)
    int maxSamples = 80;             // at most this many samples, the observer included
    int extraEscapeSamples = 16;     // samples kept beyond the escape level
    double fateSigmaLimit = 30;      // sigma spent beyond maxSamples deciding the fate
};

// Integrates photon orbits for one observer and hole.
//
// The orbit equation d^2u/dphi^2 + u = 3 M u^2 (u = 1/r, M = r_s / 2, G = c = 1) is exactly the
// path of a particle in flat coordinates under the central force -(3/2) r_s h^2 x / r^5 with h
// its angular momentum (Binet's equation). Integrating that Cartesian system has no trouble with
// turning points, radial rays (h = 0) or rays leaving the hole; the independent variable is sigma,
// d(sigma) = |dx| / r, so that steps are short near the hole and long far away with the same
// relative accuracy, and the same sigma marks comparable points of neighbouring rays.
class PhotonOrbit {
public:
    explicit PhotonOrbit(const PhotonOrbitSettings& settings);

    const PhotonOrbitSettings& settings() const { return s_; }
    // Sigma of sample k.
    double sigmaOfLevel(int k) const { return s_.sampleStep * k; }

    // Samples the ray that leaves the observer at `angle` from the direction to the hole, as a
    // static observer measures it (0 = straight at the hole, pi = straight away). The observer
    // must be outside the absorbing radius. Reuses `out`'s storage.
    void trace(double angle, PhotonPath& out) const;

    // b = r_obs sin(a) / sqrt(1 - r_s / r_obs).
    static double impactParameter(double rObs, double rs, double angle);
    // The capture boundary: b_c = (3 sqrt(3) / 2) r_s.
    static double criticalImpactParameter(double rs);
    // Weak-field bending still ahead of a ray at (x, y) heading along the unit (tx, ty):
    // (1/2) r_s b^3 (2 + S) / (r^2 (r + s0)^2) with b its line's distance from the hole, s0 the
    // distance along the line past the closest point and S = s0 / r. It is the integral of the
    // transverse force along the straight line; from the closest point it gives r_s / b, half of
    // Einstein's 2 r_s / b.
    static double remainingDeflection(double x, double y, double tx, double ty, double rs);
    // The direction at p turned by the remaining deflection, in the sense of the orbit.
    static void asymptoticDirection(const PhotonSample& p, double rs, double& dx, double& dy);

private:
    struct State {
        double x, y, vx, vy, t;
    };
    // d/dsigma of the state; k = (3/2) r_s h^2 of the ray.
    void derivative(const State& s, double k, State& d) const;
    // RK4 over `step` of sigma in substeps no longer than sampleStep / substeps. Returns false
    // and the crossing point when the path reaches the absorbing radius.
    bool advance(State& s, double k, double step, PhotonSample& crossing) const;
    PhotonSample sampleOf(const State& s) const;
    bool mayEscape(const PhotonSample& p) const;
    // Integrates on from the last sample of a path that used up its samples.
    void decideFate(State s, double k, PhotonPath& out) const;

    PhotonOrbitSettings s_;
    double sqrtF0_ = 1;  // sqrt(1 - r_s / r_obs)
};
