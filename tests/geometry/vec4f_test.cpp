// The vector arc cosine against the exact value, in units of the last place of the float result;
// rounding to nearest on threads that round otherwise, against the processor's own conversion.
#include "geometry/vec4f.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

float floatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// |got - exact| in units of the last place of the float nearest exact (exact > 0 here).
double ulpError(float got, double exact) {
    const float nearest = float(exact);
    const double ulp = double(std::nextafter(nearest, INFINITY)) - double(nearest);
    return std::fabs(double(got) - exact) / ulp;
}

// Every 997th float of [-1, 1], the ends, and the points beside 0.5 where the formula changes;
// four different arguments per call, so that lanes cannot borrow from each other.
TEST(Vec4fAcos, WithinOnePointThreeUlpOfTheExactValueAcrossTheRange) {
    std::vector<float> xs;
    for (uint32_t bits = 0; bits <= 0x3f800000u; bits += 997) {
        xs.push_back(floatFromBits(bits));
        xs.push_back(-floatFromBits(bits));
    }
    for (float x : {1.0f, -1.0f, 0.0f, -0.0f, 0.5f, -0.5f})
        for (float y : {std::nextafter(x, -2.0f), x, std::nextafter(x, 2.0f)})
            if (std::fabs(y) <= 1.0f) xs.push_back(y);
    while (xs.size() % 4 != 0) xs.push_back(0.25f);
    double worst = 0.0;
    float worstAt = 0.0f;
    for (size_t i = 0; i < xs.size(); i += 4) {
        const Vec4f got = acos(Vec4f(xs[i], xs[i + 1], xs[i + 2], xs[i + 3]));
        for (int l = 0; l < 4; ++l) {
            const double error = ulpError(got[l], std::acos(double(xs[i + l])));
            if (error > worst) {
                worst = error;
                worstAt = xs[i + l];
            }
        }
    }
    EXPECT_LE(worst, 1.3) << "at " << worstAt;
    EXPECT_EQ(acos(Vec4f(1.0f)).x, 0.0f);
}

TEST(Vec4fAcos, ArgumentsOutsideTheRangeGiveNaN) {
    const Vec4f got = acos(Vec4f(1.0001f, -1.0001f, NAN, 0.5f));
    EXPECT_TRUE(std::isnan(got.x));
    EXPECT_TRUE(std::isnan(got.y));
    EXPECT_TRUE(std::isnan(got.z));
    EXPECT_FALSE(std::isnan(got.w));
}

uint32_t bitsOf(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// work() with the thread's control word set to round in mode.
template <class Work>
float inMode(unsigned mode, Work work) {
    const unsigned saved = _mm_getcsr();
    _mm_setcsr((saved & ~_MM_ROUND_MASK) | mode);
    const float result = work();
    _mm_setcsr(saved);
    return result;
}

// got(input) in each of the thread's four rounding modes against the processor's own operation
// rounding to nearest, the oracle, bit for bit; the first few differences are reported.
template <class T, class Got, class Oracle>
void expectNearestInEveryMode(const std::vector<T>& inputs, Got got, Oracle oracle) {
    for (unsigned mode : {_MM_ROUND_NEAREST, _MM_ROUND_DOWN, _MM_ROUND_UP, _MM_ROUND_TOWARD_ZERO}) {
        int wrong = 0;
        for (const T in : inputs) {
            const float expected = inMode(_MM_ROUND_NEAREST, [&] { return oracle(in); });
            const float result = inMode(mode, [&] { return got(in); });
            if (bitsOf(result) != bitsOf(expected) && wrong++ < 5)
                ADD_FAILURE() << "mode " << mode << ": " << std::hexfloat << in << " gave "
                              << result << ", not " << expected;
        }
        EXPECT_EQ(wrong, 0) << "mode " << mode;
    }
}

// Doubles between floats at every scale (subnormal to beyond the greatest), exact midpoints
// between neighbouring floats (ties, to the even one), the edge where rounding to nearest
// overflows, and the special values but NaN.
TEST(NearestFloat, MatchesTheConversionRoundingToNearestInEveryRoundingMode) {
    std::mt19937_64 rng(7);
    std::vector<double> qs = {0.0,
                              -0.0,
                              INFINITY,
                              -INFINITY,
                              1.0,
                              0x1.fffffep127,
                              0x1.ffffffp127,
                              -0x1.ffffffp127,
                              0x1.fffffefffffffp127,
                              -0x1.fffffefffffffp127,
                              0x1p-150,
                              0x1.0000000000001p-150,
                              0x1p-151,
                              3 * 0x1p-150};
    std::uniform_int_distribution<int> exponent(-160, 130);
    std::uniform_real_distribution<double> mantissa(1.0, 2.0);
    for (int i = 0; i < 20000; ++i) {
        const double q = std::ldexp(mantissa(rng), exponent(rng)) * (i % 2 ? -1.0 : 1.0);
        qs.push_back(q);
        // The midpoint between the floats around q (exact in a double), and beside it.
        const float lo = float(q), hi = std::nextafter(lo, q < 0 ? -INFINITY : INFINITY);
        if (std::isfinite(hi)) {
            const double mid = (double(lo) + double(hi)) / 2;
            qs.insert(qs.end(), {mid, std::nextafter(mid, 0.0), std::nextafter(mid, 1e300)});
        }
    }
    expectNearestInEveryMode(
        qs, [](double q) { return nearestFloat(q); },
        [](double q) {
            volatile double in = q;  // converted by the processor, not by the compiler
            return float(in);
        });
    for (unsigned mode : {_MM_ROUND_DOWN, _MM_ROUND_UP})
        EXPECT_TRUE(std::isnan(inMode(mode, [] { return nearestFloat(NAN); })));
}

// 1 / x over floats of every scale and sign, subnormals and powers of two among them.
TEST(NearestFloat, InverseMatchesTheDivisionRoundingToNearestInEveryRoundingMode) {
    std::mt19937 rng(11);
    std::vector<float> xs = {
        1.0f,     -1.0f, 0.5f,  3.0f,     0x1p-149f, 0x1p-127f, 0x1.fffffep127f,
        0x1p126f, 0.0f,  -0.0f, INFINITY, 0.1f,      0.3f,      7.0f};
    for (int i = 0; i < 100000; ++i) {
        const float x = floatFromBits(rng());
        if (std::isfinite(x)) xs.push_back(x);
    }
    expectNearestInEveryMode(
        xs, [](float x) { return inverseToNearest(x); },
        [](float x) {
            volatile float in = x;
            return 1.0f / in;
        });
}

}  // namespace
