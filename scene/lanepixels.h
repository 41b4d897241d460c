// Packing four lanes of channel sums into 8-bit pixels, the last step of every packet shading.
#pragma once

#include <cstdint>

#include "geometry/vec4f.h"

// Largest channel value of packet pixels: truncation then never gives more than 254.
constexpr float kLaneChannelMax = 254.9f;

// c0 | c1 << 8 | c2 << 16 | 0xff000000 per lane, each channel clamped to [0, maxChannel] (max
// with 0 first, so NaN gives 0) and truncated.
inline Vec4i packPixels(const Vec4f channel[3], float maxChannel) {
    const Vec4f zero(0.0f), limit(maxChannel);
    Vec4i px(int32_t(0xff000000u));
    for (int c = 0; c < 3; ++c)
        px = px | (Vec4i::truncate(min(max(channel[c], zero), limit)) << (8 * c));
    return px;
}
