// What shading needs of one colour seen by one eye, precomputed over the Doppler factor: the
// three channel sums (searchlight included) on a grid that is uniform in log2 D, so that a dense
// spectrum costs one table look-up per ray instead of one evaluation per line.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/vec4f.h"

class ColDiscrete;
struct Eye;

class SpectrumTable {
public:
    // Grid: kStepsPerOctave entries per factor of 2 of D, for D in [2^-kOctaves, 2^kOctaves).
    // The entries sit at the floats whose low kShift mantissa bits are 0, so the index and the
    // interpolation weight come straight from the bits of D (no logarithm per ray). 256 steps per
    // octave keep the linear interpolation within about 1e-3 of the channel value for the
    // narrowest preset curves.
    static constexpr int kShift = 15;
    static constexpr int kStepsPerOctave = 1 << (23 - kShift);
    static constexpr int kOctaves = 8;
    static constexpr int32_t kLowBits = (127 - kOctaves) << 23;
    static constexpr int32_t kHighBits = (127 + kOctaves) << 23;
    static constexpr int kEntries = 2 * kOctaves * kStepsPerOctave + 1;

    // The unshaded sums at Doppler factor d, computed line by line in double: channel sums of a
    // three-curve eye, or 255 x linear sRGB of the CIE eye, each line times (1/d)^k of the eye's
    // searchlight exponent. Also the reference of the table and the path for d off the grid.
    static void direct(const ColDiscrete& color, const Eye& eye, float d, float sums[3]);
    // Fingerprint of a colour's lines.
    static uint64_t linesHash(const ColDiscrete& color);

    SpectrumTable(const ColDiscrete& color, const Eye& eye);

    uint64_t eyeKey() const { return key; }
    uint64_t colorHash() const { return lines; }

    // Interpolated sums at d; false (sums untouched) when d is off the grid, NaN or negative.
    bool lookup(float d, float sums[3]) const;
    // Four lanes at once: the channel sums per lane in sums[c]; false when any lane is off the
    // grid (the caller then takes the direct path for all four).
    bool lookup4(const Vec4f& d, Vec4f sums[3]) const;

private:
    uint64_t key;
    uint64_t lines;
    std::vector<Vec4f> entries;  // (sum0, sum1, sum2, 0) per grid point
};
