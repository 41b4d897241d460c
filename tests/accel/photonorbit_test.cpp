// The photon-orbit integrator against the exact deflection integral of a Schwarzschild orbit, from
// the strong field near the photon sphere to Einstein's weak-field angle, and the turn it gives a
// path beyond its last sample; radial light and the bending still ahead of a photon in closed
// form.
#include "accel/photonorbit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Total bending of a ray from infinity with impact parameter b > b_c, from the orbit equation's
// first integral (du/dphi)^2 = G(u) = 1/b^2 - u^2 + r_s u^3:
//   deflection = 2 Int_0^u0 du / sqrt(G(u)) - pi,  u0 the smallest positive root of G.
// With u = u0 (1 - w^2), G = u0 w^2 Q(w), Q = (u + u0) - r_s (u^2 + u u0 + u0^2), the integrand
// becomes 2 sqrt(u0) / sqrt(Q), smooth on [0, 1]; composite Simpson does the rest.
double exactDeflection(double b, double rs) {
    auto G = [&](double u) { return 1 / (b * b) - u * u + rs * u * u * u; };
    double lo = 0, hi = 2.0 / (3.0 * rs);  // G > 0 at 0, G < 0 at the photon sphere
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (G(mid) > 0 ? lo : hi) = mid;
    }
    const double u0 = 0.5 * (lo + hi);
    auto f = [&](double w) {
        const double u = u0 * (1 - w * w);
        const double q = (u + u0) - rs * (u * u + u * u0 + u0 * u0);
        return 2 * std::sqrt(u0) / std::sqrt(q);
    };
    const int n = 200000;
    const double h = 1.0 / n;
    double sum = f(0) + f(1);
    for (int i = 1; i < n; ++i) sum += f(i * h) * (i % 2 ? 4 : 2);
    return 2 * sum * h / 3 - M_PI;
}

PhotonOrbitSettings farSettings(double rObs) {
    PhotonOrbitSettings s;
    s.rObs = rObs;
    s.rs = 1;
    s.sampleStep = 0.1;
    s.substeps = 4;
    s.absorbRadius = 1;
    s.escapeRadius = 10;
    s.escapeDeflection = 1e-10;
    s.maxSamples = 4000;
    s.extraEscapeSamples = 0;
    return s;
}

// Bending of the ray with impact parameter b seen from far away: the angle from its initial
// direction to its asymptotic one, in the sense of the orbit.
double tracedDeflection(double b) {
    const double rObs = 1e6;
    const PhotonOrbit orbit(farSettings(rObs));
    const double angle = std::asin(b * std::sqrt(1 - 1 / rObs) / rObs);
    PhotonPath path;
    orbit.trace(angle, path);
    EXPECT_EQ(path.fate, PhotonFate::Escaped);
    const PhotonSample& start = path.samples.front();
    double dx, dy;
    path.escapeDirection(path.escapeLevel - 1, 1.0, dx, dy);
    return std::atan2(start.tx * dy - start.ty * dx, start.tx * dx + start.ty * dy);
}

}  // namespace

// From the strong field near the photon sphere to the weak one, where the exact integral is
// Einstein's 4M/b = 2 r_s / b (the next order adds about 0.6 % at b = 100).
TEST(PhotonOrbit, DeflectionMatchesTheExactIntegral) {
    for (double b : {2.7, 3.0, 4.0, 6.0, 15.0, 100.0}) {
        const double exact = exactDeflection(b, 1.0);
        const double tolerance = b > 50 ? 1e-4 * exact : 2e-4 * std::max(1.0, exact);
        EXPECT_NEAR(std::remainder(tracedDeflection(b) - exact, 2 * M_PI), 0.0, tolerance)
            << "b = " << b << " exact " << exact;
    }
    // Anchors for the oracle itself: Einstein's angle far out, growth without bound near b_c.
    EXPECT_NEAR(exactDeflection(1e4, 1.0) * 1e4 / 2, 1.0, 1e-3);
    EXPECT_GT(exactDeflection(2.6, 1.0), 2 * M_PI);
}

// Beyond its last sample a path still bends towards the hole, whichever way round it goes and
// wherever it is: its direction turns by the remaining deflection, to the side of the hole.
TEST(PhotonOrbit, AsymptoticDirectionTurnsTowardsTheHole) {
    for (double place = 0.3; place < 6.2; place += 0.7) {
        for (const double heading : {0.4, -0.4, 1.2, -1.2}) {
            PhotonSample p;
            p.x = 40 * std::cos(place);
            p.y = 40 * std::sin(place);
            // Outwards, turned by heading off the radial direction.
            p.tx = std::cos(place + heading);
            p.ty = std::sin(place + heading);
            double dx, dy;
            PhotonOrbit::asymptoticDirection(p, 1.0, dx, dy);
            const double turn = std::atan2(p.tx * dy - p.ty * dx, p.tx * dx + p.ty * dy);
            // The hole lies at -p: the side of the direction it is on, by the cross product.
            const double holeSide = p.tx * -p.y - p.ty * -p.x;
            EXPECT_GT(turn * holeSide, 0.0) << place << " " << heading;
            EXPECT_NEAR(std::fabs(turn), PhotonOrbit::remainingDeflection(p.x, p.y, p.tx, p.ty, 1),
                        1e-12);
        }
    }
}

// Radial light in closed form.
TEST(PhotonOrbit, RadialRaysFollowClosedForms) {
    PhotonOrbitSettings s = farSettings(10.0);
    s.maxSamples = 80;
    const PhotonOrbit orbit(s);
    PhotonPath in;
    orbit.trace(0.0, in);
    ASSERT_EQ(in.fate, PhotonFate::Absorbed);
    // Samples at r = r_obs e^{-k step}; time t = (r0 - r) + r_s ln((r0 - r_s) / (r - r_s)).
    ASSERT_EQ(in.sampleCount(), int(std::ceil(std::log(10.0) / 0.1)));
    for (int k = 0; k < in.sampleCount(); ++k) {
        const PhotonSample& p = in.samples[std::size_t(k)];
        const double r = 10 * std::exp(-0.1 * k);
        EXPECT_NEAR(p.r / r, 1.0, 2e-8);  // RK4: about 1e-10 per step
        EXPECT_EQ(p.y, 0.0);
        EXPECT_NEAR(p.tx, -1.0, 1e-12);
        if (r > 1.2) {  // within a step of the horizon the steps cannot follow the log
            EXPECT_NEAR(p.time, (10 - r) + std::log(9 / (r - 1)), 1e-6 * (1 + p.time));
        }
    }
    EXPECT_NEAR(in.absorbPoint.r, 1.0, 1e-9);
    PhotonPath out;
    PhotonOrbitSettings near = s;
    near.rObs = 2.0;
    PhotonOrbit(near).trace(M_PI, out);
    ASSERT_EQ(out.fate, PhotonFate::Escaped);
    // Leaves once r = 2 e^{k step} >= escapeRadius.
    EXPECT_EQ(out.escapeLevel, int(std::ceil(std::log(5.0) / 0.1)) + 1);
    for (int k = 0; k < out.sampleCount(); ++k)
        EXPECT_NEAR(out.samples[std::size_t(k)].r / (2 * std::exp(0.1 * k)), 1.0, 2e-8);
}

// The bending still ahead of the line y = -b heading +x: half of Einstein's 2 r_s / b at the
// closest point, both halves together on either side, 3 r_s b^3 / (8 s^4) far out.
TEST(PhotonOrbit, RemainingDeflectionSplitsEinsteinsAngleAtTheClosestPoint) {
    const double b = 30, far = 1e5;
    EXPECT_NEAR(PhotonOrbit::remainingDeflection(0, -b, 1, 0, 1) * b, 1.0, 1e-12);
    for (double s : {5.0, 40.0, 300.0, 1e4}) {
        const double ahead = PhotonOrbit::remainingDeflection(s, -b, 1, 0, 1);
        const double behind = PhotonOrbit::remainingDeflection(-s, -b, 1, 0, 1);
        EXPECT_NEAR((ahead + behind) * b / 2, 1.0, 1e-9) << s;
    }
    EXPECT_NEAR(
        PhotonOrbit::remainingDeflection(far, -b, 1, 0, 1) * 8 * std::pow(far, 4) / (3 * b * b * b),
        1.0, 1e-6);
    EXPECT_EQ(PhotonOrbit::remainingDeflection(5, 0, 1, 0, 1), 0.0);  // radially outwards
}
