// The light-response conversion: table look-up (or line-by-line sums), then shading, exposure,
// and for the CIE eye gamut clipping and the sRGB curve.
#include "scene/lightshading.h"

#include <algorithm>

#include "scene/cie1931.h"
#include "scene/coldiscrete.h"
#include "scene/eye.h"
#include "scene/spectrumtable.h"

namespace {

constexpr float kLaneChannelMax = 254.9f;

inline void unshaded(const ColDiscrete& color, const Eye& eye, float d, float sums[3]) {
    const SpectrumTable* table = color.lightTables.find(eye.lightKey);
    if (!table || !table->lookup(d, sums)) SpectrumTable::direct(color, eye, d, sums);
}

inline uint32_t byteOf(float v, float maxChannel) {
    // max first, so NaN becomes 0
    const float c = std::min(std::max(v, 0.0f), maxChannel);
    return uint32_t(int(c));
}

}  // namespace

uint32_t LightShading::finish(const Eye& eye, const float sums[3], float shade, float maxChannel) {
    const float scale = shade * eye.exposure;
    uint32_t px = 0xff000000u;
    if (eye.kind == EyeKind::Cie1931) {
        constexpr float kInvUnit = float(1.0 / Cie1931::kUnit);
        float rgb[3];
        for (int c = 0; c < 3; ++c) rgb[c] = sums[c] * scale * kInvUnit;
        Cie1931::clipToGamut(rgb);
        for (int c = 0; c < 3; ++c) px |= byteOf(Cie1931::encode255(rgb[c]), maxChannel) << (8 * c);
    } else {
        for (int c = 0; c < 3; ++c) px |= byteOf(sums[c] * scale, maxChannel) << (8 * c);
    }
    return px;
}

void LightShading::toPixel(const ColDiscrete& color, const Eye& eye, uint32_t* out, float doppler,
                           float shade) {
    float sums[3];
    unshaded(color, eye, doppler, sums);
    // Bytes channel 0, 1, 2, 255 in memory order (little-endian packing).
    const uint32_t px = finish(eye, sums, shade, 255.0f);
    uint8_t* bytes = reinterpret_cast<uint8_t*>(out);
    for (int c = 0; c < 4; ++c) bytes[c] = uint8_t(px >> (8 * c));
}

void LightShading::toPixel4(const ColDiscrete& color, const Eye& eye, const Vec4f& doppler,
                            const Vec4f& shade, LaneMask4 mask, uint32_t* const pixels[4]) {
    const int bits = movemask(mask);
    if (bits == 0) return;
    alignas(16) float lane[3][4];
    const SpectrumTable* table = color.lightTables.find(eye.lightKey);
    Vec4f sums[3];
    if (table && table->lookup4(doppler, sums)) {
        for (int c = 0; c < 3; ++c) _mm_store_ps(lane[c], sums[c].m);
    } else {
        for (int l = 0; l < 4; ++l) {
            if (!(bits & (1 << l))) continue;
            float s[3];
            unshaded(color, eye, doppler[l], s);
            for (int c = 0; c < 3; ++c) lane[c][l] = s[c];
        }
    }
    for (int l = 0; l < 4; ++l) {
        if (!(bits & (1 << l))) continue;
        const float s[3] = {lane[0][l], lane[1][l], lane[2][l]};
        *pixels[l] = finish(eye, s, shade[l], kLaneChannelMax);
    }
}

void LightShading::accumulate(const ColDiscrete& color, const Eye& eye, float doppler,
                              float sums[3]) {
    float s[3];
    unshaded(color, eye, doppler, s);
    for (int c = 0; c < 3; ++c) sums[c] += s[c] * eye.exposure;
}
