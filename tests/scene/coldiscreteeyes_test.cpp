// Views of one window render the same colours with different eyes: a colour prepared for several
// eyes keeps what each eye's conversion reads, and converts with each exactly as an unprepared
// copy does, under the preparing thread's rounding and under the render workers'.
#include <gtest/gtest.h>

#include "scene/coldiscrete.h"
#include "scene/eye.h"
#include "scene/rendersettings.h"

namespace {

Eye keyed(const Eye& base, int searchlight) {
    RenderSettings s;
    s.eye = base;
    s.searchlight = int8_t(searchlight);
    s.syncLight();
    return s.eye;
}

// Sixteen lanes at factor 1 (shared) and one ray at factor 1.
std::vector<uint32_t> convert(const ColDiscrete& c, const Eye& eye) {
    std::vector<uint32_t> px(17, 0);
    const float one = 1.0f, shade = 0.6f;
    c.toPixel(eye, &px[16], &one, &shade);
    const Vec4f d[4] = {Vec4f(1.0f), Vec4f(1.0f), Vec4f(1.0f), Vec4f(1.0f)};
    const Vec4f s[4] = {Vec4f(1.0f), Vec4f(0.5f), Vec4f(0.3f), Vec4f(0.9f)};
    const LaneMask4 m[4] = {LaneMask4(true), LaneMask4(true), LaneMask4(true), LaneMask4(true)};
    uint32_t* rows[4] = {&px[0], &px[4], &px[8], &px[12]};
    c.toPixel16(eye, d, s, m, rows);
    return px;
}

}  // namespace

TEST(ColDiscreteEyes, EveryPreparedEyeKeepsItsOwnEntry) {
    const auto& presets = eyePresets();
    // Three three-curve eyes on the line-by-line path, one with the searchlight on the table path.
    const Eye eyes[4] = {keyed(presets[0].eye, 0), keyed(presets[1].eye, 0),
                         keyed(presets[3].eye, 0), keyed(presets[2].eye, 4)};
    ColDiscrete color;
    for (float w : {420.0f, 610.0f, 880.0f, 1320.0f}) color.addLine(w, 40.0f + w / 20.0f);
    const ColDiscrete unprepared = color;
    for (const Eye& eye : eyes) color.prepareShading(eye);

    const uint32_t saved = fpControl();
    for (uint32_t control : {saved, roundingDown(saved)}) {
        setFpControl(control);
        for (const Eye& eye : eyes) {
            const bool table = color.takesLightPath(eye);
            EXPECT_EQ(color.lightTables.find(eye.lightKey) != nullptr, table);
            const FactorOneSums* one = color.lightTables.factorOne(eye.lightKey);
            EXPECT_EQ(one != nullptr && one->forCurrentControl() >= 0, !table);
            EXPECT_EQ(convert(color, eye), convert(unprepared, eye));
        }
        setFpControl(saved);
    }
}

// Line edits drop what was prepared; an eye whose fingerprint was never computed matches nothing.
TEST(ColDiscreteEyes, EditsAndUnkeyedEyesFindNoEntry) {
    const Eye eye = keyed(defaultEye(), 0);
    ColDiscrete color;
    color.addLine(700.0f, 90.0f);
    color.prepareShading(eye);
    ASSERT_NE(color.lightTables.factorOne(eye.lightKey), nullptr);
    color.addLine(900.0f, 10.0f);
    EXPECT_EQ(color.lightTables.factorOne(eye.lightKey), nullptr);
    color.prepareShading(eye);
    ASSERT_NE(color.lightTables.factorOne(eye.lightKey), nullptr);
    EXPECT_TRUE(color.fromSpectrumText(QStringLiteral("(650;3)")));
    EXPECT_EQ(color.lightTables.factorOne(eye.lightKey), nullptr);

    Eye unkeyed = defaultEye();
    unkeyed.lightKey = 0;
    color.prepareShading(unkeyed);
    EXPECT_EQ(color.lightTables.factorOne(0), nullptr);
}
