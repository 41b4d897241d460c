// The renderer's command line: flags given override the scene file's settings, flags not given
// leave them, and every bad flag is refused with a message that names it. (Films, benches and
// exit codes end to end: render_test.sh and film_test.sh.)
#include "cli/renderoptions.h"

#include <gtest/gtest.h>

#include <cmath>

#include "scene/rendersettings.h"

namespace {
// Parses the arguments (split at spaces, then extra) and applies them to a scene's settings.
bool apply(const char* args, RenderSettings& s, const QStringList& extra = {}) {
    RenderOptions o;
    QString problem;
    if (!parseRenderOptions(QString(args).split(' ') + extra, o, problem)) return false;
    applyRenderOptions(o, s);
    return true;
}
}  // namespace

TEST(RenderOptions, FlagsGivenOverrideTheScenesSettingsAndOthersLeaveThem) {
    RenderSettings scene;
    scene.speed = 0.3f;
    scene.maxBundleSize = 1;
    scene.lightTravelTime = scene.starrySky = true;
    scene.aberration = scene.srtDoppler = scene.lightBending = false;
    scene.searchlight = 3;
    scene.exposureStops = 1.5f;
    scene.setBackground(10, 20, 30, 255);
    scene.start.w = 99.0f;
    RenderSettings s = scene;
    ASSERT_TRUE(apply("scene.tavolin -o out.png", s));
    EXPECT_EQ(s.speed, 0.3f);
    EXPECT_EQ(s.maxBundleSize, 1);
    EXPECT_TRUE(s.lightTravelTime && s.starrySky);
    EXPECT_FALSE(s.aberration || s.srtDoppler || s.lightBending || s.autoExposure);
    EXPECT_EQ(s.searchlight, 3);
    EXPECT_EQ(s.exposureStops, 1.5f);
    EXPECT_EQ(s.background[1], 20);
    EXPECT_EQ(s.eye.channel[0].peak, scene.eye.channel[0].peak);
    EXPECT_EQ(s.start.w, 0.0f);  // the observer's time is 0 unless given

    s = scene;
    ASSERT_TRUE(
        apply("-o o.png --speed 0.9 --bundle 4 --aberration on --doppler on "
              "--light-bending on --light-travel-time off --sky off --time -3e2 --eye "
              "Humans --background 1,2,3 --searchlight off --exposure auto",
              s));
    EXPECT_EQ(s.speed, 0.9f);
    EXPECT_EQ(s.maxBundleSize, 4);
    EXPECT_TRUE(s.aberration && s.srtDoppler && s.lightBending && s.autoExposure);
    EXPECT_FALSE(s.lightTravelTime || s.starrySky || s.eye.extended());
    EXPECT_EQ(s.start.w, -300.0f);
    EXPECT_EQ(s.eye.channel[0].peak, 500.0f);  // the "Humans" red peak
    EXPECT_EQ(s.background[0], 1);
    EXPECT_EQ(s.background[2], 3);
    EXPECT_EQ(s.searchlight, 0);

    s = RenderSettings();
    ASSERT_TRUE(apply("-o x.png --searchlight 3 --exposure -1.5 --light-travel-time on --sky on", s,
                      {"--eye", "Human (CIE 1931)"}));
    EXPECT_EQ(s.eye.kind, EyeKind::Cie1931);
    EXPECT_EQ(s.eye.beamingExponent, 3);
    EXPECT_NEAR(s.eye.exposure, std::exp2(-1.5), 1e-6);
    EXPECT_FALSE(s.autoExposure);
    EXPECT_TRUE(s.lightTravelTime && s.starrySky);
}

// Rows of arguments (split at spaces) that are refused; the message names the third argument
// (or -o when there are fewer).
TEST(RenderOptions, RefusesBadValuesNamingTheFlag) {
    const QString rows =
        "-o x --size 0x10|-o x --size 10|-o x --aa 2|-o x --speed 1|-o x --speed nan|"
        "-o x --bundle 3|-o x --sky yes|-o x --eye Cat|-o x --threads 0|-o x --bench -1|"
        "-o x --background 1,2|-o x --time inf|-o x --time 1e31|-o x --time 12s|-o x --time|"
        "-o x --searchlight 2|-o x --exposure 17|-o x --frobnicate|-o x b a|scene.tavolin|"
        "-o f --frames 1-2-3 --flypath p|--flypath p|-o f --bench 3 --flypath p|-o f --time 2 "
        "--flypath p";
    for (const QString& row : rows.split('|')) {
        const QStringList args = row.split(' ');
        RenderOptions o;
        QString problem;
        EXPECT_FALSE(parseRenderOptions(args, o, problem)) << row.toStdString();
        EXPECT_TRUE(problem.contains(args.size() > 2 ? args[2] : "-o")) << problem.toStdString();
    }
}
