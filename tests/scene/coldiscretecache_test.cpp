// The colour's cached sums for a Doppler factor of 1: with the cache prepared, every form of the
// conversion gives exactly the pixels of an unprepared copy, also after the eye or the lines
// change without a new preparation (the cache is then not used).
#include <gtest/gtest.h>

#include <immintrin.h>

#include <cstring>
#include <random>

#include "scene/coldiscrete.h"
#include "scene/eye.h"

namespace {

struct Pixels {
    uint32_t one;
    uint32_t four[4];
    uint32_t sixteen[4][4];
    bool operator==(const Pixels& o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};

// Every form at Doppler factor 1 (and, for the lane forms, one lane at another factor too).
Pixels convert(const ColDiscrete& c, const Eye& eye, float otherFactor) {
    Pixels p;
    std::memset(&p, 0, sizeof p);
    const float one = 1.0f, shade = 0.8f;
    c.toPixel(eye, &p.one, &one, &shade);
    uint32_t* quad[4] = {&p.four[0], &p.four[1], &p.four[2], &p.four[3]};
    c.toPixel4(eye, Vec4f(1.0f), Vec4f(0.9f), LaneMask4(true), quad);
    const Vec4f d[4] = {Vec4f(1.0f), Vec4f(1.0f), Vec4f(1.0f, 1.0f, otherFactor, 1.0f),
                        Vec4f(1.0f)};
    const Vec4f s[4] = {Vec4f(1.0f), Vec4f(0.5f), Vec4f(0.7f), Vec4f(0.25f)};
    const LaneMask4 m[4] = {LaneMask4(true), LaneMask4::fromBits(5), LaneMask4(true),
                            LaneMask4(true)};
    uint32_t* rows[4] = {p.sixteen[0], p.sixteen[1], p.sixteen[2], p.sixteen[3]};
    c.toPixel16(eye, d, s, m, rows);
    return p;
}

ColDiscrete randomColor(std::mt19937& rng) {
    std::uniform_real_distribution<float> wl(300.0f, 1500.0f), in(0.0f, 300.0f);
    ColDiscrete c;
    const int n = 1 + int(rng() % 6);
    for (int i = 0; i < n; ++i) c.addLine(wl(rng), in(rng));
    return c;
}

}  // namespace

// Under the default rounding and under the render workers' rounding toward minus infinity
// (which changes the sums in their last bits).
TEST(ColDiscreteCache, PreparedColoursConvertExactlyAsUnprepared) {
    std::mt19937 rng(3);
    const unsigned csr = _mm_getcsr();
    for (int k = 0; k < 200; ++k) {
        const ColDiscrete plain = randomColor(rng);
        ColDiscrete prepared = plain;
        const Eye& eye = eyePresets()[k % eyePresets().size()].eye;
        prepared.prepareShading(eye);
        for (unsigned rounding : {_MM_ROUND_NEAREST, _MM_ROUND_DOWN, _MM_ROUND_UP}) {
            _mm_setcsr((csr & ~_MM_ROUND_MASK) | rounding);
            for (float other : {1.0f, 0.7f, 1.3f}) {
                const Pixels a = convert(prepared, eye, other), b = convert(plain, eye, other);
                EXPECT_TRUE(a == b) << k << " rounding " << rounding;
            }
            _mm_setcsr(csr);
        }
    }
}

// A cache made for another eye or for other lines is not used: a colour changed in place or
// copied onto other lines without a new preparation still converts as an unprepared one.
TEST(ColDiscreteCache, AnotherEyeOrChangedLinesBypassTheCache) {
    std::mt19937 rng(4);
    const Eye humans = eyePresets()[3].eye;
    for (int k = 0; k < 50; ++k) {
        ColDiscrete c = randomColor(rng);
        c.prepareShading(defaultEye());
        ColDiscrete plain = c;
        EXPECT_TRUE(convert(c, humans, 1.0f) == convert(plain, humans, 1.0f));
        c.wavelengths[0] += 37.0f;
        plain.wavelengths[0] += 37.0f;
        EXPECT_TRUE(convert(c, defaultEye(), 1.0f) == convert(plain, defaultEye(), 1.0f));
        c.addLine(640.0f, 90.0f);
        plain.addLine(640.0f, 90.0f);
        EXPECT_TRUE(convert(c, defaultEye(), 1.0f) == convert(plain, defaultEye(), 1.0f));
        ColDiscrete copied = c, other = randomColor(rng);
        copied.wavelengths = other.wavelengths;
        copied.intensities = other.intensities;
        EXPECT_TRUE(convert(copied, defaultEye(), 1.0f) == convert(other, defaultEye(), 1.0f));
    }
}
