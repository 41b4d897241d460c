// One sensitivity curve of the eye: a smoothstep rise from lo to peak and a smoothstep fall to
// hi, stored as two cubics in the wavelength so that a sensitivity costs one test and one cubic.
#pragma once

struct EyeChannel {
    float below[4];  // c0..c3 of the rising cubic, used for lo <= w < peak
    float above[4];  // c0..c3 of the falling cubic, used for peak <= w <= hi
    float lo, peak, hi;

    // All coefficients and ends zero: a channel that sees nothing.
    EyeChannel();
    // Builds both cubics from the smoothstep s(x) = 3x^2 - 2x^3. lo = peak or peak = hi divides
    // by zero; callers keep the ends apart.
    EyeChannel(float lo, float peak, float hi);

    // Horner form; the lane kernels of ColDiscrete evaluate the same operations in the same
    // order, so single rays and bundles agree bit for bit inside the ranges.
    static float cubic(const float c[4], float w) {
        return ((c[3] * w + c[2]) * w + c[1]) * w + c[0];
    }

    // 0 outside [lo, hi], 1 at peak; both range ends are inclusive.
    float sensitivity(float w) const {
        if (w < lo || w > hi) return 0.0f;
        return cubic(w < peak ? below : above, w);
    }
};

bool operator==(const EyeChannel& a, const EyeChannel& b);
inline bool operator!=(const EyeChannel& a, const EyeChannel& b) { return !(a == b); }
