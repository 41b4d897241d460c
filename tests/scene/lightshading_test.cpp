// The light response: searchlight beaming against (1/D)^k, exposure in stops, and table shading
// against line-by-line sums; the Doppler read-out and the picture's aspect factors.
#include "scene/lightshading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "scene/cie1931.h"
#include "scene/colblackbody.h"
#include "scene/coldiscrete.h"
#include "scene/eye.h"
#include "scene/rendersettings.h"

namespace {

int channel(uint32_t px, int c) { return int((px >> (8 * c)) & 0xff); }

uint32_t one(const ColDiscrete& col, const Eye& eye, float d, float shade) {
    uint32_t px = 0x5a5a5a5au;
    col.toPixel(eye, &px, &d, &shade);
    return px;
}

Eye lightEye(const Eye& base, int k, float stops) {
    RenderSettings s;
    s.eye = base;
    s.searchlight = int8_t(k);
    s.exposureStops = stops;
    s.syncLight();
    return s.eye;
}

const Eye& humans() { return eyePresets()[3].eye; }

}  // namespace

TEST(LightShading, SearchlightAtTheViewCentreIsOnePlusBetaTimesGammaToTheK) {
    for (int k : {3, 4}) {
        for (double beta : {0.3, 0.6, 0.9}) {
            const double gamma = 1.0 / std::sqrt(1.0 - beta * beta);
            const double expected = std::pow((1.0 + beta) * gamma, k);
            // The centre ray's wavelength factor; a line that lands on the red peak (500 nm).
            const float d = float(1.0 / ((1.0 + beta) * gamma));
            const float intensity = float(150.0 / expected);
            ColDiscrete col;
            col.addLine(500.0f / d, intensity);
            const Eye eye = lightEye(humans(), k, 0.0f);
            RenderSettings s;
            s.searchlight = int8_t(k);
            EXPECT_NEAR(s.beamingFactor(d), expected, expected * 1e-5);
            const uint32_t px = one(col, eye, d, 1.0f);
            EXPECT_NEAR(channel(px, 0), 150, 1) << "k " << k << " beta " << beta;
            // Without the searchlight the same line is 'expected' times dimmer.
            const uint32_t plain = one(col, humans(), d, 1.0f);
            EXPECT_EQ(channel(plain, 0), int(150.0 / expected - 1e-3));
            // The cursor read-out: the frequency factor (beta r / t + 1) gamma to the k.
            s.speed = float(beta);
            EXPECT_NEAR(s.beamingAt(0, 0), std::pow(gamma, k), std::pow(gamma, k) * 1e-5);
            const double r = 0.5, t = std::sqrt(1.25);
            EXPECT_NEAR(s.beamingAt(0.3f, 0.4f), std::pow((beta * r / t + 1.0) * gamma, k),
                        std::pow((beta * r / t + 1.0) * gamma, k) * 1e-5);
        }
    }
}

TEST(LightShading, ExposureStopsScaleBeforeTheClamp) {
    ColDiscrete col;
    col.addLine(500.0f, 40.0f);
    for (float stops : {-1.0f, 1.0f, 2.0f, 3.0f}) {
        const Eye eye = lightEye(humans(), 0, stops);
        const int want = std::min(255, int(40.0 * std::exp2(stops) - 1e-3));
        EXPECT_NEAR(channel(one(col, eye, 1.0f, 1.0f), 0), want, 1) << stops;
    }
    // Lanes clamp at 254, one ray at 255, as the plain forms do.
    const Eye bright = lightEye(humans(), 0, 4.0f);
    EXPECT_EQ(channel(one(col, bright, 1.0f, 1.0f), 0), 255);
    uint32_t px = 0;
    uint32_t* const out[4] = {&px, nullptr, nullptr, nullptr};
    col.toPixel4(bright, Vec4f(1.0f), Vec4f(1.0f), LaneMask4::fromBits(1), out);
    EXPECT_EQ(channel(px, 0), 254);
}

// Seeded random colours, eyes, exponents and Doppler factors: prepared tables (one ray and four
// lanes) stay within one level of the line-by-line computation.
TEST(LightShading, TablesAgreeWithLineByLineSums) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> wl(150.0f, 2000.0f), in(0.0f, 150.0f), logd(-2.5f, 2.5f),
        shadeDist(0.2f, 1.0f);
    int compared = 0, worst = 0;
    for (int trial = 0; trial < 60; ++trial) {
        ColDiscrete plain;
        const int lines = 1 + trial % 3;
        for (int i = 0; i < lines; ++i) plain.addLine(wl(rng), in(rng));
        ColBlackbody body(QStringLiteral("bb"), 2000.0f + 200.0f * float(trial), 0.6f);
        const ColDiscrete& col = trial % 2 ? static_cast<const ColDiscrete&>(body) : plain;
        const int k = trial % 3 == 0 ? 0 : (trial % 3 == 1 ? 3 : 4);
        const Eye eye = lightEye(eyePresets()[trial % 5].eye, k, trial % 2 ? -3.0f : 0.25f);
        ColDiscrete unprepared = col;  // a copy has no tables: the direct path
        const_cast<ColDiscrete&>(col).lightTables.prepare(col, eye);
        ASSERT_NE(col.lightTables.find(eye.lightKey), nullptr);
        for (int r = 0; r < 40; ++r) {
            const float d = std::exp(logd(rng));
            const float shade = shadeDist(rng);
            const uint32_t fast = one(col, eye, d, shade);
            const uint32_t slow = one(unprepared, eye, d, shade);
            uint32_t lanes[4] = {0, 0, 0, 0};
            uint32_t* const out[4] = {&lanes[0], &lanes[1], &lanes[2], &lanes[3]};
            const Vec4f ds(d, d * 1.01f, d * 0.99f, d);
            col.toPixel4(eye, ds, Vec4f(shade), LaneMask4::fromBits(15), out);
            for (int c = 0; c < 3; ++c) {
                const int diff = std::abs(channel(fast, c) - channel(slow, c));
                worst = std::max(worst, diff);
                ASSERT_LE(diff, 1) << "trial " << trial << " d " << d << " channel " << c;
                ASSERT_LE(std::abs(channel(lanes[0], c) - std::min(channel(slow, c), 254)), 1);
            }
            ++compared;
        }
    }
    EXPECT_EQ(compared, 60 * 40);
    EXPECT_LE(worst, 1);
}

TEST(LightShading, OffGridFactorsFallBackToTheDirectPath) {
    ColBlackbody body(QStringLiteral("bb"), 5000.0f, 0.5f);
    const Eye eye = lightEye(cieHumanEye(), 4, 0.0f);
    body.lightTables.prepare(body, eye);
    float sums[3];
    const SpectrumTable* t = body.lightTables.find(eye.lightKey);
    EXPECT_FALSE(t->lookup(1e-3f, sums));
    EXPECT_FALSE(t->lookup(-1.0f, sums));
    EXPECT_FALSE(t->lookup(std::nanf(""), sums));
    EXPECT_FALSE(t->lookup(256.0f, sums));
    EXPECT_TRUE(t->lookup(255.9f, sums));
    Vec4f lanes[3];
    EXPECT_FALSE(t->lookup4(Vec4f(1.0f, 1.0f, -1.0f, 1.0f), lanes));
    // NaN factor: black, not garbage.
    EXPECT_EQ(one(body, eye, std::nanf(""), 1.0f) & 0xffffffu, 0u);
}

TEST(RenderSettings, AspectFactorsScaleTheShorterSide) {
    float sx, sy;
    RenderSettings::aspectFactors(200, 100, sx, sy);
    EXPECT_EQ(sx, 1.0f);
    EXPECT_EQ(sy, 0.5f);
    RenderSettings::aspectFactors(100, 400, sx, sy);
    EXPECT_EQ(sx, 0.25f);
    EXPECT_EQ(sy, 1.0f);
}

TEST(RenderSettings, DopplerReadOutIsGammaAtTheCentre) {
    RenderSettings s;
    s.speed = 0.6f;
    EXPECT_NEAR(s.dopplerAt(0, 0), 1.25f, 1e-6);
    // (beta r / t + 1) gamma with r = hypot(u, v), t = sqrt(u^2 + v^2 + 1).
    const double r = std::hypot(0.3, 0.4), t = std::sqrt(0.25 + 1.0);
    EXPECT_NEAR(s.dopplerAt(0.3f, 0.4f), (0.6 * r / t + 1.0) * 1.25, 1e-5);
}
