// Spectrum-to-pixel conversion with the light response: searchlight beaming (1/D)^k, exposure
// and the CIE eye. ColDiscrete hands its conversions here when the eye asks for any of them;
// the plain conversion stays untouched otherwise.
#pragma once

#include <cstdint>

#include "geometry/vec4f.h"

class ColDiscrete;
struct Eye;

class LightShading {
public:
    // Same contracts as the ColDiscrete forms (one ray clamps at 255, lanes at 254.9). Reads the
    // colour's spectrum table for the eye when it was prepared, else computes line by line. Any
    // render thread; allocates nothing.
    static void toPixel(const ColDiscrete& color, const Eye& eye, uint32_t* out, float doppler,
                        float shade);
    static void toPixel4(const ColDiscrete& color, const Eye& eye, const Vec4f& doppler,
                         const Vec4f& shade, LaneMask4 mask, uint32_t* const pixels[4]);
    // Four groups of four lanes, group g's pixels at rows[g] .. rows[g] + 3 (as ColDiscrete).
    static void toPixel16(const ColDiscrete& color, const Eye& eye, const Vec4f doppler[4],
                          const Vec4f shade[4], const LaneMask4 mask[4], uint32_t* const rows[4]);
    // Adds the unshaded sums times the exposure (CIE eye: 255 x linear sRGB, no curve).
    static void accumulate(const ColDiscrete& color, const Eye& eye, float doppler, float sums[3]);

    // The pixel from unshaded sums: shading factor, exposure, and for the CIE eye gamut clipping
    // and the sRGB curve; channels clamped to [0, maxChannel] and truncated.
    static uint32_t finish(const Eye& eye, const float sums[3], float shade, float maxChannel);
    // finish for four lanes: out[l] equals finish of lane l for finite sums and shades.
    static void finish4(const Eye& eye, const Vec4f sums[3], const Vec4f& shade, float maxChannel,
                        uint32_t out[4]);
};
