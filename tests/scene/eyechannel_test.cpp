// Sensitivity curves against the smoothstep evaluated directly in double, for every preset.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "scene/eye.h"

namespace {

double smoothstep(double x) { return 3.0 * x * x - 2.0 * x * x * x; }

// The curve as a formula: 0 outside [lo, hi], s((w - lo)/(peak - lo)) rising, s((hi - w)/(hi -
// peak)) falling.
double reference(double lo, double peak, double hi, double w) {
    if (w < lo || w > hi) return 0.0;
    if (w < peak) return smoothstep((w - lo) / (peak - lo));
    return smoothstep((hi - w) / (hi - peak));
}

// Single-precision accuracy of a cubic whose coefficients came from expanding s around an end
// point a: rounding errors scale with the terms of the expansion, c2 (|w| + |a|)^2 and
// c3 (|w| + |a|)^3 with c_k = s_k / span^k, not with the result.
double tolerance(const EyeChannel& ch, double w) {
    const bool rising = w < ch.peak;
    const double a = std::fabs(rising ? ch.lo : ch.hi);
    const double span = std::fabs(rising ? double(ch.peak) - ch.lo : double(ch.hi) - ch.peak);
    const double reach = (std::fabs(w) + a) / span;
    return 2.0 * FLT_EPSILON * (3.0 * reach * reach + 2.0 * reach * reach * reach);
}

}  // namespace

TEST(EyeChannel, MatchesSmoothstepOverAllPresets) {
    for (const EyePreset& preset : eyePresets()) {
        if (preset.eye.kind != EyeKind::ThreeCurve) continue;
        for (int c = 0; c < 3; ++c) {
            const EyeChannel& ch = preset.eye.channel[c];
            double worst = 0.0;
            for (int i = 0; i <= 4000; ++i) {
                const float w = 0.5f * static_cast<float>(i);  // 0 .. 2000 nm
                const double want = reference(ch.lo, ch.peak, ch.hi, w);
                const double got = ch.sensitivity(w);
                if (w < ch.lo || w > ch.hi) {
                    ASSERT_EQ(got, 0.0) << preset.name.toStdString() << " channel " << c;
                    continue;
                }
                ASSERT_NEAR(got, want, tolerance(ch, w))
                    << preset.name.toStdString() << " channel " << c << " at " << w;
                worst = std::max(worst, std::fabs(got - want));
            }
            // Guard the tolerance itself: the curves are good to a few parts in 10^4 at worst.
            EXPECT_LT(worst, 1e-3) << preset.name.toStdString() << " channel " << c;
        }
    }
}
