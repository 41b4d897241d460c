// The one-colour and checkerboard textures: colour choice per cell against a brute-force parity,
// and the shading factors of the lane forms against the colour's own lane conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "scene/coldiscrete.h"
#include "scene/colorcol.h"
#include "scene/eye.h"
#include "scene/rendersettings.h"
#include "scene/texturequad.h"
#include "scene/texturesingle.h"

namespace {

constexpr uint32_t kUntouched = 0x5a5a5a5au;

int channel(uint32_t px, int c) { return (px >> (8 * c)) & 0xff; }

const Eye& humansEye() { return eyePresets()[3].eye; }

// Three colours in a collection whose default ("default") is a dim grey-ish spectrum. "red" is a
// line at the red peak of the Humans eye (500 nm), "green" at the green peak (600 nm).
struct Palette {
    ColorCol colors;
    ColDiscrete* fallback;
    ColDiscrete* red;
    ColDiscrete* green;
    Palette() {
        fallback = new ColDiscrete("default");
        fallback->addLine(550.0f, 40.0f);
        colors.add(fallback, fallback->name);
        red = new ColDiscrete("red");
        red->addLine(500.0f, 100.0f);
        colors.add(red, red->name);
        green = new ColDiscrete("green");
        green->addLine(600.0f, 150.0f);
        colors.add(green, green->name);
    }
};

uint32_t onePixel(const ColDiscrete& c, const Eye& eye, float doppler, float shade) {
    uint32_t px = kUntouched;
    c.toPixel(eye, &px, &doppler, &shade);
    return px;
}

uint32_t lanePixel(const ColDiscrete& c, const Eye& eye, float doppler, float shade) {
    uint32_t px[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
    uint32_t* const targets[4] = {&px[0], &px[1], &px[2], &px[3]};
    c.toPixel4(eye, Vec4f(doppler), Vec4f(shade), LaneMask4::fromBits(1), targets);
    return px[0];
}

// A one-ray record pointing at settings and at one output pixel.
struct OneRay {
    alignas(16) SingleRay ray{};
    uint32_t pixel = kUntouched;
    OneRay(const RenderSettings& s, float u, float v, float doppler = 1.0f) {
        ray.settings = &s;
        ray.u = u;
        ray.v = v;
        ray.doppler = doppler;
        ray.out = &pixel;
    }
};

// A 2 x 2 bundle writing into its own 2 x 2 picture (row stride 2).
struct Quad {
    alignas(16) RayBundle4 b{};
    uint32_t picture[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
    explicit Quad(const RenderSettings& s) {
        b.settings = &s;
        b.doppler = Vec4f(1.0f);
        b.out[0] = picture;
        b.out[1] = picture + 2;
    }
};

// A 4 x 4 bundle writing into a 4 x 6 picture at column 1 (so writes outside the block show).
struct Block {
    alignas(16) RayBundle16 b{};
    uint32_t picture[4][6];
    explicit Block(const RenderSettings& s) {
        for (auto& row : picture)
            for (uint32_t& p : row) p = kUntouched;
        b.settings = &s;
        for (int g = 0; g < 4; ++g) {
            b.doppler[g] = Vec4f(1.0f);
            b.out[g] = &picture[g][1];
        }
    }
    uint32_t lane(int g, int l) const { return picture[g][l + 1]; }
    bool bordersUntouched() const {
        for (const auto& row : picture)
            if (row[0] != kUntouched || row[5] != kUntouched) return false;
        return true;
    }
};

// Reference cell parity with 64-bit integers: |trunc(u) + trunc(v)| mod 2.
int referenceCell(float u, float v) {
    const long long s =
        static_cast<long long>(std::trunc(u)) + static_cast<long long>(std::trunc(v));
    return static_cast<int>(std::llabs(s) % 2);
}

}  // namespace

// ---------------------------------------------------------------- TextureSingle

TEST(TextureSingle, FourLaneFormUsesAbsoluteFactorsSixteenLaneFormSigned) {
    Palette pal;
    RenderSettings s;
    s.eye = humansEye();
    TextureSingle t;
    t.colorName = "red";
    t.resolveColors(pal.colors);

    Quad q(s);
    const Vec4f shade(-1.0f, 0.5f, -0.25f, 1.0f);
    t.shade4(q.b, LaneMask4(true), shade);
    for (int l = 0; l < 4; ++l) {
        const float f = std::fabs(shade[l]);
        EXPECT_EQ(q.picture[l], lanePixel(*pal.red, s.eye, 1.0f, f)) << "lane " << l;
        EXPECT_GT(channel(q.picture[l], 0), 0) << "lane " << l;
    }

    Block blk(s);
    LaneMask4 all[4];
    Vec4f shades[4];
    for (int g = 0; g < 4; ++g) {
        all[g] = LaneMask4(true);
        shades[g] = shade;
    }
    t.shade16(blk.b, all, shades);
    for (int g = 0; g < 4; ++g)
        for (int l = 0; l < 4; ++l) {
            if (shade[l] < 0.0f)
                EXPECT_EQ(blk.lane(g, l), 0xff000000u) << g << "," << l;
            else
                EXPECT_EQ(blk.lane(g, l), lanePixel(*pal.red, s.eye, 1.0f, shade[l]));
        }
    EXPECT_TRUE(blk.bordersUntouched());
}

// ---------------------------------------------------------------- TextureQuad

TEST(TextureQuad, CellParityAgainstBruteForce) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> coord(-60.0f, 60.0f);
    for (int i = 0; i < 2000; ++i) {
        const Vec4f u(coord(rng), coord(rng), coord(rng), coord(rng));
        const Vec4f v(coord(rng), coord(rng), coord(rng), coord(rng));
        const int odd = movemask(TextureQuad::oddCells(u, v));
        for (int l = 0; l < 4; ++l) {
            const int ref = referenceCell(u[l], v[l]);
            ASSERT_EQ(TextureQuad::cell(u[l], v[l]), ref) << u[l] << " " << v[l];
            ASSERT_EQ(odd >> l & 1, ref) << u[l] << " " << v[l];
        }
    }
}

TEST(TextureQuad, OneRayPicksTheColourOfTheCell) {
    Palette pal;
    RenderSettings s;
    s.eye = humansEye();
    TextureQuad t;
    t.colorNameA = "red";
    t.colorNameB = "green";
    t.resolveColors(pal.colors);
    const uint32_t red = onePixel(*pal.red, s.eye, 1.0f, 0.8f);
    const uint32_t green = onePixel(*pal.green, s.eye, 1.0f, 0.8f);
    ASSERT_NE(red, green);

    OneRay odd(s, 2.7f, 3.2f);
    t.shade1(odd.ray, 0.8f);
    EXPECT_EQ(odd.pixel, green);
    OneRay even(s, 2.7f, 0.9f);
    t.shade1(even.ray, 0.8f);
    EXPECT_EQ(even.pixel, red);
    OneRay negative(s, -1.2f, 0.3f);
    t.shade1(negative.ray, 0.8f);
    EXPECT_EQ(negative.pixel, green);
    // A sphere reports u = v = 0: always colour a.
    OneRay sphere(s, 0.0f, 0.0f);
    t.shade1(sphere.ray, 0.8f);
    EXPECT_EQ(sphere.pixel, red);
}
