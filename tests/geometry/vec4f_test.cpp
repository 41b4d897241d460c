// The vector arc cosine against the exact value, in units of the last place of the float result.
#include "geometry/vec4f.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
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

}  // namespace
