// The pure Lorentz boost from the scene frame into the rest frame of a body that moves with
// velocity v (in units of the speed of light, |v| < 1). Rays meet moving bodies in the bodies'
// rest frames: a straight line of events stays a straight line there, so every object kind keeps
// its own static intersection test, and the ray parameter s (scene-frame distance from the ray's
// origin) stays the parameter of the boosted line.
//
// With K = (gamma - 1) / |v|^2, the boost of an event (t, x) is
//     t' = gamma (t - v.x),    x' = x + v (K (v.x) - gamma t).
// The rest frame's spatial origin is the body's reference point P, and both frames agree on the
// event (0, P): a body point that is at P + r in its own frame is at P + r_perp + r_par / gamma
// + v t in the scene frame at time t (contracted along v).
#pragma once

#include <cmath>

#include "geometry/vec4f.h"

struct alignas(16) LorentzBoost {
    Vec4f v;             // x, y, z of the velocity; w = 0
    float gamma = 1.0f;  // 1 / sqrt(1 - |v|^2)
    float k = 0.0f;      // (gamma - 1) / |v|^2, and 0 at rest

    LorentzBoost() = default;
    explicit LorentzBoost(const Vec4f& velocity) {
        v = Vec4f(velocity.x, velocity.y, velocity.z, 0.0f);
        const double b2 = double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z;
        const double g = 1.0 / std::sqrt(1.0 - b2);
        gamma = float(g);
        // (gamma - 1) / b2 = gamma^2 / (gamma + 1), which stays exact as b2 goes to 0.
        k = float(g * g / (g + 1.0));
    }

    // Whether |v| < 1 for the x, y, z of velocity (NaN is not).
    static bool slowerThanLight(const Vec4f& velocity) {
        const double b2 = double(velocity.x) * velocity.x + double(velocity.y) * velocity.y +
                          double(velocity.z) * velocity.z;
        return b2 < 1.0;
    }

    // Rest-frame position of the scene event (t, x), with the rest frame's origin placed at the
    // reference point P (double precision: times of thousands of seconds meet sizes of 1e-3).
    Vec4f restPosition(const Vec4f& x, double t, const Vec4f& P) const {
        const double d[3] = {double(x.x) - P.x, double(x.y) - P.y, double(x.z) - P.z};
        const double vd = double(v.x) * d[0] + double(v.y) * d[1] + double(v.z) * d[2];
        const double s = double(k) * vd - double(gamma) * t;
        return Vec4f(float(P.x + d[0] + v.x * s), float(P.y + d[1] + v.y * s),
                     float(P.z + d[2] + v.z * s), 0.0f);
    }

    // Rest-frame displacement of the scene displacement (sigma, d): the events o + s (sigma, d)
    // of a ray become o' + s D' in the rest frame. sigma is -1 for light that reaches the eye now
    // (events earlier by the distance) and 0 for the scene frame's snapshot.
    Vec4f restDirection(const Vec4f& d, float sigma) const {
        const float s = k * dot3(v, d) - gamma * sigma;
        return Vec4f(d.x + v.x * s, d.y + v.y * s, d.z + v.z * s, 0.0f);
    }

    // The same for four directions in structure-of-arrays form.
    void restDirections(const Vec4f& dx, const Vec4f& dy, const Vec4f& dz, float sigma,
                        Vec4f& ox, Vec4f& oy, Vec4f& oz) const {
        const Vec4f s = (Vec4f(v.x) * dx + Vec4f(v.y) * dy + Vec4f(v.z) * dz) * k -
                        Vec4f(gamma * sigma);
        ox = dx + Vec4f(v.x) * s;
        oy = dy + Vec4f(v.y) * s;
        oz = dz + Vec4f(v.z) * s;
    }

    // Wavelength factor from the body's rest frame to the scene frame for light that travels
    // along -d (d is the unit direction from the observer towards the body): gamma (1 + v.d).
    // Below 1 (blue) for a body coming towards the observer.
    float emitterFactor(const Vec4f& d) const { return gamma * (1.0f + dot3(v, d)); }
    Vec4f emitterFactors(const Vec4f& dx, const Vec4f& dy, const Vec4f& dz) const {
        return Vec4f(gamma) * (Vec4f(1.0f) + Vec4f(v.x) * dx + Vec4f(v.y) * dy + Vec4f(v.z) * dz);
    }
};
