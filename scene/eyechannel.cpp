// Smoothstep sensitivity curves expanded into plain cubics in the wavelength.
#include "scene/eyechannel.h"

#include <cmath>

namespace {

// s(x) = 3x^2 - 2x^3: value 0 and slope 0 at x = 0, value 1 and slope 0 at x = 1.
constexpr float kSmoothstep[4] = {0.0f, 0.0f, 3.0f, -2.0f};

// Coefficients of s((w - origin) / span) as a cubic in w, in single precision.
void smoothstepAround(float origin, float span, float out[4]) {
    // Scale: s(t / span) has coefficients c_k / span^k; span^k is formed in double and rounded
    // once, so the only single-precision error of this step is the division.
    for (int k = 0; k < 4; ++k)
        out[k] = kSmoothstep[k] / static_cast<float>(std::pow(static_cast<double>(span), k));
    // Shift: p(w) -> p(w - origin) by the Taylor shift (repeated synthetic division).
    for (int i = 0; i < 3; ++i)
        for (int j = 2; j >= i; --j) out[j] -= origin * out[j + 1];
}

}  // namespace

EyeChannel::EyeChannel()
    : below{0.0f, 0.0f, 0.0f, 0.0f},
      above{0.0f, 0.0f, 0.0f, 0.0f},
      lo(0.0f),
      peak(0.0f),
      hi(0.0f) {}

EyeChannel::EyeChannel(float lo_, float peak_, float hi_) : lo(lo_), peak(peak_), hi(hi_) {
    // Rising side: x = (w - lo) / (peak - lo) runs from 0 at lo to 1 at peak.
    smoothstepAround(lo, static_cast<float>(static_cast<double>(peak) - lo), below);
    // Falling side: x = (w - hi) / (peak - hi) runs from 0 at hi to 1 at peak; the span is
    // negative.
    smoothstepAround(hi, static_cast<float>(static_cast<double>(peak) - hi), above);
}

bool operator==(const EyeChannel& a, const EyeChannel& b) {
    for (int k = 0; k < 4; ++k)
        if (a.below[k] != b.below[k] || a.above[k] != b.above[k]) return false;
    return a.lo == b.lo && a.peak == b.peak && a.hi == b.hi;
}
