// The light response: searchlight beaming against (1/D)^k, exposure in stops, table shading
// against line-by-line sums, and the plain path untouched while everything is off.
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

TEST(LightShading, EverythingOffKeepsThePlainPath) {
    RenderSettings s;
    s.syncLight();
    EXPECT_FALSE(s.eye.extended());
    EXPECT_EQ(s.beamingFactor(0.3f), 1.0f);
    RenderSettings copy;
    copy = s;
    EXPECT_FALSE(copy.eye.extended());
    s.searchlight = 4;
    s.syncLight();
    EXPECT_TRUE(s.eye.extended());
    s.searchlight = 0;
    s.exposureStops = 0.5f;
    s.syncLight();
    EXPECT_TRUE(s.eye.extended());
    // The light fields do not make two eyes different for the eye editor.
    EXPECT_EQ(s.eye, defaultEye());
}

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

TEST(LightShading, StaleTablesAreRebuiltAndCopiesStartEmpty) {
    ColDiscrete col;
    col.addLine(500.0f, 50.0f);
    const Eye eye = lightEye(humans(), 4, 0.0f);
    col.lightTables.prepare(col, eye);
    const SpectrumTable* first = col.lightTables.find(eye.lightKey);
    ASSERT_NE(first, nullptr);
    col.intensities[0] = 100.0f;
    col.lightTables.prepare(col, eye);
    EXPECT_NEAR(channel(one(col, eye, 1.0f, 1.0f), 0), 100, 1);  // not the stale 50
    ColDiscrete copy = col;
    EXPECT_EQ(copy.lightTables.find(eye.lightKey), nullptr);
    // A second key takes the other slot; a third evicts the least recently prepared.
    const Eye e3 = lightEye(humans(), 3, 0.0f);
    col.lightTables.prepare(col, e3);
    EXPECT_NE(col.lightTables.find(eye.lightKey), nullptr);
    EXPECT_NE(col.lightTables.find(e3.lightKey), nullptr);
    const Eye other = lightEye(eyePresets()[0].eye, 4, 0.0f);
    col.lightTables.prepare(col, other);
    EXPECT_EQ(col.lightTables.find(eye.lightKey), nullptr);
    EXPECT_NE(col.lightTables.find(other.lightKey), nullptr);
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

// The four-lane finish against the one-lane finish, lane by lane: seeded sums that need gamut
// clipping (negative channels), that overflow the channel or the sRGB range, zeros and exact 1s,
// for both kinds of eye and both channel limits.
TEST(LightShading, FourLaneFinishEqualsTheOneLaneFinish) {
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> sum(-120.0f, 600.0f), shadeDist(0.0f, 1.2f);
    const Eye eyes[2] = {lightEye(humans(), 4, -1.5f), lightEye(cieHumanEye(), 3, 0.5f)};
    for (const Eye& eye : eyes)
        for (float limit : {255.0f, 254.9f})
            for (int trial = 0; trial < 2000; ++trial) {
                float s[3][4];
                for (auto& channelSums : s)
                    for (float& v : channelSums) v = sum(rng);
                if (trial % 7 == 0) s[0][1] = s[1][1] = s[2][1] = 0.0f;
                if (trial % 11 == 0) s[1][2] = float(Cie1931::kUnit);
                const Vec4f sums[3] = {Vec4f(s[0][0], s[0][1], s[0][2], s[0][3]),
                                       Vec4f(s[1][0], s[1][1], s[1][2], s[1][3]),
                                       Vec4f(s[2][0], s[2][1], s[2][2], s[2][3])};
                const float shades[4] = {shadeDist(rng), shadeDist(rng), 1.0f, shadeDist(rng)};
                alignas(16) uint32_t four[4];
                LightShading::finish4(eye, sums, Vec4f(shades[0], shades[1], shades[2], shades[3]),
                                      limit, four);
                for (int l = 0; l < 4; ++l) {
                    const float lane[3] = {s[0][l], s[1][l], s[2][l]};
                    ASSERT_EQ(four[l], LightShading::finish(eye, lane, shades[l], limit))
                        << "trial " << trial << " lane " << l;
                }
            }
}

// A lane without a hit may carry a factor off the table (0 for a miss): the hit lanes still
// come from the table, exactly as when that lane holds an ordinary factor.
TEST(LightShading, MaskedLanesDoNotChangeTheHitLanes) {
    const ColBlackbody body(QStringLiteral("bb"), 4500.0f, 0.8f);
    const Eye eye = lightEye(cieHumanEye(), 4, -2.0f);
    const_cast<ColBlackbody&>(body).lightTables.prepare(body, eye);
    for (float missing : {0.0f, -1.0f, 1e-30f, 1e30f}) {
        uint32_t a[4] = {}, b[4] = {};
        uint32_t* const outA[4] = {&a[0], &a[1], &a[2], &a[3]};
        uint32_t* const outB[4] = {&b[0], &b[1], &b[2], &b[3]};
        body.toPixel4(eye, Vec4f(0.37f, 1.9f, 0.81f, missing), Vec4f(0.9f), LaneMask4::fromBits(7),
                      outA);
        body.toPixel4(eye, Vec4f(0.37f, 1.9f, 0.81f, 1.0f), Vec4f(0.9f), LaneMask4::fromBits(7),
                      outB);
        for (int l = 0; l < 3; ++l) EXPECT_EQ(a[l], b[l]) << missing << " lane " << l;
        EXPECT_EQ(a[3], 0u);
    }
}

// Blackbody colours shade through their tables with a plain three-curve eye too (no searchlight,
// no exposure): within one level of the same lines summed one by one as an ordinary colour.
TEST(LightShading, DenseSpectraUseTablesWithThePlainEye) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> logd(-1.5f, 1.5f), shadeDist(0.3f, 1.0f);
    for (int p = 0; p < 5; ++p) {
        Eye eye = eyePresets()[p].eye;
        if (eye.kind != EyeKind::ThreeCurve) continue;
        eye.updateLightKey();
        ASSERT_FALSE(eye.extended());
        for (float kelvin : {2500.0f, 5800.0f, 12000.0f}) {
            ColBlackbody body(QStringLiteral("bb"), kelvin, 0.7f);
            ColDiscrete lines;  // the same lines as an ordinary colour: line-by-line sums
            for (int i = 0; i < body.count(); ++i)
                lines.addLine(body.wavelengths[size_t(i)], body.intensities[size_t(i)]);
            LightTableCache::prepareAll({&body, &lines}, eye);
            ASSERT_NE(body.lightTables.find(eye.lightKey), nullptr);
            EXPECT_EQ(lines.lightTables.find(eye.lightKey), nullptr);
            for (int r = 0; r < 50; ++r) {
                const float d = std::exp(logd(rng)), shade = shadeDist(rng);
                const uint32_t fast = one(body, eye, d, shade), slow = one(lines, eye, d, shade);
                for (int c = 0; c < 3; ++c)
                    ASSERT_LE(std::abs(channel(fast, c) - channel(slow, c)), 1)
                        << "preset " << p << ", " << kelvin << " K, d " << d;
            }
        }
    }
}
