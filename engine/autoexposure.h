// Automatic exposure: after each frame, moves the exposure (in stops) so that the bright end of
// the picture sits just below the 8-bit limit, within a few frames.
#pragma once

#include <cstdint>

class AutoExposure {
public:
    // The bright end is the kPercentile-th percentile of the pixels' largest channel (so a few
    // specular pixels may clip). Target band [kLow, kHigh] of that value.
    static constexpr double kPercentile = 0.99;
    static constexpr int kLow = 190, kHigh = 245;
    // Stops range the controller keeps to, and the largest step per frame.
    static constexpr float kMinStops = -16.0f, kMaxStops = 16.0f, kMaxStep = 3.0f;
    // Step down of a clipped picture (how far it clips is unknown): fast but not overshooting
    // by more than a factor of 4 in brightness.
    static constexpr float kClippedStep = 2.0f;

    // The bright-end value of count pixels (bytes R, G, B, A in memory order), ignoring pixels
    // equal to skip (the background). Returns -1 when no pixel counts.
    static int brightEnd(const uint32_t* pixels, int64_t count, uint32_t skip);

    // The exposure for the next frame from the current one and the bright end of the last frame:
    // clipped pictures step down by kClippedStep (the clipped amount is unknown), dark ones
    // step up by the ratio to the band's middle (sRGB-encoded values count as linear^(1/2.2)
    // when srgbEncoded); inside the band nothing changes.
    static float next(float stops, int brightEnd, bool srgbEncoded);
};
