// The lane conversions of a colour against its one-ray form, lane by lane: identical except at
// exact range ends (strict in lanes, inclusive for one ray) and at saturation (254 vs 255). With
// the cached sums for a Doppler factor of 1 prepared, every form gives exactly the pixels of an
// unprepared copy, under the default rounding and under the render workers' rounding toward minus
// infinity; a cache made for another eye or for other lines is not used.
#include <gtest/gtest.h>

#include <immintrin.h>

#include <cstring>
#include <random>

#include "scene/coldiscrete.h"
#include "scene/eye.h"

namespace {

constexpr uint32_t kUntouched = 0x5a5a5a5au;

int channel(uint32_t px, int c) { return (px >> (8 * c)) & 0xff; }

// Rays 4g + l: Doppler factors d, shading factors s, lanes in mask.
struct Rays {
    Vec4f d[4], s[4];
    LaneMask4 mask[4];
};

// Every form: sixteen lanes, the first four as a 2 x 2 bundle, and each ray alone.
struct Pixels {
    uint32_t sixteen[4][4], four[4], one[16];
    bool operator==(const Pixels& o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};

Pixels convert(const ColDiscrete& c, const Eye& eye, const Rays& r) {
    Pixels p;
    for (uint32_t* px = &p.sixteen[0][0]; px < &p.one[16]; ++px) *px = kUntouched;
    uint32_t* rows[4] = {p.sixteen[0], p.sixteen[1], p.sixteen[2], p.sixteen[3]};
    c.toPixel16(eye, r.d, r.s, r.mask, rows);
    uint32_t* quad[4] = {&p.four[0], &p.four[1], &p.four[2], &p.four[3]};
    c.toPixel4(eye, r.d[0], r.s[0], r.mask[0], quad);
    for (int i = 0; i < 16; ++i) {
        const float d = r.d[i / 4][i % 4], s = r.s[i / 4][i % 4];
        c.toPixel(eye, &p.one[i], &d, &s);
    }
    return p;
}

// What a bundle lane must show given the one-ray pixel: the same, with 255 lowered to 254.
uint32_t bundleFromSingle(uint32_t px) {
    uint32_t out = 0xff000000u;
    for (int c = 0; c < 3; ++c) out |= uint32_t(std::min(channel(px, c), 254)) << (8 * c);
    return out;
}

// True when a shifted line lands exactly on some channel's lo or hi.
bool touchesRangeEnd(const ColDiscrete& col, const Eye& eye, float doppler) {
    for (int i = 0; i < col.count(); ++i) {
        const float w = col.wavelengths[i] * doppler;
        for (const EyeChannel& ch : eye.channel)
            if (w == ch.lo || w == ch.hi) return true;
    }
    return false;
}

ColDiscrete randomColour(std::mt19937& rng) {
    std::uniform_real_distribution<float> wl(50.0f, 1700.0f), in(-20.0f, 150.0f);
    ColDiscrete col;
    const int n = int(rng() % 7);
    for (int i = 0; i < n; ++i) col.addLine(wl(rng), in(rng));
    return col;
}

// Half of the rays at the Doppler factor 1, where the cache applies.
Rays randomRays(std::mt19937& rng) {
    std::uniform_real_distribution<float> dop(0.3f, 3.0f), shade(-0.5f, 1.5f);
    Rays r;
    for (int g = 0; g < 4; ++g) {
        for (int l = 0; l < 4; ++l) {
            r.d[g][l] = rng() % 2 ? 1.0f : dop(rng);
            r.s[g][l] = shade(rng);
        }
        r.mask[g] = LaneMask4::fromBits(int(rng() % 16));
    }
    return r;
}

}  // namespace

TEST(ColDiscreteForms, LanesMatchSingleRaysAndPreparedMatchesUnprepared) {
    std::mt19937 rng(777);
    const unsigned csr = _mm_getcsr();
    for (int trial = 0; trial < 600; ++trial) {
        const ColDiscrete plain = randomColour(rng);
        ColDiscrete prepared = plain;
        const Eye& eye = eyePresets()[trial % eyePresets().size()].eye;
        prepared.prepareShading(eye);
        const Rays rays = randomRays(rng);
        const Pixels p = convert(plain, eye, rays);
        for (int g = 0; g < 4; ++g)
            for (int l = 0; l < 4; ++l) {
                const uint32_t lane = p.sixteen[g][l];
                SCOPED_TRACE(testing::Message() << "trial " << trial << " ray " << 4 * g + l);
                if (!rays.mask[g].lane(l)) {
                    ASSERT_EQ(lane, kUntouched) << "unmasked lane written";
                    if (g == 0) {
                        ASSERT_EQ(p.four[l], kUntouched);
                    }
                    continue;
                }
                if (touchesRangeEnd(plain, eye, rays.d[g][l])) continue;
                ASSERT_EQ(lane, bundleFromSingle(p.one[4 * g + l]));
                if (g == 0) {
                    ASSERT_EQ(p.four[l], lane);
                }
            }
        for (unsigned rounding : {_MM_ROUND_NEAREST, _MM_ROUND_DOWN, _MM_ROUND_UP}) {
            _mm_setcsr((csr & ~_MM_ROUND_MASK) | rounding);
            const bool same = convert(prepared, eye, rays) == convert(plain, eye, rays);
            _mm_setcsr(csr);
            EXPECT_TRUE(same) << trial << " rounding " << rounding;
        }
    }
}

// A colour changed in place or copied onto other lines without a new preparation, or converted
// for another eye, still converts as an unprepared one.
TEST(ColDiscreteForms, AnotherEyeOrChangedLinesBypassTheCache) {
    std::mt19937 rng(4);
    const Eye humans = eyePresets()[3].eye;
    for (int k = 0; k < 50; ++k) {
        const Rays rays = randomRays(rng);
        ColDiscrete c = randomColour(rng);
        c.addLine(500.0f, 80.0f);
        c.prepareShading(defaultEye());
        ColDiscrete plain = c;
        EXPECT_TRUE(convert(c, humans, rays) == convert(plain, humans, rays));
        c.wavelengths[0] += 37.0f;
        plain.wavelengths[0] += 37.0f;
        EXPECT_TRUE(convert(c, defaultEye(), rays) == convert(plain, defaultEye(), rays));
        c.addLine(640.0f, 90.0f);
        plain.addLine(640.0f, 90.0f);
        EXPECT_TRUE(convert(c, defaultEye(), rays) == convert(plain, defaultEye(), rays));
        ColDiscrete copied = c, other = randomColour(rng);
        copied.wavelengths = other.wavelengths;
        copied.intensities = other.intensities;
        EXPECT_TRUE(convert(copied, defaultEye(), rays) == convert(other, defaultEye(), rays));
    }
}
