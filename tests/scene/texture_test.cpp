// Textures: the checkerboard against a brute-force parity; the image texture's clamped reads,
// channel weights (from the sensitivity definition), missing image and relative file names.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <random>

#include "scene/coldiscrete.h"
#include "scene/colorcol.h"
#include "scene/readerxml.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"
#include "scene/textureimage.h"
#include "scene/texturequad.h"

namespace {

constexpr uint32_t kUntouched = 0x5a5a5a5au;

int channel(uint32_t px, int c) { return (px >> (8 * c)) & 0xff; }

// A 4 x 3 picture with a different colour in every pixel.
uint32_t testWord(int column, int row) {
    return 0xff000000u | uint32_t(40 * column + 10) << 16 | uint32_t(60 * row + 20) << 8 |
           uint32_t(7 * (column + row));
}

// "red" sits at the Humans eye's red peak, "green" at its green peak; "r", "g" and "b" are broad,
// so every channel of the default eye responds. The image texture draws the test picture, saved
// without an image suffix: the format comes from the content.
class TextureTest : public testing::Test {
protected:
    void SetUp() override {
        const std::vector<std::pair<const char*, std::vector<float>>> lines = {
            {"default", {550, 40}},          {"red", {500, 100}}, {"green", {600, 150}},
            {"r", {1100, 0.5f, 700, 0.25f}}, {"g", {900, 0.4f}},  {"b", {500, 0.6f, 1000, 0.1f}}};
        for (const auto& [name, values] : lines) {
            auto* c = new ColDiscrete(name);
            for (size_t i = 0; i < values.size(); i += 2) c->addLine(values[i], values[i + 1]);
            colors.add(c, c->name);
        }
        image.colorNameR = "r";
        image.colorNameG = "g";
        image.colorNameB = "b";
        QImage picture(4, 3, QImage::Format_RGB32);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) picture.setPixel(x, y, testWord(x, y));
        image.imageFileName = dir.filePath("picture.dat");
        ASSERT_TRUE(picture.save(image.imageFileName, "PNG"));
        image.resolveColors(colors);
        ASSERT_TRUE(image.hasImage());
    }

    // The image texture's one ray by hand: channel c = (sum over r, g, b of sensitivity x
    // intensity) x image channel x f, truncated; within a level.
    void expectImagePixel(uint32_t got, uint32_t word, float doppler, float f) const {
        double s[3] = {0, 0, 0};
        for (const char* name : {"r", "g", "b"}) {
            const ColDiscrete* c = colors.get(name);
            for (int i = 0; i < c->count(); ++i)
                for (int k = 0; k < 3; ++k)
                    s[k] += settings.eye.channel[k].sensitivity(c->wavelengths[i] * doppler) *
                            c->intensities[i];
        }
        for (int c = 0; c < 3; ++c) {
            const double v = std::min(255.0, s[c] * int(word >> (16 - 8 * c) & 0xff) * f);
            EXPECT_NEAR(channel(got, c), v > 0 ? int(v) : 0, 1) << std::hex << word << " " << c;
        }
    }

    uint32_t shadeOne(const Texture& t, float u, float v, float doppler, float f) const {
        uint32_t px = kUntouched;
        alignas(16) SingleRay ray{};
        ray.settings = &settings;
        ray.u = u;
        ray.v = v;
        ray.doppler = doppler;
        ray.out = &px;
        t.shade1(ray, f);
        return px;
    }

    QTemporaryDir dir;
    ColorCol colors;
    TextureImage image;
    RenderSettings settings;
};

}  // namespace

// The cell parity, |trunc(u) + trunc(v)| mod 2 in 64-bit integers, picks colour b on odd cells
// and a on even ones.
TEST_F(TextureTest, CheckerboardCellsAgainstBruteForceParity) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> coord(-60.0f, 60.0f);
    for (int i = 0; i < 2000; ++i) {
        const Vec4f u(coord(rng), coord(rng), coord(rng), coord(rng));
        const Vec4f v(coord(rng), coord(rng), coord(rng), coord(rng));
        const int odd = movemask(TextureQuad::oddCells(u, v));
        for (int l = 0; l < 4; ++l) {
            const long long sum =
                static_cast<long long>(std::trunc(u[l])) + static_cast<long long>(std::trunc(v[l]));
            const int ref = static_cast<int>(std::llabs(sum) % 2);
            ASSERT_EQ(TextureQuad::cell(u[l], v[l]), ref) << u[l] << " " << v[l];
            ASSERT_EQ(odd >> l & 1, ref) << u[l] << " " << v[l];
        }
    }
    settings.eye = eyePresets()[3].eye;
    TextureQuad t;
    t.colorNameA = "red";
    t.colorNameB = "green";
    t.resolveColors(colors);
    EXPECT_EQ(channel(shadeOne(t, 2.7f, 3.2f, 1, 1), 0), 0);  // odd: green
    EXPECT_EQ(channel(shadeOne(t, 2.7f, 0.9f, 1, 1), 1), 0);  // even: red
    EXPECT_GT(channel(shadeOne(t, 2.7f, 0.9f, 1, 1), 0), 90);
}

// Reads beyond the image take its nearest edge pixel; without its image the texture shows the
// three colours added (weight 1 per channel).
TEST_F(TextureTest, ImageChannelsWeightTheSummedResponsesAndReadsAreClamped) {
    EXPECT_EQ(image.imageWord(-3.0f, 0.0f), testWord(0, 0));
    EXPECT_EQ(image.imageWord(3.99f, 0.2f), testWord(3, 0));  // not below the largest x
    EXPECT_EQ(image.imageWord(1.0f, -5.0f), testWord(1, 0));
    EXPECT_EQ(image.imageWord(NAN, NAN), testWord(0, 0));
    for (float doppler : {1.0f, 1.25f})
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                expectImagePixel(
                    shadeOne(image, x + 9 * (x == 3), y + 20.0f * (y == 2), doppler, 0.35f),
                    testWord(x, y), doppler, 0.35f);
    TextureImage lost;
    lost.copyFrom(image);
    lost.imageFileName = dir.filePath("absent.png");
    lost.resolveColors(colors);
    EXPECT_FALSE(lost.hasImage());
    const uint32_t px = shadeOne(lost, 1e6f, -1e6f, 1.1f, 200.0f);
    expectImagePixel(px, 0xffffffffu, 1.1f, 200.0f / 255.0f);
}

// Relative names are found beside the scene file whatever the working directory, and are kept as
// written; a texture outside a scene takes them from the working directory.
TEST_F(TextureTest, RelativeImageNamesAreFoundBesideTheSceneFile) {
    QTemporaryDir elsewhere;
    const QString saved = QDir::currentPath();
    for (const auto& [folder, colour] :
         {std::make_pair(dir.path(), 0xffc80a1eu), std::make_pair(elsewhere.path(), 0xff05fa05u)}) {
        QDir(folder).mkpath("images");
        QImage picture(2, 2, QImage::Format_ARGB32);
        picture.fill(colour);
        ASSERT_TRUE(picture.save(folder + "/images/wall.png"));
    }
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    SceneData scene;
    Reader::ReaderXml reader(dir.filePath("scene.tavolin"));
    reader.registerScene(&scene);
    auto* relative = new TextureImage;
    relative->imageFileName = QStringLiteral("./images/../images/wall.png");
    scene.addItem(relative);
    scene.resolve();
    ASSERT_TRUE(relative->hasImage());
    EXPECT_EQ(relative->imageWord(0, 0), 0xffc80a1eu);
    EXPECT_EQ(relative->imageFileName, QStringLiteral("./images/../images/wall.png"));
    TextureImage outside;
    outside.imageFileName = QStringLiteral("images/wall.png");
    EXPECT_TRUE(outside.loadImage() && outside.imageWord(0, 0) == 0xff05fa05u);
    QDir::setCurrent(saved);
}
