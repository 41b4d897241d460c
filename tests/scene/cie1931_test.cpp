// The CIE eye: matching functions against the CIE 1931 table, white balance, gamut clipping,
// the sRGB curve, and blackbody colours (white, orange, Doppler-shifted = cooler or hotter, and
// finite at the ends of their ranges).
#include "scene/cie1931.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "scene/colblackbody.h"
#include "scene/dataelem.h"
#include "scene/eye.h"
#include "scene/rendersettings.h"
#include "scene/spectrumtable.h"

namespace {

int channel(uint32_t px, int c) { return int((px >> (8 * c)) & 0xff); }

uint32_t one(const ColDiscrete& col, const Eye& eye, float d) {
    uint32_t px = 0;
    const float shade = 1.0f;
    col.toPixel(eye, &px, &d, &shade);
    return px;
}

Eye cie(int k = 0) {
    RenderSettings s;
    s.eye = cieHumanEye();
    s.searchlight = int8_t(k);
    s.syncLight();
    return s.eye;
}

}  // namespace

TEST(Cie1931, FitFollowsTheTabulatedObserver) {
    // CIE 1931 2-degree values (CIE 15:2004, 5 nm table).
    struct Row {
        double nm, x, y, z;
    } rows[] = {{450, 0.3362, 0.0380, 1.7721}, {500, 0.0049, 0.3230, 0.2720},
                {555, 0.5121, 1.0000, 0.0057}, {600, 1.0622, 0.6310, 0.0008},
                {650, 0.2835, 0.1070, 0.0000}, {700, 0.0114, 0.0041, 0.0000}};
    for (const Row& r : rows) {
        EXPECT_NEAR(Cie1931::xBar(r.nm), r.x, 0.04) << r.nm;
        EXPECT_NEAR(Cie1931::yBar(r.nm), r.y, 0.03) << r.nm;
        EXPECT_NEAR(Cie1931::zBar(r.nm), r.z, 0.06) << r.nm;
        double fast[3];
        Cie1931::matchFast(r.nm + 0.013, fast);
        EXPECT_NEAR(fast[1], Cie1931::yBar(r.nm + 0.013), 1e-5);
    }
    double outside[3];
    Cie1931::matchFast(900.0, outside);
    EXPECT_EQ(outside[0] + outside[1] + outside[2], 0.0);
}

TEST(Cie1931, EqualEnergyIsWhiteAndTheCurveIsSrgb) {
    const double e[3] = {0.4, 0.4, 0.4};
    double rgb[3];
    Cie1931::xyzToLinearSrgb(e, rgb);
    for (double v : rgb) EXPECT_NEAR(v, 0.4, 2e-3);
    // sRGB transfer: 0.5 linear -> 0.7354, 0.0031308 is the joint, 1 -> 1.
    EXPECT_NEAR(Cie1931::encode(0.5), 0.735357, 1e-5);
    EXPECT_NEAR(Cie1931::encode(0.0031308), 0.0404500, 1e-6);
    EXPECT_NEAR(Cie1931::encode(1.0), 1.0, 1e-12);
    for (int i = 0; i <= 1000; ++i) {
        const float x = float(i) / 1000.0f;
        ASSERT_NEAR(Cie1931::encode255(x), 255.0 * Cie1931::encode(x), 0.02) << x;
    }

    // A dense equal-energy spectrum through the whole eye is grey: three equal bytes.
    ColDiscrete flat;
    for (int nm = 360; nm <= 830; ++nm) flat.addLine(float(nm), 0.0f);
    double ySum = 0.0;
    for (int nm = 360; nm <= 830; ++nm) ySum += Cie1931::yBar(nm);
    for (float& i : flat.intensities) i = float(0.21404 * Cie1931::kUnit / ySum);  // Y = 0.21404
    const uint32_t px = one(flat, cie(), 1.0f);
    // Linear 0.21404 encodes to 0.5 (127.5).
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(channel(px, c), 127, 2) << c;
}

TEST(Cie1931, A555NanometreLineIsGreenWithItsLuminance) {
    ColDiscrete line;
    line.addLine(555.0f, 0.3f * float(Cie1931::kUnit));  // Y = 0.3 ybar(555)
    const uint32_t px = one(line, cie(), 1.0f);
    const int r = channel(px, 0), g = channel(px, 1), b = channel(px, 2);
    EXPECT_GT(g, r);
    EXPECT_GT(r, b);
    EXPECT_LE(b, 2);
    EXPECT_GT(g, 3 * r / 2);  // a yellowish green, not yellow
    // Clipping keeps the luminance: decode the bytes and weigh them.
    auto lin = [](int v) {
        const double s = (v + 0.5) / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    const double y = 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b);
    EXPECT_NEAR(y, 0.3 * Cie1931::yBar(555.0), 0.01);
}

TEST(Cie1931, ClippingKeepsLuminanceAndNeverGoesNegative) {
    float rgb[3] = {0.2f, 0.6f, -0.1f};
    const float y = 0.2126f * 0.2f + 0.7152f * 0.6f - 0.0722f * 0.1f;
    Cie1931::clipToGamut(rgb);
    EXPECT_NEAR(0.2126f * rgb[0] + 0.7152f * rgb[1] + 0.0722f * rgb[2], y, 1e-6);
    EXPECT_NEAR(rgb[2], 0.0f, 1e-6);
    float dark[3] = {-0.5f, 0.1f, 0.0f};  // negative luminance
    Cie1931::clipToGamut(dark);
    EXPECT_EQ(dark[0] + dark[1] + dark[2], 0.0f);
    float hot[3] = {3.0f, 0.5f, 0.2f};
    Cie1931::clipToGamut(hot);
    EXPECT_EQ(hot[0], 1.0f);
    EXPECT_EQ(hot[1], 0.5f);
}

TEST(ColBlackbody, WhiteAt6500OrangeAt3000) {
    const ColBlackbody white(QStringLiteral("w"), 6500.0f, 0.8f);
    EXPECT_EQ(white.count(), 561);
    const uint32_t w = one(white, cie(), 1.0f);
    // Slightly cool (the equal-energy white is about 5450 K), all channels high.
    for (int c = 0; c < 3; ++c) EXPECT_GE(channel(w, c), 200) << c;
    EXPECT_LE(std::abs(channel(w, 0) - channel(w, 2)), 40);
    EXPECT_GE(channel(w, 2), channel(w, 0));

    const ColBlackbody warm(QStringLiteral("o"), 3000.0f, 0.5f);
    const uint32_t o = one(warm, cie(), 1.0f);
    const int r = channel(o, 0), g = channel(o, 1), b = channel(o, 2);
    EXPECT_GT(r, g);
    EXPECT_GT(g, b);
    EXPECT_GT(g, r / 2);
    EXPECT_LT(b, 3 * r / 4);
}

TEST(ColBlackbody, LuminanceIsTheCieY) {
    for (float t : {2500.0f, 5000.0f, 9000.0f}) {
        const ColBlackbody body(QStringLiteral("b"), t, 0.37f);
        double y = 0.0;
        for (int i = 0; i < body.count(); ++i)
            y += Cie1931::yBar(body.wavelengths[i]) * body.intensities[i];
        EXPECT_NEAR(y / Cie1931::kUnit, 0.37, 1e-4) << t;
    }
}

// Planck's law scales as B(lambda D, T / D) = D^-5 B(lambda, T); a spectrum of lines every 5 nm
// shifted by D has lines every 5 D nm, so with the energy searchlight (D^-4) a shifted blackbody
// is the blackbody at T / D with the same radiance unit.
TEST(ColBlackbody, ShiftedByDIsTheBlackbodyAtTOverD) {
    for (double d : {0.8, 0.9, 1.15, 1.3}) {
        const double t = 4500.0;
        ColBlackbody hot(QStringLiteral("a"), float(t), 0.4f);
        ColBlackbody cool(QStringLiteral("b"), float(t / d), 1.0f);
        cool.luminance = float(hot.radianceScale() / cool.radianceScale());
        cool.regenerate();
        ASSERT_NEAR(cool.radianceScale(), hot.radianceScale(), hot.radianceScale() * 1e-6);
        const Eye eye = cie(4);
        float shifted[3], rest[3];
        SpectrumTable::direct(hot, eye, float(d), shifted);
        SpectrumTable::direct(cool, eye, 1.0f, rest);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(shifted[c], rest[c], 0.01 * rest[1]) << d;
        // The pixels agree too (through the tables), and the chromaticity holds without the
        // searchlight.
        hot.lightTables.prepare(hot, eye);
        const uint32_t a = one(hot, eye, float(d)), b = one(cool, eye, 1.0f);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(channel(a, c), channel(b, c), 2) << d;
        const Eye plain = cie(0);
        SpectrumTable::direct(hot, plain, float(d), shifted);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(shifted[c] / shifted[1], rest[c] / rest[1], 0.01) << d;
    }
}

// Every corner of the accepted ranges gives finite, non-negative lines whose largest intensity
// leaves six orders of magnitude of single precision for shading sums and searchlight factors.
TEST(BlackbodyRange, CornersGiveFiniteLines) {
    const float temperatures[] = {ColBlackbody::kMinTemperature, 1000.0f, 6500.0f,
                                  ColBlackbody::kMaxTemperature};
    const float luminances[] = {ColBlackbody::kMinLuminance, 1.0f, ColBlackbody::kMaxLuminance};
    for (float t : temperatures)
        for (float lum : luminances) {
            const ColBlackbody body(QStringLiteral("b"), t, lum);
            ASSERT_GT(body.count(), 0) << t;
            float largest = 0.0f;
            for (float i : body.intensities) {
                ASSERT_TRUE(std::isfinite(i)) << t << " K, " << lum;
                ASSERT_GE(i, 0.0f);
                largest = std::max(largest, i);
            }
            EXPECT_LT(largest, std::numeric_limits<float>::max() * 1e-6f) << t << " K, " << lum;
        }
}

// A file may name temperatures the dock refuses: they are drawn as the nearest end of the range,
// and the value itself is kept (a save writes what was read).
TEST(BlackbodyRange, FileTemperaturesOutsideTheRangeDrawAsTheNearestEnd) {
    const struct {
        float asked, drawnAs;
    } cases[] = {{1.0f, ColBlackbody::kMinTemperature},
                 {100.0f, ColBlackbody::kMinTemperature},
                 {3e7f, ColBlackbody::kMaxTemperature}};
    for (const auto& c : cases) {
        ColBlackbody body(QStringLiteral("b"), 6500.0f, 2.0f);
        ASSERT_TRUE(Reader::ElemFloat("temperature", body.temperature)
                        .fromString(QString::number(double(c.asked))));
        body.regenerate();
        const ColBlackbody reference(QStringLiteral("b"), c.drawnAs, 2.0f);
        EXPECT_EQ(body.temperature, c.asked);
        ASSERT_EQ(body.intensities.size(), reference.intensities.size());
        for (size_t i = 0; i < body.intensities.size(); ++i) {
            ASSERT_TRUE(std::isfinite(body.intensities[i])) << c.asked;
            ASSERT_EQ(body.intensities[i], reference.intensities[i]) << c.asked << " K, line " << i;
        }
    }
}
