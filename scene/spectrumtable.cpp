// Building and reading the per-colour, per-eye shading table.
#include "scene/spectrumtable.h"

#include <cmath>
#include <cstring>

#include "scene/cie1931.h"
#include "scene/coldiscrete.h"
#include "scene/eye.h"

namespace {

inline int32_t floatBits(float f) {
    int32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

inline float bitsFloat(int32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

constexpr float kWeightScale = 1.0f / float(1 << SpectrumTable::kShift);

}  // namespace

void SpectrumTable::direct(const ColDiscrete& color, const Eye& eye, float d, float sums[3]) {
    const double dd = d;
    const double beaming = eye.beamingExponent ? std::pow(1.0 / dd, eye.beamingExponent) : 1.0;
    double acc[3] = {0.0, 0.0, 0.0};
    const int n = color.count();
    if (eye.kind == EyeKind::Cie1931) {
        double xyz[3] = {0.0, 0.0, 0.0};
        for (int i = 0; i < n; ++i) {
            double m[3];
            Cie1931::matchFast(double(color.wavelengths[i]) * dd, m);
            for (int c = 0; c < 3; ++c) xyz[c] += m[c] * double(color.intensities[i]);
        }
        Cie1931::xyzToLinearSrgb(xyz, acc);
    } else {
        for (int i = 0; i < n; ++i) {
            const float w = color.wavelengths[i] * d;
            for (int c = 0; c < 3; ++c)
                acc[c] += double(eye.channel[c].sensitivity(w)) * double(color.intensities[i]);
        }
    }
    for (int c = 0; c < 3; ++c) sums[c] = float(acc[c] * beaming);
}

uint64_t SpectrumTable::linesHash(const ColDiscrete& color) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void* data, size_t n) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
    };
    mix(color.wavelengths.data(), color.wavelengths.size() * sizeof(float));
    mix(color.intensities.data(), color.intensities.size() * sizeof(float));
    const size_t n = color.wavelengths.size();
    mix(&n, sizeof n);
    return h;
}

SpectrumTable::SpectrumTable(const ColDiscrete& color, const Eye& eye)
    : key(eye.lightKey), lines(linesHash(color)), entries(kEntries) {
    for (int j = 0; j < kEntries; ++j) {
        const float d = bitsFloat(kLowBits + (int32_t(j) << kShift));
        float s[3];
        direct(color, eye, d, s);
        entries[j] = Vec4f(s[0], s[1], s[2], 0.0f);
    }
}

bool SpectrumTable::lookup(float d, float sums[3]) const {
    const int32_t b = floatBits(d);
    if (!(b >= kLowBits && b < kHighBits)) return false;
    const int32_t rel = b - kLowBits;
    const Vec4f& a = entries[rel >> kShift];
    const Vec4f& e = entries[(rel >> kShift) + 1];
    const float t = float(rel & ((1 << kShift) - 1)) * kWeightScale;
    for (int c = 0; c < 3; ++c) sums[c] = a[c] + t * (e[c] - a[c]);
    return true;
}

bool SpectrumTable::lookup4(const Vec4f& d, Vec4f sums[3]) const {
    const Vec4i b = Vec4i::bitsOf(d);
    if (any((b < Vec4i(kLowBits)) | (b > Vec4i(kHighBits - 1)))) return false;
    const Vec4i rel = b - Vec4i(kLowBits);
    alignas(16) int32_t index[4];
    (rel >> kShift).store(index);
    const Vec4f t = toFloat(rel & Vec4i((1 << kShift) - 1)) * Vec4f(kWeightScale);
    // Lane l's entries hold its channels across their components: transpose to channel rows.
    Vec4f a[4] = {entries[index[0]], entries[index[1]], entries[index[2]], entries[index[3]]};
    Vec4f e[4] = {entries[index[0] + 1], entries[index[1] + 1], entries[index[2] + 1],
                  entries[index[3] + 1]};
    transpose(a[0], a[1], a[2], a[3]);
    transpose(e[0], e[1], e[2], e[3]);
    for (int c = 0; c < 3; ++c) sums[c] = a[c] + t * (e[c] - a[c]);
    return true;
}
