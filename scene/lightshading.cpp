// The light-response conversion: table look-up (or line-by-line sums), then shading, exposure,
// and for the CIE eye gamut clipping and the sRGB curve.
#include "scene/lightshading.h"

#include <algorithm>

#include "scene/cie1931.h"
#include "scene/coldiscrete.h"
#include "scene/eye.h"
#include "scene/lanepixels.h"
#include "scene/spectrumtable.h"

namespace {

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

void LightShading::finish4(const Eye& eye, const Vec4f sums[3], const Vec4f& shade,
                           float maxChannel, uint32_t out[4]) {
    const Vec4f scale = shade * Vec4f(eye.exposure);
    Vec4f v[3];
    if (eye.kind == EyeKind::Cie1931) {
        const Vec4f invUnit(float(1.0 / Cie1931::kUnit));
        for (int c = 0; c < 3; ++c) v[c] = sums[c] * scale * invUnit;
        Cie1931::clipToGamut4(v);
        Cie1931::encode255x4(v);
    } else {
        for (int c = 0; c < 3; ++c) v[c] = sums[c] * scale;
    }
    // byteOf per lane: max with 0 first, then the channel limit, then truncation.
    alignas(16) uint32_t px[4];
    packPixels(v, maxChannel).store(px);
    for (int l = 0; l < 4; ++l) out[l] = px[l];
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

namespace {

inline void lanes4(const SpectrumTable* table, const ColDiscrete& color, const Eye& eye,
                   const Vec4f& doppler, const Vec4f& shade, LaneMask4 mask,
                   uint32_t* const pixels[4]) {
    const int bits = movemask(mask);
    if (bits == 0) return;
    Vec4f sums[3];
    // Lanes without a hit may carry any factor (0 for a miss): look them up at 1 so that they
    // never send the hit lanes down the line-by-line path.
    if (!table || !table->lookup4(select(mask, doppler, Vec4f(1.0f)), sums)) {
        alignas(16) float lane[3][4] = {};
        for (int l = 0; l < 4; ++l) {
            if (!(bits & (1 << l))) continue;
            float s[3];
            unshaded(color, eye, doppler[l], s);
            for (int c = 0; c < 3; ++c) lane[c][l] = s[c];
        }
        for (int c = 0; c < 3; ++c) sums[c] = Vec4f::load(lane[c]);
    }
    alignas(16) uint32_t px[4];
    LightShading::finish4(eye, sums, shade, kLaneChannelMax, px);
    for (int l = 0; l < 4; ++l)
        if (bits & (1 << l)) *pixels[l] = px[l];
}

}  // namespace

void LightShading::toPixel4(const ColDiscrete& color, const Eye& eye, const Vec4f& doppler,
                            const Vec4f& shade, LaneMask4 mask, uint32_t* const pixels[4]) {
    lanes4(color.lightTables.find(eye.lightKey), color, eye, doppler, shade, mask, pixels);
}

void LightShading::toPixel16(const ColDiscrete& color, const Eye& eye, const Vec4f doppler[4],
                             const Vec4f shade[4], const LaneMask4 mask[4],
                             uint32_t* const rows[4]) {
    const SpectrumTable* table = color.lightTables.find(eye.lightKey);
    for (int g = 0; g < 4; ++g) {
        uint32_t* const pixels[4] = {rows[g], rows[g] + 1, rows[g] + 2, rows[g] + 3};
        lanes4(table, color, eye, doppler[g], shade[g], mask[g], pixels);
    }
}

void LightShading::accumulate(const ColDiscrete& color, const Eye& eye, float doppler,
                              float sums[3]) {
    float s[3];
    unshaded(color, eye, doppler, s);
    for (int c = 0; c < 3; ++c) sums[c] += s[c] * eye.exposure;
}
