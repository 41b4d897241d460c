// Star catalogues: the Bright Star Catalogue's lines (good, commented and malformed), the
// generated sky's statistics, and the colour temperature of a colour index.
#include "scene/starcatalogue.h"

#include <gtest/gtest.h>

#include <QFile>
#include <cmath>

namespace {

constexpr double kDeg = M_PI / 180.0;

// Angular distance of two equatorial positions by the spherical law of cosines.
double separation(double dec1, double raH1, double dec2, double raH2) {
    const double c =
        std::sin(dec1 * kDeg) * std::sin(dec2 * kDeg) +
        std::cos(dec1 * kDeg) * std::cos(dec2 * kDeg) * std::cos((raH1 - raH2) * 15 * kDeg);
    return std::acos(std::clamp(c, -1.0, 1.0));
}

}  // namespace

// Each line alone: whether it is a star, a quietly skipped line, or a counted malformed one;
// for stars the magnitude, and the direction's height above the equator (sin dec).
TEST(StarCatalogue, ReadsGoodLinesAndCountsMalformedOnes) {
    struct Case {
        const char* line;
        int stars, skipped;
        float magnitude, y;
    };
    const Case cases[] = {
        {"-16.7161  6.7525 -1.46 \"  9Alp CMa\" 2491  48915 151881", 1, 0, -1.46f, -0.28764f},
        {" 89.2641  2.5303  2.02 \"  1Alp UMi\"  424   8890   308", 1, 0, 2.02f, 0.99991f},
        {"0 0 5", 1, 0, 5.0f, 0.0f},
        {"\t-90\t24\t6.5\t", 1, 0, 6.5f, -1.0f},
        {"10 5 1\r", 1, 0, 1.0f, 0.17365f},
        {"", 0, 0, 0, 0},
        {"   ", 0, 0, 0, 0},
        {"# Dec RA Mag", 0, 0, 0, 0},
        {"   # indented comment", 0, 0, 0, 0},
        {"abc", 0, 1, 0, 0},
        {"12.0 5.0", 0, 1, 0, 0},
        {"95.0 1.0 2.0", 0, 1, 0, 0},
        {"-90.5 1.0 2.0", 0, 1, 0, 0},
        {"10 25 1", 0, 1, 0, 0},
        {"10 -1 1", 0, 1, 0, 0},
        {"10 5 x", 0, 1, 0, 0},
        {"10 5 nan", 0, 1, 0, 0},
        {"10 5 inf", 0, 1, 0, 0},
        {"10 5 1e999", 0, 1, 0, 0},
        {"10 5 31", 0, 1, 0, 0},
        {"1,5 2 3", 0, 1, 0, 0},
        {"10 5 2.5extra", 0, 1, 0, 0},
        {"11111111111111111111111111111111111111111111111 5 1", 0, 1, 0, 0},
    };
    for (const Case& c : cases) {
        const StarCatalogue cat = StarCatalogue::parse(QByteArray(c.line));
        ASSERT_EQ(int(cat.stars.size()), c.stars) << c.line;
        EXPECT_EQ(cat.skippedLines, c.skipped) << c.line;
        if (c.stars == 0) continue;
        const Star& s = cat.stars[0];
        EXPECT_FLOAT_EQ(s.magnitude, c.magnitude) << c.line;
        EXPECT_NEAR(s.y, c.y, 2e-5) << c.line;
        EXPECT_NEAR(s.x * s.x + s.y * s.y + s.z * s.z, 1.0f, 1e-6f) << c.line;
        EXPECT_EQ(s.kelvin, StarCatalogue::kBscKelvin);
    }
    // Right ascension turns eastwards from +z through +x (6 h) to -z (12 h).
    const StarCatalogue axes = StarCatalogue::parse("0 0 1\n0 6 1\n0 12 1\n0 18 1\n");
    ASSERT_EQ(axes.stars.size(), 4u);
    const float want[4][3] = {{0, 0, 1}, {1, 0, 0}, {0, 0, -1}, {-1, 0, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(axes.stars[size_t(i)].x, want[i][0], 1e-6f) << i;
        EXPECT_NEAR(axes.stars[size_t(i)].z, want[i][2], 1e-6f) << i;
    }
}

// The catalogue's own excerpt, with malformed lines mixed in: the good stars survive in order,
// and the angle between two of them is the spherical law of cosines' angle.
TEST(StarCatalogue, AnExcerptOfTheBrightStarCatalogueWithDamage) {
    QFile file(QStringLiteral(TAVOLIN_TEST_DATA "/bsc-excerpt.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray text = "# From the catalogue\n\n" + file.readAll();
    text += "garbage line\n-16.7 6.75\n\"quoted\" 1 2 3\n";
    const StarCatalogue cat = StarCatalogue::parse(text);
    ASSERT_EQ(cat.stars.size(), 6u);
    EXPECT_EQ(cat.skippedLines, 3);
    EXPECT_FLOAT_EQ(cat.stars[0].magnitude, -1.46f);  // Sirius first, Capella last
    EXPECT_FLOAT_EQ(cat.stars[5].magnitude, 0.08f);
    const Star& sirius = cat.stars[0];
    const Star& canopus = cat.stars[1];
    const double dot = sirius.x * canopus.x + sirius.y * canopus.y + sirius.z * canopus.z;
    EXPECT_NEAR(std::acos(dot), separation(-16.7161, 6.7525, -52.6958, 6.3992), 1e-5);

    StarCatalogue missing;
    QString why;
    EXPECT_FALSE(StarCatalogue::load(QStringLiteral("/nonexistent/BSC"), missing, &why));
    EXPECT_FALSE(why.isEmpty());
    // The renderer's catalogue: the installed one, or the generated sky without it.
    const StarCatalogue& standard = StarCatalogue::standard();
    EXPECT_EQ(standard.source, QFile::exists(StarCatalogue::kBscPath)
                                   ? QString::fromLatin1(StarCatalogue::kBscPath)
                                   : QStringLiteral("generated"));
    EXPECT_GT(standard.stars.size(), 5000u);
}

// Ballesteros' formula against hand-worked values: the Sun (B-V 0.65) at 5,778 K, B-V 0 at
// 10,125 K, and the catalogue's default at its median B-V of 0.45.
TEST(StarCatalogue, ColourIndexToTemperature) {
    EXPECT_NEAR(StarCatalogue::ballesterosKelvin(0.65), 5778.4, 1.0);
    EXPECT_NEAR(StarCatalogue::ballesterosKelvin(0.0), 10125.2, 1.0);
    EXPECT_NEAR(StarCatalogue::ballesterosKelvin(0.45), StarCatalogue::kBscKelvin, 50.0);
}

// The generated sky: the same stars for the same seed, others for another; counts that grow as
// 10^(0.6 m); directions uniform over the sphere (half of them within 30 degrees of the
// equator); about a third of the stars cooler than 5,000 K (the giants' peak: 0.4 P(B-V > 0.88)
// for B-V ~ N(1.1, 0.25), 0.4 x 0.81).
TEST(StarCatalogue, TheGeneratedSkyIsRepeatableAndRealistic) {
    const StarCatalogue a = StarCatalogue::generate();
    const StarCatalogue b = StarCatalogue::generate();
    const StarCatalogue c = StarCatalogue::generate(StarCatalogue::kGeneratedCount, 1u);
    ASSERT_EQ(int(a.stars.size()), StarCatalogue::kGeneratedCount);
    int same = 0, differ = 0;
    for (size_t i = 0; i < a.stars.size(); ++i) {
        same += a.stars[i].x == b.stars[i].x && a.stars[i].magnitude == b.stars[i].magnitude;
        differ += a.stars[i].x != c.stars[i].x;
    }
    EXPECT_EQ(same, StarCatalogue::kGeneratedCount);
    EXPECT_GT(differ, StarCatalogue::kGeneratedCount - 10);

    int brighter3 = 0, brighter6 = 0, nearEquator = 0, cool = 0;
    for (const Star& s : a.stars) {
        brighter3 += s.magnitude < 3.0f;
        brighter6 += s.magnitude < 6.0f;
        nearEquator += std::fabs(s.y) < 0.5f;
        cool += s.kelvin < 5000.0f;
        EXPECT_GE(s.magnitude, StarCatalogue::kBrightest);
        EXPECT_LE(s.magnitude, StarCatalogue::kFaintest);
        EXPECT_GT(s.kelvin, 3000.0f);
        EXPECT_LT(s.kelvin, 18000.0f);
    }
    const double n = double(a.stars.size());
    EXPECT_NEAR(std::log10(double(brighter6) / brighter3) / 3.0, 0.6, 0.05);
    EXPECT_NEAR(nearEquator / n, 0.5, 0.02);
    EXPECT_NEAR(cool / n, 0.324, 0.03);
}
