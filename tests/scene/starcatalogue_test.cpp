// Star catalogues: catalogue lines (good, commented, malformed), colour temperatures and the
// generated sky's statistics.
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

// Ballesteros' colour temperatures (the Sun's B-V is 0.65). The generated sky: the same stars for
// the same seed; counts growing as 10^(0.6 m); about a third cooler than 5,000 K (giants:
// 0.4 P(B-V > 0.88) for B-V ~ N(1.1, 0.25)).
TEST(StarCatalogue, TheGeneratedSkyIsRepeatableAndRealistic) {
    EXPECT_NEAR(StarCatalogue::ballesterosKelvin(0.65), 5778.4, 1.0);  // the Sun
    EXPECT_NEAR(StarCatalogue::ballesterosKelvin(0.0), 10125.2, 1.0);
    const StarCatalogue a = StarCatalogue::generate();
    const StarCatalogue b = StarCatalogue::generate();
    ASSERT_EQ(int(a.stars.size()), StarCatalogue::kGeneratedCount);
    int brighter3 = 0, brighter6 = 0, cool = 0;
    for (size_t i = 0; i < a.stars.size(); ++i) {
        const Star& s = a.stars[i];
        ASSERT_EQ(s.x, b.stars[i].x);
        brighter3 += s.magnitude < 3.0f;
        brighter6 += s.magnitude < 6.0f;
        cool += s.kelvin < 5000.0f;
        EXPECT_GE(s.magnitude, StarCatalogue::kBrightest);
        EXPECT_LE(s.magnitude, StarCatalogue::kFaintest);
    }
    const double n = double(a.stars.size());
    EXPECT_NEAR(std::log10(double(brighter6) / brighter3) / 3.0, 0.6, 0.05);
    EXPECT_NEAR(cool / n, 0.324, 0.03);
}
