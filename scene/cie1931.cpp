// CIE 1931 matching functions, the E-to-D65 adapted sRGB conversion and the sRGB curve.
#include "scene/cie1931.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Piecewise Gaussian with different widths left and right of its centre (Wyman et al. 2013).
double lobe(double nm, double mu, double sigmaLeft, double sigmaRight) {
    const double t = (nm - mu) / (nm < mu ? sigmaLeft : sigmaRight);
    return std::exp(-0.5 * t * t);
}

using Mat3 = double[3][3];

void mul(const Mat3 a, const Mat3 b, Mat3 out) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) s += a[r][k] * b[k][c];
            out[r][c] = s;
        }
}

void invert(const Mat3 m, Mat3 out) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            out[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
}

// XYZ (white E) -> linear sRGB: the sRGB matrix times the Bradford adaptation E -> D65.
struct Conversion {
    Mat3 m;
    Conversion() {
        const Mat3 srgb = {{3.2404542, -1.5371385, -0.4985314},
                           {-0.9692660, 1.8760108, 0.0415560},
                           {0.0556434, -0.2040259, 1.0572252}};
        const Mat3 bradford = {
            {0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}};
        const double d65[3] = {0.95047, 1.0, 1.08883};
        Mat3 inv, scale = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, t1, adapt;
        invert(bradford, inv);
        for (int r = 0; r < 3; ++r) {
            // Cone response of D65 over that of E = (1, 1, 1).
            double dst = 0.0, src = 0.0;
            for (int k = 0; k < 3; ++k) {
                dst += bradford[r][k] * d65[k];
                src += bradford[r][k];
            }
            scale[r][r] = dst / src;
        }
        mul(scale, bradford, t1);
        mul(inv, t1, adapt);
        mul(srgb, adapt, m);
    }
};

const Conversion& conversion() {
    static const Conversion c;
    return c;
}

constexpr double kMatchStep = 0.05;
constexpr int kMatchCount = int((Cie1931::kHi - Cie1931::kLo) / kMatchStep) + 2;

struct MatchTable {
    std::vector<double> v;  // x, y, z per entry
    MatchTable() : v(3 * kMatchCount) {
        for (int i = 0; i < kMatchCount; ++i) {
            const double nm = Cie1931::kLo + i * kMatchStep;
            v[3 * i] = Cie1931::xBar(nm);
            v[3 * i + 1] = Cie1931::yBar(nm);
            v[3 * i + 2] = Cie1931::zBar(nm);
        }
    }
};

const MatchTable& matchTable() {
    static const MatchTable t;
    return t;
}

constexpr int kEncodeSteps = 4096;

struct EncodeTable {
    float v[kEncodeSteps + 2];
    EncodeTable() {
        for (int i = 0; i <= kEncodeSteps; ++i)
            v[i] = float(255.0 * Cie1931::encode(double(i) / kEncodeSteps));
        v[kEncodeSteps + 1] = v[kEncodeSteps];
    }
};

const EncodeTable encodeTable;

}  // namespace

double Cie1931::xBar(double nm) {
    return 1.056 * lobe(nm, 599.8, 37.9, 31.0) + 0.362 * lobe(nm, 442.0, 16.0, 26.7) -
           0.065 * lobe(nm, 501.1, 20.4, 26.2);
}

double Cie1931::yBar(double nm) {
    return 0.821 * lobe(nm, 568.8, 46.9, 40.5) + 0.286 * lobe(nm, 530.9, 16.3, 31.1);
}

double Cie1931::zBar(double nm) {
    return 1.217 * lobe(nm, 437.0, 11.8, 36.0) + 0.681 * lobe(nm, 459.0, 26.0, 13.8);
}

void Cie1931::matchFast(double nm, double xyz[3]) {
    if (!(nm >= kLo && nm < kHi)) {
        xyz[0] = xyz[1] = xyz[2] = 0.0;
        return;
    }
    const double pos = (nm - kLo) / kMatchStep;
    const int i = int(pos);
    const double t = pos - i;
    const double* a = &matchTable().v[3 * i];
    for (int c = 0; c < 3; ++c) xyz[c] = a[c] + t * (a[c + 3] - a[c]);
}

void Cie1931::xyzToLinearSrgb(const double xyz[3], double rgb[3]) {
    const Conversion& c = conversion();
    for (int r = 0; r < 3; ++r)
        rgb[r] = c.m[r][0] * xyz[0] + c.m[r][1] * xyz[1] + c.m[r][2] * xyz[2];
}

void Cie1931::clipToGamut(float rgb[3]) {
    const float lowest = std::min(rgb[0], std::min(rgb[1], rgb[2]));
    if (lowest < 0.0f) {
        const float y = 0.2126f * rgb[0] + 0.7152f * rgb[1] + 0.0722f * rgb[2];
        if (!(y > 0.0f)) {
            rgb[0] = rgb[1] = rgb[2] = 0.0f;
            return;
        }
        const float t = y / (y - lowest);
        for (int c = 0; c < 3; ++c) rgb[c] = std::max(0.0f, y + t * (rgb[c] - y));
    }
    for (int c = 0; c < 3; ++c) rgb[c] = std::min(rgb[c], 1.0f);
}

double Cie1931::encode(double linear) {
    if (linear <= 0.0031308) return 12.92 * linear;
    return 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

float Cie1931::encode255(float linear) {
    if (!(linear > 0.0f)) return 0.0f;
    if (linear >= 1.0f) return encodeTable.v[kEncodeSteps];
    const float pos = linear * kEncodeSteps;
    const int i = int(pos);
    const float t = pos - float(i);
    return encodeTable.v[i] + t * (encodeTable.v[i + 1] - encodeTable.v[i]);
}

void Cie1931::clipToGamut4(Vec4f rgb[3]) {
    // The operand order of every min and max is the one-lane form's (std::min(a, b) is
    // b < a ? b : a), so ties and signed zeros come out the same.
    const Vec4f zero(0.0f), one(1.0f);
    const Vec4f lowest = min(min(rgb[2], rgb[1]), rgb[0]);
    const LaneMask4 clip = lowest < zero;
    if (any(clip)) {
        const Vec4f y = Vec4f(0.2126f) * rgb[0] + Vec4f(0.7152f) * rgb[1] + Vec4f(0.0722f) * rgb[2];
        const LaneMask4 lit = y > zero;
        const Vec4f t = y / (y - lowest);
        for (int c = 0; c < 3; ++c) {
            const Vec4f pulled = max(y + t * (rgb[c] - y), zero);
            rgb[c] = select(clip, select(lit, pulled, zero), rgb[c]);
        }
    }
    for (int c = 0; c < 3; ++c) rgb[c] = min(one, rgb[c]);
}

void Cie1931::encode255x4(Vec4f rgb[3]) {
    const Vec4f zero(0.0f), steps = Vec4f(float(kEncodeSteps));
    const Vec4f top(encodeTable.v[kEncodeSteps]);
    for (int c = 0; c < 3; ++c) {
        const Vec4f linear = rgb[c];
        const Vec4f pos = min(max(linear * steps, zero), steps);
        alignas(16) int32_t index[4];
        const Vec4i i = Vec4i::truncate(pos);
        i.store(index);
        const Vec4f t = pos - toFloat(i);
        const float* v = encodeTable.v;
        const Vec4f a(v[index[0]], v[index[1]], v[index[2]], v[index[3]]);
        const Vec4f b(v[index[0] + 1], v[index[1] + 1], v[index[2] + 1], v[index[3] + 1]);
        const Vec4f r = select(linear >= Vec4f(1.0f), top, a + t * (b - a));
        rgb[c] = select(linear > zero, r, zero);
    }
}
