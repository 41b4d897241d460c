// One-ray colour conversion against hand-worked pixels, and the spectrum text.
#include "scene/coldiscrete.h"

#include <gtest/gtest.h>

#include <cmath>

#include "scene/dataelem.h"
#include "scene/eye.h"

namespace {

const Eye& humans() { return eyePresets()[3].eye; }

}  // namespace

// Humans: red peaks at 500 nm, green at 600, green and blue are both at s(0.5) = 0.5 at 650.
// A channel is the sum truncated to a byte: a peak value of 100 may come out as 99.
TEST(ColDiscrete, HandWorkedPixels) {
    const struct {
        const char* what;
        const Eye& eye;
        std::vector<std::pair<float, float>> lines;
        float doppler, shade;
        int r, g, b;  // -1: 99 or 100 (a rounded peak), -2: 49 or 50
    } cases[] = {
        {"red peak", humans(), {{500, 100}}, 1.0f, 1.0f, -1, 0, 0},
        {"shifted to green", humans(), {{500, 100}}, 1.2f, 1.0f, 0, -1, 0},
        {"between green and blue", humans(), {{500, 100}}, 1.3f, 1.0f, 0, -2, -2},
        {"saturated", humans(), {{500, 1000}}, 1.0f, 1.0f, 255, 0, 0},
        {"negative shade", humans(), {{500, 1000}}, 1.0f, -1.0f, 0, 0, 0},
        {"negative line", humans(), {{500, -50}}, 1.0f, 1.0f, 0, 0, 0},
        {"lines add up", humans(), {{500, 40}, {600, 70}, {2000, 1000}}, 1.0f, 1.0f, 39, 69, 0},
        // Default eye at 600 nm, intensity 200: 14.8, 100 and 165.7 truncated.
        {"default eye", defaultEye(), {{600, 200}}, 1.0f, 1.0f, 14, -1, 165},
    };
    for (const auto& c : cases) {
        ColDiscrete col;
        for (const auto& [w, i] : c.lines) col.addLine(w, i);
        uint32_t px = 0xdeadbeef;
        col.toPixel(c.eye, &px, &c.doppler, &c.shade);
        const int want[3] = {c.r, c.g, c.b};
        for (int ch = 0; ch < 3; ++ch) {
            const int got = int(px >> (8 * ch) & 0xff);
            if (want[ch] == -1)
                EXPECT_TRUE(got == 99 || got == 100) << c.what << " channel " << ch << ": " << got;
            else if (want[ch] == -2)
                EXPECT_TRUE(got == 49 || got == 50) << c.what << " channel " << ch << ": " << got;
            else if (c.lines.size() == 3 && want[ch] > 0)  // two lines: one more rounding
                EXPECT_TRUE(got == want[ch] || got == want[ch] + 1) << c.what << ": " << got;
            else
                EXPECT_EQ(got, want[ch]) << c.what << " channel " << ch;
        }
        EXPECT_EQ(px >> 24, 255u) << c.what;
    }
    // The shading factor scales after summing: 0.25 of the peak gives 24 or 25.
    ColDiscrete one;
    one.addLine(500, 100);
    const float d = 1.0f, quarter = 0.25f;
    uint32_t px = 0;
    one.toPixel(humans(), &px, &d, &quarter);
    EXPECT_TRUE((px & 0xff) == 24 || (px & 0xff) == 25) << (px & 0xff);
}

// Text before the first "(" is ignored, no "(" at all means no lines, a missing last ")" is
// tolerated; a malformed part leaves the colour (lines and name) unchanged.
TEST(ColDiscreteText, ParsesGoodTextsAndRefusesMalformedOnes) {
    const struct {
        const char* text;
        std::vector<float> values;  // wavelength, intensity, ...
    } good[] = {{"(600;1)(450;0.5)", {600, 1, 450, 0.5f}},
                {"abc(600;1)", {600, 1}},
                {"", {}},
                {"600;1", {}},
                {"(1.23457e+08;2", {1.23457e+08f, 2}}};
    for (const auto& c : good) {
        ColDiscrete col("kept");
        col.addLine(1, 1);
        ASSERT_TRUE(col.fromSpectrumText(c.text)) << c.text;
        ASSERT_EQ(size_t(col.count()) * 2, c.values.size()) << c.text;
        for (int i = 0; i < col.count(); ++i) {
            EXPECT_EQ(col.wavelengths[i], c.values[2 * i]) << c.text;
            EXPECT_EQ(col.intensities[i], c.values[2 * i + 1]) << c.text;
        }
        EXPECT_EQ(col.name, "kept");
    }
    ColDiscrete col("name");
    col.addLine(700, 3);
    for (const char* text : {"(600;1;2)", "(600;1)(450)", "(600;x)", "(600;1)()", "(;1)",
                             "(600;1)(", "(600;1)junk(2;3)"}) {
        EXPECT_FALSE(col.fromSpectrumText(text)) << text;
        ASSERT_EQ(col.count(), 1) << text;
        EXPECT_EQ(col.wavelengths[0], 700.0f);
        EXPECT_EQ(col.intensities[0], 3.0f);
        EXPECT_EQ(col.name, "name");
    }
}
