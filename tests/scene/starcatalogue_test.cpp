// Star catalogues: catalogue lines (good, commented, malformed) and colour temperatures.
#include "scene/starcatalogue.h"

#include <gtest/gtest.h>

#include <cmath>

// Each line alone: a star (magnitude and sin dec), a quietly skipped line, or a counted malformed
// one. Right ascension turns from +z through +x (6 h) to -z (12 h). A missing file says why.
TEST(StarCatalogue, ReadsGoodLinesAndCountsMalformedOnes) {
    const struct {
        const char* line;
        int stars, skipped;
        float magnitude, y;
    } cases[] = {
        {"-16.7161  6.7525 -1.46 \"  9Alp CMa\" 2491  48915 151881", 1, 0, -1.46f, -0.28764f},
        {"\t-90\t24\t6.5\t", 1, 0, 6.5f, -1.0f},
        {"  # comment", 0, 0, 0, 0},
        {"12.0 5.0", 0, 1, 0, 0},
        {"10 25 1", 0, 1, 0, 0},
        {"10 5 nan", 0, 1, 0, 0},
        {"10 5 31", 0, 1, 0, 0},
        {"10 5 2.5extra", 0, 1, 0, 0},
    };
    for (const auto& c : cases) {
        const StarCatalogue cat = StarCatalogue::parse(QByteArray(c.line));
        ASSERT_EQ(int(cat.stars.size()), c.stars) << c.line;
        EXPECT_EQ(cat.skippedLines, c.skipped) << c.line;
        if (c.stars == 0) continue;
        EXPECT_FLOAT_EQ(cat.stars[0].magnitude, c.magnitude) << c.line;
        EXPECT_NEAR(cat.stars[0].y, c.y, 2e-5) << c.line;
        EXPECT_EQ(cat.stars[0].kelvin, StarCatalogue::kBscKelvin);
    }
    const StarCatalogue axes = StarCatalogue::parse("0 0 1\n0 6 1\n0 12 1\n0 18 1\n");
    ASSERT_EQ(axes.stars.size(), 4u);
    const float want[4][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(axes.stars[size_t(i)].x, want[i][0], 1e-6f) << i;
        EXPECT_NEAR(axes.stars[size_t(i)].z, want[i][1], 1e-6f) << i;
    }
    StarCatalogue missing;
    QString why;
    EXPECT_FALSE(StarCatalogue::load(QStringLiteral("/nonexistent/BSC"), missing, &why));
    EXPECT_FALSE(why.isEmpty());
}
