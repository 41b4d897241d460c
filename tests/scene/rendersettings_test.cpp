// Render settings: the assignment that keeps januscircle and background, the observer
// frame conversions, aspect factors and the Doppler read-out.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/dataelem.h"
#include "scene/rendersettings.h"

TEST(RenderSettings, AssignmentKeepsJanuscircleAndBackground) {
    RenderSettings source, target;
    source.setBackground(255, 0, 0, 255);
    source.januscircle = true;
    source.speed = 0.7f;
    source.lightBending = true;
    source.start = Vec4f(1, 2, 3, 4);
    source.maxBundleSize = 4;
    target = source;
    EXPECT_EQ(target.backgroundPixel(), 0xff141414u);  // the default: bytes 20, 20, 20, 255
    EXPECT_FALSE(target.januscircle);
    EXPECT_EQ(target.speed, 0.7f);
    EXPECT_TRUE(target.lightBending);
    EXPECT_EQ(target.start.w, 4.0f);
    EXPECT_EQ(target.maxBundleSize, 4);
}

TEST(RenderSettings, FrameConversionsUseTheLastThreeColumns) {
    RenderSettings s;
    s.start = Vec4f(1, 2, 3, 9);
    s.dirx = Vec4f(4, 5, 6, 9);
    s.diry = Vec4f(7, 8, 9, 9);
    s.lookat = Vec4f(10, 11, 12, 9);
    ObserverFrame f;
    s.settingsToFrame(f);
    EXPECT_EQ(f.m[0][0], 1.0f);
    EXPECT_EQ(f.m[0][3], 3.0f);
    EXPECT_EQ(f.m[1][1], 4.0f);
    EXPECT_EQ(f.m[2][2], 8.0f);
    EXPECT_EQ(f.m[3][3], 12.0f);
    f.m[3][1] = -1.0f;
    RenderSettings back;
    back.frameToSettings(f);
    EXPECT_EQ(back.lookat.x, -1.0f);
    EXPECT_EQ(back.lookat.w, -1.0f);  // w components are left alone
    EXPECT_EQ(back.start.y, 2.0f);
}

TEST(RenderSettings, PropertiesAreTheSixFileFields) {
    RenderSettings s;
    Reader::PropertyList list;
    s.getProperties(list);
    const char* names[] = {"start", "lookat", "dirx", "diry", "bhpos", "bhradius"};
    ASSERT_EQ(list.size(), 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(list.at(i)->name, names[i]);
    EXPECT_EQ(list.at(1)->toString(), "0;0;1;-1");
    EXPECT_TRUE(list.setProperty("bhradius", "2.5"));
    EXPECT_EQ(s.bhradius, 2.5f);
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
