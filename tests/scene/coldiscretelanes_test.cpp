// The lane conversions against the one-ray form, lane by lane: identical except at exact range
// ends (strict in lanes, inclusive for one ray) and at saturation (254 vs 255).
#include <gtest/gtest.h>

#include <random>

#include "scene/coldiscrete.h"
#include "scene/eye.h"

namespace {

constexpr uint32_t kUntouched = 0x5a5a5a5au;

uint32_t singlePixel(const ColDiscrete& col, const Eye& eye, float doppler, float shade) {
    uint32_t px = kUntouched;
    col.toPixel(eye, &px, &doppler, &shade);
    return px;
}

int channel(uint32_t px, int c) { return (px >> (8 * c)) & 0xff; }

// What a bundle lane must show given the one-ray pixel: the same, with 255 lowered to 254.
uint32_t bundleFromSingle(uint32_t px) {
    uint32_t out = 0xff000000u;
    for (int c = 0; c < 3; ++c) out |= uint32_t(std::min(channel(px, c), 254)) << (8 * c);
    return out;
}

// True when a shifted line lands exactly on some channel's lo or hi, where the two forms are
// allowed to differ.
bool touchesRangeEnd(const ColDiscrete& col, const Eye& eye, float doppler) {
    for (int i = 0; i < col.count(); ++i) {
        const float w = col.wavelengths[i] * doppler;
        for (const EyeChannel& ch : eye.channel)
            if (w == ch.lo || w == ch.hi) return true;
    }
    return false;
}

ColDiscrete randomColour(std::mt19937& rng) {
    std::uniform_int_distribution<int> lines(0, 6);
    std::uniform_real_distribution<float> wl(50.0f, 1700.0f), in(-20.0f, 150.0f);
    ColDiscrete col;
    const int n = lines(rng);
    for (int i = 0; i < n; ++i) col.addLine(wl(rng), in(rng));
    return col;
}

}  // namespace

TEST(ColDiscreteLanes, Bundle16MatchesSingleRays) {
    std::mt19937 rng(777);
    std::uniform_real_distribution<float> dop(0.3f, 3.0f), shade(-0.5f, 1.5f);
    std::uniform_int_distribution<int> bits(0, 15);
    for (int trial = 0; trial < 1000; ++trial) {
        const ColDiscrete col = randomColour(rng);
        const Eye& eye = eyePresets()[trial % 4].eye;
        Vec4f d[4], s[4];
        LaneMask4 mask[4];
        uint32_t block[4][4];
        uint32_t* const rows[4] = {block[0], block[1], block[2], block[3]};
        for (int g = 0; g < 4; ++g) {
            d[g] = Vec4f(dop(rng), dop(rng), dop(rng), dop(rng));
            s[g] = Vec4f(shade(rng), shade(rng), shade(rng), shade(rng));
            mask[g] = LaneMask4::fromBits(bits(rng));
            for (int l = 0; l < 4; ++l) block[g][l] = kUntouched;
        }
        col.toPixel16(eye, d, s, mask, rows);
        for (int g = 0; g < 4; ++g) {
            for (int l = 0; l < 4; ++l) {
                if (!mask[g].lane(l)) {
                    ASSERT_EQ(block[g][l], kUntouched) << "unmasked lane written";
                    continue;
                }
                if (touchesRangeEnd(col, eye, d[g][l])) continue;
                ASSERT_EQ(block[g][l], bundleFromSingle(singlePixel(col, eye, d[g][l], s[g][l])))
                    << "trial " << trial << " group " << g << " lane " << l;
            }
        }
    }
}
