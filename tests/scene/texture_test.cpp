// Textures: the one-colour texture's lane forms against the colour's own, the checkerboard against
// a brute-force parity, and the image texture: clamped reads, channels weighting the colours'
// summed responses (from the sensitivity definition), a missing image, reloading after an edit,
// and file names found beside the scene file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <random>

#include "scene/coldiscrete.h"
#include "scene/colorcol.h"
#include "scene/eye.h"
#include "scene/readerxml.h"
#include "scene/rendersettings.h"
#include "scene/scenedata.h"
#include "scene/textureimage.h"
#include "scene/texturequad.h"
#include "scene/texturesingle.h"

namespace {

constexpr uint32_t kUntouched = 0x5a5a5a5au;

int channel(uint32_t px, int c) { return (px >> (8 * c)) & 0xff; }

// A 4 x 3 picture with a different colour in every pixel.
uint32_t testWord(int column, int row) {
    return 0xff000000u | uint32_t(40 * column + 10) << 16 | uint32_t(60 * row + 20) << 8 |
           uint32_t(7 * (column + row));
}

// "red" is a line at the Humans eye's red peak, "green" at its green peak; "r", "g" and "b" are
// broad, so every channel of the default eye responds. The image texture draws the test picture,
// saved without an image suffix: the format comes from the content.
class TextureTest : public testing::Test {
protected:
    void SetUp() override {
        add("default", {{550.0f, 40.0f}});
        red = add("red", {{500.0f, 100.0f}});
        add("green", {{600.0f, 150.0f}});
        r = add("r", {{1100.0f, 0.5f}, {700.0f, 0.25f}});
        g = add("g", {{900.0f, 0.4f}});
        b = add("b", {{500.0f, 0.6f}, {1000.0f, 0.1f}});
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

    ColDiscrete* add(const char* name, std::vector<std::pair<float, float>> lines) {
        auto* c = new ColDiscrete(name);
        for (const auto& [w, i] : lines) c->addLine(w, i);
        colors.add(c, c->name);
        return c;
    }

    // The image texture's one ray by hand: channel c = (sum over r, g, b of sensitivity x
    // intensity) x image channel x f, truncated.
    uint32_t expected(uint32_t word, float doppler, float f) const {
        double s[3] = {0, 0, 0};
        for (const ColDiscrete* c : {r, g, b})
            for (int i = 0; i < c->count(); ++i)
                for (int k = 0; k < 3; ++k)
                    s[k] += settings.eye.channel[k].sensitivity(c->wavelengths[i] * doppler) *
                            c->intensities[i];
        const int weight[3] = {int(word >> 16 & 0xff), int(word >> 8 & 0xff), int(word & 0xff)};
        uint32_t out = 0xff000000u;
        for (int c = 0; c < 3; ++c) {
            const double v = s[c] * weight[c] * f;
            out |= uint32_t(!(v > 0.0) ? 0 : v >= 255.0 ? 255 : int(v)) << (8 * c);
        }
        return out;
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

    static bool close(uint32_t a, uint32_t b) {
        for (int c = 0; c < 4; ++c)
            if (std::abs(channel(a, c) - channel(b, c)) > 1) return false;
        return true;
    }

    QTemporaryDir dir;
    ColorCol colors;
    ColDiscrete *red = nullptr, *r = nullptr, *g = nullptr, *b = nullptr;
    TextureImage image;
    RenderSettings settings;
};

}  // namespace

// The 2 x 2 form shades with |factor|; the 4 x 4 form with the signed factor (black below 0),
// writing only its own 4 x 4 block of a wider picture.
TEST_F(TextureTest, SingleColourFourLaneFormUsesAbsoluteFactorsSixteenLaneFormSigned) {
    settings.eye = eyePresets()[3].eye;
    TextureSingle t;
    t.colorName = "red";
    t.resolveColors(colors);
    const Vec4f shade(-1.0f, 0.5f, -0.25f, 1.0f);
    const auto lanePixel = [&](float f) {
        uint32_t px = kUntouched;
        uint32_t* const targets[4] = {&px, nullptr, nullptr, nullptr};
        red->toPixel4(settings.eye, Vec4f(1.0f), Vec4f(f), LaneMask4::fromBits(1), targets);
        return px;
    };
    alignas(16) RayBundle4 q{};
    uint32_t quad[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
    q.settings = &settings;
    q.doppler = Vec4f(1.0f);
    q.out[0] = quad;
    q.out[1] = quad + 2;
    t.shade4(q, LaneMask4(true), shade);
    alignas(16) RayBundle16 blk{};
    uint32_t picture[4][6];
    std::fill(&picture[0][0], &picture[0][0] + 24, kUntouched);
    LaneMask4 all[4];
    Vec4f shades[4];
    blk.settings = &settings;
    for (int row = 0; row < 4; ++row) {
        blk.doppler[row] = Vec4f(1.0f);
        blk.out[row] = &picture[row][1];
        all[row] = LaneMask4(true);
        shades[row] = shade;
    }
    t.shade16(blk, all, shades);
    for (int l = 0; l < 4; ++l) {
        EXPECT_EQ(quad[l], lanePixel(std::fabs(shade[l]))) << l;
        EXPECT_GT(channel(quad[l], 0), 0) << l;
    }
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(picture[row][0], kUntouched);
        EXPECT_EQ(picture[row][5], kUntouched);
        for (int l = 0; l < 4; ++l)
            EXPECT_EQ(picture[row][l + 1], shade[l] < 0.0f ? 0xff000000u : lanePixel(shade[l]));
    }
}

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
    TextureSingle a, b;
    a.colorName = "red";
    b.colorName = "green";
    a.resolveColors(colors);
    b.resolveColors(colors);
    EXPECT_EQ(shadeOne(t, 2.7f, 3.2f, 1, 0.8f), shadeOne(b, 0, 0, 1, 0.8f));
    EXPECT_EQ(shadeOne(t, 2.7f, 0.9f, 1, 0.8f), shadeOne(a, 0, 0, 1, 0.8f));
    EXPECT_NE(shadeOne(a, 0, 0, 1, 0.8f), shadeOne(b, 0, 0, 1, 0.8f));
}

// Reads beyond the image take its nearest edge pixel; channels weight the colours' responses.
TEST_F(TextureTest, ImageReadsAreClampedAndChannelsWeightTheSummedResponses) {
    EXPECT_EQ(image.imageWord(-3.0f, 0.0f), testWord(0, 0));
    EXPECT_EQ(image.imageWord(3.99f, 0.2f), testWord(3, 0));  // not below the largest x
    EXPECT_EQ(image.imageWord(17.0f, 1.0f), testWord(3, 1));
    EXPECT_EQ(image.imageWord(1.0f, -5.0f), testWord(1, 0));
    EXPECT_EQ(image.imageWord(1.0f, 99.0f), testWord(1, 2));
    EXPECT_EQ(image.imageWord(NAN, NAN), testWord(0, 0));
    EXPECT_EQ(shadeOne(image, 40.0f, 1.2f, 1.0f, 1.0f), shadeOne(image, 3.0f, 1.0f, 1.0f, 1.0f));
    for (float doppler : {1.0f, 1.25f})
        for (float f : {1.0f, 0.35f})
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 4; ++x) {
                    const uint32_t got = shadeOne(image, x + 0.5f, y + 0.5f, doppler, f);
                    const uint32_t want = expected(testWord(x, y), doppler, f);
                    EXPECT_TRUE(close(got, want)) << std::hex << got << " vs " << want;
                }
}

// Without its image the texture shows the three colours added (weight 1 per channel) times the
// shading factor, and reads no pixel, in one ray and in masked lanes.
TEST_F(TextureTest, MissingImageShowsTheColoursAddedAndReadsNoPixel) {
    TextureImage lost;
    lost.colorNameR = "r";
    lost.colorNameG = "g";
    lost.colorNameB = "b";
    lost.imageFileName = dir.filePath("absent.png");
    lost.resolveColors(colors);
    EXPECT_FALSE(lost.hasImage());
    const uint32_t px = shadeOne(lost, 1e6f, -1e6f, 1.1f, 200.0f);
    EXPECT_TRUE(close(px, expected(0xffffffffu, 1.1f, 200.0f / 255.0f))) << std::hex << px;
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

// An edit names another file: the texture takes it over and loads it at the next resolve.
TEST_F(TextureTest, AnotherImageFileIsLoadedAtTheNextResolve) {
    QImage other(2, 2, QImage::Format_ARGB32);
    other.fill(0xff102030u);
    ASSERT_TRUE(other.save(dir.filePath("other.png")));
    std::unique_ptr<Texture> copy(image.clone());
    auto& edited = static_cast<TextureImage&>(*copy);
    edited.imageFileName = dir.filePath("other.png");
    edited.colorNameR = "g";
    image.copyFrom(edited);
    EXPECT_EQ(image.imageWord(0.0f, 0.0f), testWord(0, 0));  // the old image until resolved
    image.resolveColors(colors);
    EXPECT_EQ(image.colorR, g);
    EXPECT_EQ(image.imageWord(5.0f, 5.0f), 0xff102030u);
}

// Relative image names are found beside the scene file whatever the working directory (a scene
// and its images move together) and are saved as written; without a scene file they stand as
// they are.
TEST(TextureImagePath, RelativeNamesAreFoundBesideTheSceneFileFromAnyWorkingDirectory) {
    const QString saved = QDir::currentPath();
    QTemporaryDir sceneDir, elsewhere;
    for (const auto& [folder, colour] : {std::make_pair(&sceneDir, qRgb(200, 10, 30)),
                                         std::make_pair(&elsewhere, qRgb(5, 250, 5))}) {
        QDir().mkpath(folder->filePath("images"));
        QImage image(1, 1, QImage::Format_RGB32);
        image.setPixel(0, 0, colour);
        ASSERT_TRUE(image.save(folder->filePath("images/wall.png")));
    }
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    for (const QString& name : {QStringLiteral("./images/../images/wall.png"),
                                sceneDir.filePath(QStringLiteral("images/wall.png"))}) {
        const QString sceneFile = sceneDir.filePath(QStringLiteral("scene.tavolin"));
        QFile file(sceneFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("<tavolinfile><newtextureimage><texname>picture</texname><imagefilename>" +
                   name.toUtf8() + "</imagefilename></newtextureimage></tavolinfile>");
        file.close();
        SceneData scene;
        RenderSettings settings;
        Reader::ReaderXml reader(sceneFile);
        reader.registerSettings(&settings);
        reader.registerScene(&scene);
        ASSERT_TRUE(reader.parse()) << reader.errorText().toStdString();
        scene.resolve();
        auto* texture = dynamic_cast<TextureImage*>(scene.textures.get(QStringLiteral("picture")));
        ASSERT_TRUE(texture && texture->hasImage()) << name.toStdString();
        EXPECT_EQ(texture->imageWord(0, 0) & 0xffffffu, qRgb(200, 10, 30) & 0xffffffu);
        EXPECT_EQ(texture->imageFileName, name);
    }
    TextureImage texture;
    texture.imageFileName = QStringLiteral("images/wall.png");
    ASSERT_TRUE(texture.loadImage());
    EXPECT_EQ(texture.imageWord(0, 0) & 0xffffffu, qRgb(5, 250, 5) & 0xffffffu);
    QDir::setCurrent(saved);
}
