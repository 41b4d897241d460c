// One-ray colour conversion against hand-worked pixels, the spectrum text, and a name set before
// the spectrum.
#include "scene/coldiscrete.h"

#include <gtest/gtest.h>

#include <cmath>

#include "scene/dataelem.h"
#include "scene/eye.h"

namespace {

const Eye& humans() { return eyePresets()[3].eye; }

struct Rgba {
    int r, g, b, a;
};

// The pixel's four bytes in memory order.
Rgba bytesOf(uint32_t px) {
    const auto* b = reinterpret_cast<const uint8_t*>(&px);
    return {b[0], b[1], b[2], b[3]};
}

Rgba shadeOne(const ColDiscrete& col, const Eye& eye, float doppler, float shade) {
    uint32_t px = 0xdeadbeef;
    col.toPixel(eye, &px, &doppler, &shade);
    return bytesOf(px);
}

double smoothstep(double x) { return 3.0 * x * x - 2.0 * x * x * x; }

}  // namespace

TEST(ColDiscrete, HumanEyeSeesPeakOfRedAt500) {
    ColDiscrete col;
    col.addLine(500, 100);
    const Rgba p = shadeOne(col, humans(), 1.0f, 1.0f);
    // 500 nm is the red peak (s = 1, so 100 minus rounding), green's lower end, below blue.
    EXPECT_TRUE(p.r == 99 || p.r == 100) << p.r;
    EXPECT_EQ(p.g, 0);
    EXPECT_EQ(p.b, 0);
    EXPECT_EQ(p.a, 255);
}

TEST(ColDiscrete, DopplerFactorShiftsTheLineIntoGreen) {
    ColDiscrete col;
    col.addLine(500, 100);
    const Rgba p = shadeOne(col, humans(), 1.2f, 1.0f);  // 600 nm
    EXPECT_EQ(p.r, 0);
    EXPECT_TRUE(p.g == 99 || p.g == 100) << p.g;
    EXPECT_EQ(p.b, 0);
    // A factor of 1.3 gives 650 nm: green and blue both at s(0.5) = 0.5.
    const Rgba q = shadeOne(col, humans(), 1.3f, 1.0f);
    EXPECT_EQ(q.r, 0);
    EXPECT_TRUE(q.g == 49 || q.g == 50) << q.g;
    EXPECT_TRUE(q.b == 49 || q.b == 50) << q.b;
}

TEST(ColDiscrete, DefaultEyeSensitivitiesAt600) {
    ColDiscrete col;
    col.addLine(600, 1);
    float sums[3] = {0, 0, 0};
    const float doppler = 1.0f;
    col.accumulate(defaultEye(), &doppler, sums);
    EXPECT_NEAR(sums[0], smoothstep(100.0 / 600.0), 1e-4);  // 0.074
    EXPECT_NEAR(sums[1], 0.5, 1e-4);
    EXPECT_NEAR(sums[2], smoothstep(280.0 / 380.0), 1e-4);  // 0.83
    EXPECT_NEAR(sums[0], 0.074, 1e-3);
    EXPECT_NEAR(sums[2], 0.83, 2e-3);
    // Scaled by intensity 200 and truncated: 14.8 -> 14, 100 -> 99 or 100, 165.7 -> 165.
    ColDiscrete bright;
    bright.addLine(600, 200);
    const Rgba p = shadeOne(bright, defaultEye(), 1.0f, 1.0f);
    EXPECT_EQ(p.r, 14);
    EXPECT_TRUE(p.g == 99 || p.g == 100) << p.g;
    EXPECT_EQ(p.b, 165);
}

TEST(ColDiscrete, SaturatesAndClampsNegativeToZero) {
    ColDiscrete col;
    col.addLine(500, 1000);
    Rgba p = shadeOne(col, humans(), 1.0f, 1.0f);
    EXPECT_EQ(p.r, 255);
    // Negative shading factors or intensities give 0.
    p = shadeOne(col, humans(), 1.0f, -1.0f);
    EXPECT_EQ(p.r, 0);
    ColDiscrete negative;
    negative.addLine(500, -50);
    EXPECT_EQ(shadeOne(negative, humans(), 1.0f, 1.0f).r, 0);
    // The shading factor scales after summing: 0.25 of the peak gives 24 or 25.
    ColDiscrete one;
    one.addLine(500, 100);
    p = shadeOne(one, humans(), 1.0f, 0.25f);
    EXPECT_TRUE(p.r == 24 || p.r == 25) << p.r;
}

TEST(ColDiscrete, LinesAddUpAndAccumulateAddsIntoTheTriple) {
    // Two lines at the red peak and at green's peak: each channel gets its own.
    ColDiscrete col;
    col.addLine(500, 40);
    col.addLine(600, 70);
    col.addLine(2000, 1000);  // outside every band
    const float doppler = 1.0f;
    float sums[3] = {1.0f, 2.0f, 3.0f};
    col.accumulate(humans(), &doppler, sums);
    EXPECT_NEAR(sums[0], 1.0f + 40.0f, 1e-2);
    EXPECT_NEAR(sums[1], 2.0f + 70.0f, 1e-2);
    EXPECT_NEAR(sums[2], 3.0f, 1e-2);
    const Rgba p = shadeOne(col, humans(), 1.0f, 1.0f);
    EXPECT_TRUE(p.r == 39 || p.r == 40) << p.r;
    EXPECT_TRUE(p.g == 69 || p.g == 70) << p.g;
    EXPECT_EQ(p.b, 0);
}

TEST(ColDiscreteText, ParsesGoodTexts) {
    ColDiscrete col("kept");
    ASSERT_TRUE(col.fromSpectrumText("(600;1)(450;0.5)"));
    ASSERT_EQ(col.count(), 2);
    EXPECT_EQ(col.wavelengths[0], 600.0f);
    EXPECT_EQ(col.intensities[0], 1.0f);
    EXPECT_EQ(col.wavelengths[1], 450.0f);
    EXPECT_EQ(col.intensities[1], 0.5f);
    EXPECT_EQ(col.name, "kept");

    // Text before the first "(" is ignored.
    ASSERT_TRUE(col.fromSpectrumText("abc(600;1)"));
    ASSERT_EQ(col.count(), 1);
    EXPECT_EQ(col.wavelengths[0], 600.0f);

    // No "(" at all: no lines, and that is a success.
    ASSERT_TRUE(col.fromSpectrumText(""));
    EXPECT_EQ(col.count(), 0);
    col.addLine(1, 1);
    ASSERT_TRUE(col.fromSpectrumText("600;1"));
    EXPECT_EQ(col.count(), 0);

    // A missing ")" is tolerated, exponent notation read back.
    ASSERT_TRUE(col.fromSpectrumText("(1.23457e+08;2"));
    ASSERT_EQ(col.count(), 1);
    EXPECT_FLOAT_EQ(col.wavelengths[0], 1.23457e+08f);
}

TEST(ColDiscreteText, MalformedPartLeavesColourUnchanged) {
    ColDiscrete col("name");
    col.addLine(700, 3);
    const char* bad[] = {"(600;1;2)", "(600;1)(450)", "(600;x)",         "(600;1)()",
                         "(;1)",      "(600;1)(",     "(600;1)junk(2;3)"};
    for (const char* text : bad) {
        EXPECT_FALSE(col.fromSpectrumText(text)) << text;
        ASSERT_EQ(col.count(), 1) << text;
        EXPECT_EQ(col.wavelengths[0], 700.0f);
        EXPECT_EQ(col.intensities[0], 3.0f);
        EXPECT_EQ(col.name, "name");
    }
}

TEST(ColDiscreteText, RoundTripsRandomSpectra) {
    // 6 significant digits: reading the text back gives each value to within 5e-6 relative.
    ColDiscrete col;
    unsigned seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return float((seed >> 8) & 0xffff) / 65536.0f;
    };
    for (int i = 0; i < 20; ++i) col.addLine(100.0f + 1500.0f * next(), 1000.0f * next() - 100.0f);
    ColDiscrete back;
    ASSERT_TRUE(back.fromSpectrumText(col.toSpectrumText()));
    ASSERT_EQ(back.count(), 20);
    for (int i = 0; i < 20; ++i) {
        EXPECT_NEAR(back.wavelengths[i], col.wavelengths[i], 5e-6 * std::fabs(col.wavelengths[i]));
        EXPECT_NEAR(back.intensities[i], col.intensities[i],
                    5e-6 * std::fabs(col.intensities[i]) + 1e-9);
    }
}

TEST(ColDiscrete, NameSetBeforeSpectrumIsKept) {
    ColDiscrete col;
    Reader::PropertyList list;
    col.getProperties(list);
    ASSERT_TRUE(list.setProperty("colname", "mycolor"));
    ASSERT_TRUE(list.setProperty("wavelength", "(600;1)(450;0.5)"));
    EXPECT_EQ(col.name, "mycolor");
    EXPECT_EQ(col.count(), 2);
    // A refused spectrum keeps both the lines and the name.
    EXPECT_FALSE(list.setProperty("wavelength", "(600;1;2)"));
    EXPECT_EQ(col.count(), 2);
    EXPECT_EQ(col.name, "mycolor");
}
