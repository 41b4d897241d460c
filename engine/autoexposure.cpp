// Percentile of the brightest channel and the stop steps of the automatic exposure.
#include "engine/autoexposure.h"

#include <algorithm>
#include <cmath>

int AutoExposure::brightEnd(const uint32_t* pixels, int64_t count, uint32_t skip) {
    int64_t histogram[256] = {};
    int64_t counted = 0;
    for (int64_t i = 0; i < count; ++i) {
        const uint32_t p = pixels[i];
        if (p == skip) continue;
        const uint32_t m = std::max(p & 0xff, std::max((p >> 8) & 0xff, (p >> 16) & 0xff));
        ++histogram[m];
        ++counted;
    }
    if (counted == 0) return -1;
    const int64_t rank = int64_t(std::ceil(kPercentile * double(counted)));
    int64_t seen = 0;
    for (int v = 0; v < 256; ++v) {
        seen += histogram[v];
        if (seen >= rank) return v;
    }
    return 255;
}

float AutoExposure::next(float stops, int end, bool srgbEncoded) {
    if (end < 0) return stops;
    float step = 0.0f;
    if (end >= 254) {
        step = -kClippedStep;
    } else if (end > kHigh || end < kLow) {
        const double middle = 0.5 * (kLow + kHigh);
        const double ratio = middle / std::max(end, 1);
        step = float(std::log2(ratio) * (srgbEncoded ? 2.2 : 1.0));
    }
    step = std::clamp(step, -kMaxStep, kMaxStep);
    return std::clamp(stops + step, kMinStops, kMaxStops);
}
