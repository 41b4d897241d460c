// The image texture: clamped pixel reads, the weighting of the three colours' summed responses by
// the image channels, a missing image, and reloading when an edit names another file.
#include "scene/textureimage.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <random>

#include "scene/coldiscrete.h"
#include "scene/colorcol.h"
#include "scene/dataelem.h"
#include "scene/eye.h"
#include "scene/rendersettings.h"

namespace {

constexpr uint32_t kUntouched = 0x5a5a5a5au;

int channel(uint32_t px, int c) { return (px >> (8 * c)) & 0xff; }

// A 4 x 3 picture with a different colour in every pixel: red = 40 x column + 10,
// green = 60 x row + 20, blue = 7 x (column + row).
uint32_t testWord(int column, int row) {
    return 0xff000000u | uint32_t(40 * column + 10) << 16 | uint32_t(60 * row + 20) << 8 |
           uint32_t(7 * (column + row));
}

QImage testImage() {
    QImage img(4, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) img.setPixel(x, y, testWord(x, y));
    return img;
}

// Channel sums of a spectrum with the eye's curves, straight from the sensitivity definition.
void referenceSums(const ColDiscrete& c, const Eye& eye, float doppler, double sums[3]) {
    for (int i = 0; i < c.count(); ++i) {
        const float w = c.wavelengths[i] * doppler;
        for (int k = 0; k < 3; ++k) sums[k] += eye.channel[k].sensitivity(w) * c.intensities[i];
    }
}

int referenceByte(double value) {
    if (!(value > 0.0)) return 0;
    return value >= 255.0 ? 255 : static_cast<int>(value);
}

class TextureImageTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        auto* fallback = new ColDiscrete("default");
        fallback->addLine(550.0f, 40.0f);
        colors.add(fallback, fallback->name);
        // Broad colours, so that every channel of the default eye responds.
        r = new ColDiscrete("r");
        r->addLine(1100.0f, 0.5f);
        r->addLine(700.0f, 0.25f);
        colors.add(r, r->name);
        g = new ColDiscrete("g");
        g->addLine(900.0f, 0.4f);
        colors.add(g, g->name);
        b = new ColDiscrete("b");
        b->addLine(500.0f, 0.6f);
        b->addLine(1000.0f, 0.1f);
        colors.add(b, b->name);
        tex.colorNameR = "r";
        tex.colorNameG = "g";
        tex.colorNameB = "b";
        // Saved under a name without an image suffix: the format comes from the content.
        file = dir.filePath("picture.dat");
        ASSERT_TRUE(testImage().save(file, "PNG"));
        tex.imageFileName = file;
        ASSERT_TRUE(tex.loadImage());
        tex.resolveColors(colors);
    }

    // The one-ray colouring by hand: s = summed responses, channel c = s_c x (image channel x f).
    uint32_t expected(uint32_t word, float doppler, float f) const {
        double s[3] = {0, 0, 0};
        referenceSums(*r, settings.eye, doppler, s);
        referenceSums(*g, settings.eye, doppler, s);
        referenceSums(*b, settings.eye, doppler, s);
        const int weight[3] = {int(word >> 16 & 0xff), int(word >> 8 & 0xff), int(word & 0xff)};
        uint32_t out = 0xff000000u;
        for (int c = 0; c < 3; ++c) out |= uint32_t(referenceByte(s[c] * weight[c] * f)) << (8 * c);
        return out;
    }

    uint32_t shadeOne(float u, float v, float doppler, float f) const {
        return shadeOne(tex, u, v, doppler, f);
    }
    uint32_t shadeOne(const TextureImage& t, float u, float v, float doppler, float f) const {
        uint32_t px = kUntouched;
        SingleRay ray{};
        ray.settings = &settings;
        ray.u = u;
        ray.v = v;
        ray.doppler = doppler;
        ray.out = &px;
        t.shade1(ray, f);
        return px;
    }

    static bool close(uint32_t a, uint32_t b) {
        for (int c = 0; c < 4; ++c)
            if (std::abs(channel(a, c) - channel(b, c)) > 1) return false;
        return true;
    }

    QTemporaryDir dir;
    QString file;
    ColorCol colors;
    ColDiscrete *r = nullptr, *g = nullptr, *b = nullptr;
    TextureImage tex;
    RenderSettings settings;
};

}  // namespace

TEST_F(TextureImageTest, ReadsAreClampedToTheImage) {
    EXPECT_EQ(tex.imageWord(-3.0f, 0.0f), testWord(0, 0));
    EXPECT_EQ(tex.imageWord(2.9f, 1.5f), testWord(2, 1));
    EXPECT_EQ(tex.imageWord(3.99f, 0.2f), testWord(3, 0));  // not below the largest x: column 3
    EXPECT_EQ(tex.imageWord(17.0f, 1.0f), testWord(3, 1));
    EXPECT_EQ(tex.imageWord(1.0f, -5.0f), testWord(1, 0));
    EXPECT_EQ(tex.imageWord(1.0f, 99.0f), testWord(1, 2));
    EXPECT_EQ(tex.imageWord(NAN, NAN), testWord(0, 0));
    // Through the shading: u = -3 shows column 0, u beyond the width the last column.
    EXPECT_EQ(shadeOne(-3.0f, 1.2f, 1.0f, 1.0f), shadeOne(0.0f, 1.0f, 1.0f, 1.0f));
    EXPECT_EQ(shadeOne(40.0f, 1.2f, 1.0f, 1.0f), shadeOne(3.0f, 1.0f, 1.0f, 1.0f));
}

TEST_F(TextureImageTest, ChannelsWeightTheSummedResponses) {
    for (float doppler : {1.0f, 0.8f, 1.25f})
        for (float f : {1.0f, 0.35f})
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 4; ++x) {
                    const uint32_t got = shadeOne(x + 0.5f, y + 0.5f, doppler, f);
                    const uint32_t want = expected(testWord(x, y), doppler, f);
                    EXPECT_TRUE(close(got, want)) << std::hex << got << " vs " << want;
                }
}

TEST_F(TextureImageTest, MissingImageShowsTheColoursAddedAndReadsNoPixel) {
    TextureImage lost;
    lost.colorNameR = "r";
    lost.colorNameG = "g";
    lost.colorNameB = "b";
    lost.imageFileName = dir.filePath("absent.png");
    EXPECT_FALSE(lost.loadImage());
    EXPECT_FALSE(lost.hasImage());
    EXPECT_EQ(lost.pixels, nullptr);
    lost.resolveColors(colors);

    // Weight 1 per channel: the three colours' responses added, times the shading factor.
    double s[3] = {0, 0, 0};
    referenceSums(*r, settings.eye, 1.1f, s);
    referenceSums(*g, settings.eye, 1.1f, s);
    referenceSums(*b, settings.eye, 1.1f, s);
    const uint32_t px = shadeOne(lost, 1e6f, -1e6f, 1.1f, 200.0f);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(channel(px, c), referenceByte(s[c] * 200.0), 1);
    EXPECT_GT(channel(px, 0) + channel(px, 1) + channel(px, 2), 0);

    alignas(16) RayBundle4 q{};
    uint32_t picture[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
    q.settings = &settings;
    q.out[0] = picture;
    q.out[1] = picture + 2;
    q.doppler = Vec4f(1.1f);
    q.u = Vec4f(1e6f);
    lost.shade4(q, LaneMask4::fromBits(0b1001), Vec4f(200.0f));
    EXPECT_EQ(picture[0], px);
    EXPECT_EQ(picture[1], kUntouched);
    EXPECT_EQ(picture[3], px);
}

// An edit names another file: the texture takes it over and loads it at the next resolve; a
// texture made in the editor has never tried its file, and resolving loads it too.
TEST_F(TextureImageTest, AnotherFileIsLoadedAtTheNextResolve) {
    QImage other(2, 2, QImage::Format_ARGB32);
    other.fill(0xff102030u);
    const QString otherFile = dir.filePath("other.png");
    ASSERT_TRUE(other.save(otherFile));
    std::unique_ptr<Texture> copy(tex.clone());
    auto& edited = static_cast<TextureImage&>(*copy);
    edited.imageFileName = otherFile;
    edited.colorNameR = "g";
    tex.copyFrom(edited);
    EXPECT_EQ(tex.imageWord(0.0f, 0.0f), testWord(0, 0));  // the old image until resolved
    tex.resolveColors(colors);
    EXPECT_EQ(tex.colorR, g);
    EXPECT_EQ(tex.imageWord(5.0f, 5.0f), 0xff102030u);
    TextureImage fresh;
    fresh.imageFileName = otherFile;
    fresh.resolveColors(colors);
    EXPECT_TRUE(fresh.hasImage());
}
