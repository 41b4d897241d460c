// Automatic exposure: the percentile against a brute-force sort, and a simulated camera whose
// linear scene brightness the controller brings into the target band within a few frames.
#include "engine/autoexposure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

TEST(AutoExposure, BrightEndIsThePercentileOfTheLargestChannel) {
    std::mt19937 rng(7);
    std::vector<uint32_t> px(1000);
    std::vector<int> maxima;
    const uint32_t background = 0xff141414u;
    for (auto& p : px) {
        p = rng() % 10 == 0 ? background : 0xff000000u | (rng() & 0xffffffu);
        if (p != background)
            maxima.push_back(int(std::max({p & 0xff, (p >> 8) & 0xff, (p >> 16) & 0xff})));
    }
    std::sort(maxima.begin(), maxima.end());
    const size_t rank = size_t(std::ceil(0.99 * double(maxima.size())));
    EXPECT_EQ(AutoExposure::brightEnd(px.data(), int64_t(px.size()), background), maxima[rank - 1]);
    EXPECT_EQ(AutoExposure::brightEnd(&background, 1, background), -1);
}

TEST(AutoExposure, SettlesIntoTheBandWithinAFewFrames) {
    // A linear camera: byte = min(255, brightness x 2^stops), over the searchlight's range.
    for (double brightness : {0.2, 3.0, 80.0, 400.0, 70000.0}) {
        float stops = 0.0f;
        int frames = 0, end = 0;
        for (; frames < 12; ++frames) {
            end = int(std::min(255.0, brightness * std::exp2(stops)));
            const float next = AutoExposure::next(stops, end, false);
            if (next == stops) break;
            stops = next;
        }
        EXPECT_LE(frames, 8) << brightness;
        EXPECT_GE(end, AutoExposure::kLow) << brightness;
        EXPECT_LE(end, AutoExposure::kHigh) << brightness;
    }
    EXPECT_EQ(AutoExposure::next(2.0f, -1, false), 2.0f);
    EXPECT_EQ(AutoExposure::next(AutoExposure::kMaxStops, 1, false), AutoExposure::kMaxStops);
}
