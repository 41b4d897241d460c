// Colours to pixels: hand-worked pixels, lane forms and tables against the one-ray sums, the
// searchlight against formulas, the CIE eye against CIE 1931 and sRGB, blackbody luminances.
#include <gtest/gtest.h>
#include <immintrin.h>

#include <cmath>
#include <cstring>
#include <random>

#include "scene/cie1931.h"
#include "scene/colblackbody.h"
#include "scene/coldiscrete.h"
#include "scene/dataelem.h"
#include "scene/eye.h"
#include "scene/lightshading.h"
#include "scene/rendersettings.h"
#include "scene/spectrumtable.h"

namespace {

constexpr uint32_t kUntouched = 0x5a5a5a5au;

int channel(uint32_t px, int c) { return int((px >> (8 * c)) & 0xff); }

uint32_t one(const ColDiscrete& col, const Eye& eye, float d, float shade = 1.0f) {
    uint32_t px = kUntouched;
    col.toPixel(eye, &px, &d, &shade);
    return px;
}

// An eye with the searchlight exponent k and an exposure, keyed as the render settings key it.
Eye lightEye(const Eye& base, int k, float stops = 0.0f) {
    RenderSettings s;
    s.eye = base;
    s.searchlight = int8_t(k);
    s.exposureStops = stops;
    s.syncLight();
    return s.eye;
}

const Eye& humans() { return eyePresets()[3].eye; }

}  // namespace

// Humans: red peaks at 500 nm, green at 600, green and blue are both at s(0.5) = 0.5 at 650.
// Channels are sums truncated to a byte (a peak of 100 may come out as 99).
TEST(ColDiscrete, HandWorkedPixels) {
    const struct {
        const Eye& eye;
        std::vector<std::pair<float, float>> lines;
        float doppler, shade;
        int rgb[3];
    } cases[] = {
        {humans(), {{500, 100}}, 1.2f, 1.0f, {0, 100, 0}},
        {humans(), {{500, 100}}, 1.3f, 1.0f, {0, 50, 50}},
        {humans(), {{500, 1000}}, 1.0f, 1.0f, {255, 0, 0}},
        {humans(), {{500, 1000}}, 1.0f, -1.0f, {0, 0, 0}},
        {humans(), {{500, 40}, {600, 70}, {2000, 1000}}, 1.0f, 1.0f, {40, 70, 0}},
        {humans(), {{500, 100}}, 1.0f, 0.25f, {25, 0, 0}},
        // Default eye at 600 nm, intensity 200: 14.8, 100 and 165.7 truncated.
        {defaultEye(), {{600, 200}}, 1.0f, 1.0f, {14, 100, 165}},
    };
    for (const auto& c : cases) {
        ColDiscrete col;
        for (const auto& [w, i] : c.lines) col.addLine(w, i);
        const uint32_t px = one(col, c.eye, c.doppler, c.shade);
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_NEAR(channel(px, ch), c.rgb[ch], 1) << col.toSpectrumText().toStdString() << ch;
        EXPECT_EQ(px >> 24, 255u);
    }
}

namespace {

// Rays 4g + l: Doppler factors d, shading factors s, lanes in mask.
struct Rays {
    Vec4f d[4], s[4];
    LaneMask4 mask[4];
};

// Every form: sixteen lanes, the first four as a 2 x 2 bundle, and each ray alone.
struct Pixels {
    uint32_t sixteen[4][4], four[4], one[16];
    bool operator==(const Pixels& o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};

Pixels convert(const ColDiscrete& c, const Eye& eye, const Rays& r) {
    Pixels p;
    for (uint32_t* px = &p.sixteen[0][0]; px < &p.one[16]; ++px) *px = kUntouched;
    uint32_t* rows[4] = {p.sixteen[0], p.sixteen[1], p.sixteen[2], p.sixteen[3]};
    c.toPixel16(eye, r.d, r.s, r.mask, rows);
    uint32_t* quad[4] = {&p.four[0], &p.four[1], &p.four[2], &p.four[3]};
    c.toPixel4(eye, r.d[0], r.s[0], r.mask[0], quad);
    for (int i = 0; i < 16; ++i) p.one[i] = one(c, eye, r.d[i / 4][i % 4], r.s[i / 4][i % 4]);
    return p;
}

// True when a shifted line lands exactly on some channel's lo or hi.
bool touchesRangeEnd(const ColDiscrete& col, const Eye& eye, float doppler) {
    for (int i = 0; i < col.count(); ++i) {
        const float w = col.wavelengths[i] * doppler;
        for (const EyeChannel& ch : eye.channel)
            if (w == ch.lo || w == ch.hi) return true;
    }
    return false;
}

// Half of the rays at the Doppler factor 1, where the prepared sums apply.
Rays randomRays(std::mt19937& rng) {
    std::uniform_real_distribution<float> dop(0.3f, 3.0f), shade(-0.5f, 1.5f);
    Rays r;
    for (int g = 0; g < 4; ++g) {
        for (int l = 0; l < 4; ++l) {
            r.d[g][l] = rng() % 2 ? 1.0f : dop(rng);
            r.s[g][l] = shade(rng);
        }
        r.mask[g] = LaneMask4::fromBits(int(rng() % 16));
    }
    return r;
}

}  // namespace

// Lanes equal the one-ray form except at exact range ends (strict in lanes, inclusive for one
// ray) and at saturation (254 vs 255), and leave unmasked lanes alone. A colour prepared for
// several eyes keeps each eye's entry and converts exactly as an unprepared copy, also under the
// render workers' rounding toward minus infinity.
TEST(ColDiscreteForms, LanesMatchSingleRaysAndPreparedMatchesUnprepared) {
    std::mt19937 rng(777);
    const unsigned csr = _mm_getcsr();
    const Eye eyes[3] = {lightEye(eyePresets()[0].eye, 0), lightEye(eyePresets()[1].eye, 0),
                         lightEye(eyePresets()[2].eye, 4)};
    std::uniform_real_distribution<float> wl(50.0f, 1700.0f), in(-20.0f, 150.0f);
    for (int trial = 0; trial < 600; ++trial) {
        ColDiscrete plain;
        for (int i = int(rng() % 7); i > 0; --i) plain.addLine(wl(rng), in(rng));
        ColDiscrete prepared = plain;
        const Eye own = lightEye(eyePresets()[size_t(trial) % eyePresets().size()].eye, 0);
        for (const Eye& eye : {eyes[0], eyes[1], eyes[2], own}) prepared.prepareShading(eye);
        const Rays rays = randomRays(rng);
        for (const Eye* eye : {&own, &eyes[trial % 3]}) {
            const bool table = prepared.takesLightPath(*eye);
            ASSERT_EQ(prepared.lightTables.find(eye->lightKey) != nullptr, table);
            const FactorOneSums* sums = prepared.lightTables.factorOne(eye->lightKey);
            ASSERT_EQ(sums != nullptr && sums->forCurrentControl() >= 0, !table);
            const Pixels p = convert(plain, *eye, rays);
            for (int i = 0; i < 16; ++i) {
                const int g = i / 4, l = i % 4;
                const uint32_t lane = p.sixteen[g][l];
                SCOPED_TRACE(testing::Message() << "trial " << trial << " ray " << i);
                if (!rays.mask[g].lane(l)) {
                    ASSERT_EQ(lane, kUntouched) << "unmasked lane written";
                    ASSERT_TRUE(g > 0 || p.four[l] == kUntouched);
                    continue;
                }
                if (touchesRangeEnd(plain, *eye, rays.d[g][l])) continue;
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(channel(lane, c), std::min(channel(p.one[i], c), 254));
                ASSERT_EQ(lane >> 24, 255u);
                ASSERT_TRUE(g > 0 || p.four[l] == lane);
            }
            if (table) continue;  // within a level of the direct sums: TablesAgree...
            for (unsigned rounding : {_MM_ROUND_NEAREST, _MM_ROUND_DOWN, _MM_ROUND_UP}) {
                _mm_setcsr((csr & ~_MM_ROUND_MASK) | rounding);
                const bool same = convert(prepared, *eye, rays) == convert(plain, *eye, rays);
                _mm_setcsr(csr);
                EXPECT_TRUE(same) << trial << " rounding " << rounding;
            }
        }
    }
}

// At the view centre the searchlight is ((1 + beta) gamma)^k; off centre the frequency factor is
// (beta r / t + 1) gamma with r = hypot(u, v), t = sqrt(r^2 + 1). Exposure scales before the clamp.
TEST(LightShading, SearchlightAndExposureFollowTheFormulas) {
    for (int k : {3, 4}) {
        for (double beta : {0.3, 0.9}) {
            SCOPED_TRACE(testing::Message() << "k " << k << " beta " << beta);
            const double gamma = 1.0 / std::sqrt(1.0 - beta * beta);
            const double expected = std::pow((1.0 + beta) * gamma, k);
            // The centre ray's wavelength factor; a line that lands on the red peak (500 nm).
            const float d = float(1.0 / ((1.0 + beta) * gamma));
            ColDiscrete col;
            col.addLine(500.0f / d, float(150.0 / expected));
            RenderSettings s;
            s.searchlight = int8_t(k);
            EXPECT_NEAR(s.beamingFactor(d), expected, expected * 1e-5);
            EXPECT_NEAR(channel(one(col, lightEye(humans(), k), d), 0), 150, 1);
            EXPECT_EQ(channel(one(col, humans(), d), 0), int(150.0 / expected - 1e-3));
            s.speed = float(beta);
            const double f = (beta * 0.5 / std::sqrt(1.25) + 1.0) * gamma;
            EXPECT_NEAR(s.beamingAt(0.3f, 0.4f), std::pow(f, k), std::pow(f, k) * 1e-5);
            EXPECT_NEAR(s.dopplerAt(0.3f, 0.4f), f, 1e-5);
        }
    }
    ColDiscrete col;
    col.addLine(500.0f, 40.0f);
    for (float stops : {-1.0f, 2.0f, 3.0f}) {
        const int want = std::min(255, int(40.0 * std::exp2(stops) - 1e-3));
        EXPECT_NEAR(channel(one(col, lightEye(humans(), 0, stops), 1.0f), 0), want, 1) << stops;
    }
    float sx[2], sy[2];  // the settings' view aspect: the shorter side scales
    RenderSettings::aspectFactors(200, 100, sx[0], sy[0]);
    RenderSettings::aspectFactors(100, 400, sx[1], sy[1]);
    EXPECT_TRUE(sx[0] == 1 && sy[0] == 0.5f && sx[1] == 0.25f && sy[1] == 1) << sx[1] << sy[0];
    // Lanes clamp at 254, one ray at 255, as the plain forms do.
    const Eye bright = lightEye(humans(), 0, 4.0f);
    EXPECT_EQ(channel(one(col, bright, 1.0f), 0), 255);
    uint32_t px = 0;
    uint32_t* const out[4] = {&px, nullptr, nullptr, nullptr};
    col.toPixel4(bright, Vec4f(1.0f), Vec4f(1.0f), LaneMask4::fromBits(1), out);
    EXPECT_EQ(channel(px, 0), 254);
}

// Prepared tables stay within one level of the line-by-line sums for
// random colours, eyes, exponents and factors; factors off the grid miss it, NaN draws black.
TEST(LightShading, TablesAgreeWithLineByLineSums) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> wl(150.0f, 2000.0f), in(0.0f, 150.0f), logd(-2.5f, 2.5f),
        shadeDist(0.2f, 1.0f);
    for (int trial = 0; trial < 60; ++trial) {
        ColDiscrete plain;
        for (int i = 0; i <= trial % 3; ++i) plain.addLine(wl(rng), in(rng));
        ColBlackbody body(QStringLiteral("bb"), 2000.0f + 200.0f * float(trial), 0.6f);
        ColDiscrete& col = trial % 2 ? static_cast<ColDiscrete&>(body) : plain;
        const int k = trial % 3 == 0 ? 0 : (trial % 3 == 1 ? 3 : 4);
        const Eye eye = lightEye(eyePresets()[trial % 5].eye, k, trial % 2 ? -3.0f : 0.25f);
        const ColDiscrete unprepared = col;  // a copy has no tables: the direct path
        col.lightTables.prepare(col, eye);
        ASSERT_NE(col.lightTables.find(eye.lightKey), nullptr);
        for (int r = 0; r < 40; ++r) {
            const float d = std::exp(logd(rng)), shade = shadeDist(rng);
            const uint32_t fast = one(col, eye, d, shade), slow = one(unprepared, eye, d, shade);
            for (int c = 0; c < 3; ++c)
                ASSERT_LE(std::abs(channel(fast, c) - channel(slow, c)), 1)
                    << "trial " << trial << " d " << d << " channel " << c;
        }
    }
    ColBlackbody body(QStringLiteral("bb"), 5000.0f, 0.5f);
    const Eye eye = lightEye(cieHumanEye(), 4);
    body.lightTables.prepare(body, eye);
    float sums[3];
    for (float d : {1e-3f, 256.0f})
        EXPECT_FALSE(body.lightTables.find(eye.lightKey)->lookup(d, sums));
    EXPECT_EQ(one(body, eye, std::nanf("")) & 0xffffffu, 0u);
}

// The fit against CIE 15:2004 (2 degrees, 5 nm), the sRGB curve, dense equal energy as grey,
// and a 555 nm line clipped into the gamut with its luminance kept (bytes decoded give Y).
TEST(Cie1931, FitSrgbCurveGreyAndClipping) {
    const double rows[][4] = {{450, 0.3362, 0.0380, 1.7721}, {600, 1.0622, 0.6310, 0.0008}};
    for (const auto& [nm, x, y, z] : rows) {
        EXPECT_NEAR(Cie1931::xBar(nm), x, 0.04) << nm;
        EXPECT_NEAR(Cie1931::yBar(nm), y, 0.03) << nm;
        EXPECT_NEAR(Cie1931::zBar(nm), z, 0.06) << nm;
    }
    EXPECT_NEAR(Cie1931::encode(0.5), 0.735357, 1e-5);
    EXPECT_NEAR(Cie1931::encode(0.0031308), 0.0404500, 1e-6);  // the joint
    for (int i = 0; i <= 1000; ++i)
        ASSERT_NEAR(Cie1931::encode255(i / 1000.0f), 255.0 * Cie1931::encode(i / 1000.0), 0.02);
    ColDiscrete flat;  // linear Y = 0.21404 encodes to 127.5
    double ySum = 0.0;
    for (int nm = 360; nm <= 830; ++nm) ySum += Cie1931::yBar(nm);
    for (int nm = 360; nm <= 830; ++nm)
        flat.addLine(float(nm), float(0.21404 * Cie1931::kUnit / ySum));
    const uint32_t grey = one(flat, lightEye(cieHumanEye(), 0), 1.0f);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(channel(grey, c), 127, 2) << c;
    ColDiscrete line;
    line.addLine(555.0f, 0.3f * float(Cie1931::kUnit));
    const uint32_t px = one(line, lightEye(cieHumanEye(), 0), 1.0f);
    double y = 0.0;
    for (int c = 0; c < 3; ++c) {
        const double v = (channel(px, c) + 0.5) / 255.0;
        y += (c ? c == 1 ? 0.7152 : 0.0722 : 0.2126) *
             (v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
    EXPECT_NEAR(y, 0.3 * Cie1931::yBar(555.0), 0.01);
    EXPECT_LE(channel(px, 2), 2);
    float dark[3] = {-0.5f, 0.1f, 0.0f};  // negative luminance
    Cie1931::clipToGamut(dark);
    EXPECT_EQ(dark[0] + dark[1] + dark[2], 0.0f);
}

// A blackbody's luminance is the CIE Y of its lines. File temperatures outside the range draw as
// its nearest end and are kept as read; 0 K or below gives no light (drawing it as the coldest
// body went unnoticed).
TEST(BlackbodyRange, FileTemperaturesDrawAsTheNearestEndOrNotAtAll) {
    const float cases[][2] = {{100.0f, ColBlackbody::kMinTemperature},
                              {3e7f, ColBlackbody::kMaxTemperature},
                              {0.0f, 0.0f},
                              {-5.0f, 0.0f}};
    for (const auto& [asked, drawnAs] : cases) {
        ColBlackbody body(QStringLiteral("b"), 6500.0f, 2.0f);
        ASSERT_TRUE(Reader::ElemFloat("temperature", body.temperature)
                        .fromString(QString::number(double(asked))));
        body.regenerate();
        EXPECT_EQ(body.temperature, asked);
        const ColBlackbody want(QStringLiteral("b"), drawnAs, 2.0f);
        EXPECT_EQ(body.intensities, want.intensities) << asked;
        double y = 0.0;
        for (int i = 0; i < body.count(); ++i)
            y += Cie1931::yBar(body.wavelengths[i]) * body.intensities[i];
        EXPECT_NEAR(y / Cie1931::kUnit, drawnAs > 0 ? 2.0 : 0.0, 1e-3) << asked;
    }
}
