// Photon orbits integrated independently of the program, for tests: u'' = -u + (3/2) r_s u^2
// (u = 1/r, ' = d/dphi) by RK4 from a static observer.
#pragma once

#include <cmath>

namespace oracle {

// Escape angle psi(a) from the direction towards the hole of the orbit leaving rObs at angle a
// from it (tan a = u sqrt(1 - r_s u) / u'); NaN when captured.
inline double orbitEscapeAngle(double a, double rObs, double rs) {
    double u = 1.0 / rObs;
    double du = u * std::sqrt(1.0 - rs * u) * std::cos(a) / std::sin(a);
    auto f = [rs](double uu) { return -uu + 1.5 * rs * uu * uu; };
    const double h = 2e-4;
    double phi = 0.0;
    for (int n = 0; n < 2000000; ++n) {
        const double k1u = du, k1v = f(u);
        const double k2u = du + 0.5 * h * k1v, k2v = f(u + 0.5 * h * k1u);
        const double k3u = du + 0.5 * h * k2v, k3v = f(u + 0.5 * h * k2u);
        const double k4u = du + h * k3v, k4v = f(u + h * k3u);
        const double un = u + h / 6.0 * (k1u + 2 * k2u + 2 * k3u + k4u);
        const double dn = du + h / 6.0 * (k1v + 2 * k2v + 2 * k3v + k4v);
        if (un >= 1.0 / rs) return NAN;
        if (un <= 0.0) {
            return M_PI - (phi + h * u / (u - un));  // the azimuth at infinity
        }
        u = un;
        du = dn;
        phi += h;
    }
    return NAN;
}

// The initial angle in [lo, hi] whose orbit escapes at psi (psi grows with a).
inline double solveAngle(double psi, double lo, double hi, double rObs, double rs) {
    for (int i = 0; i < 60; ++i) {
        const double mid = 0.5 * (lo + hi);
        const double p = orbitEscapeAngle(mid, rObs, rs);
        if (std::isnan(p) || p < psi)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

}  // namespace oracle
