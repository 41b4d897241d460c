// Spectrum text and the spectrum-to-pixel conversion for one ray and for packets of 4 and 16.
#include "scene/coldiscrete.h"

#include <QStringList>

#include "scene/dataelem.h"
#include "scene/eye.h"
#include "scene/lightshading.h"

namespace {

// Largest channel value of bundle pixels: truncation then never gives more than 254.
constexpr float kLaneChannelMax = 254.9f;

// The eye broadcast to four lanes, built once per call on the stack.
struct alignas(16) EyeLanes {
    Vec4f below[3][4];
    Vec4f above[3][4];
    Vec4f lo[3], peak[3], hi[3];

    explicit EyeLanes(const Eye& eye) {
        for (int c = 0; c < 3; ++c) {
            const EyeChannel& ch = eye.channel[c];
            for (int k = 0; k < 4; ++k) {
                below[c][k] = Vec4f(ch.below[k]);
                above[c][k] = Vec4f(ch.above[k]);
            }
            lo[c] = Vec4f(ch.lo);
            peak[c] = Vec4f(ch.peak);
            hi[c] = Vec4f(ch.hi);
        }
    }
};

// Same operations in the same order as EyeChannel::cubic.
inline Vec4f cubic4(const Vec4f c[4], Vec4f w) { return ((c[3] * w + c[2]) * w + c[1]) * w + c[0]; }

// Channel sums of four rays. A cubic is evaluated only when some lane lies in its range; lanes
// outside every range add nothing, as a zero sensitivity does in the one-ray form.
inline void laneSums(const EyeLanes& eye, const float* wl, const float* in, int n, Vec4f doppler,
                     Vec4f sums[3]) {
    for (int i = 0; i < n; ++i) {
        const Vec4f w = Vec4f(wl[i]) * doppler;
        const Vec4f intensity(in[i]);
        for (int c = 0; c < 3; ++c) {
            const LaneMask4 rising = (w > eye.lo[c]) & (w < eye.peak[c]);
            const LaneMask4 falling = (w >= eye.peak[c]) & (w < eye.hi[c]);
            if (none(rising | falling)) continue;
            Vec4f s;
            if (any(rising)) s = select(rising, cubic4(eye.below[c], w), s);
            if (any(falling)) s = select(falling, cubic4(eye.above[c], w), s);
            sums[c] += s * intensity;
        }
    }
}

// Shading, clamping to [0, 254.9] (max first, so NaN becomes 0), truncation and packing into
// c0 | c1 << 8 | c2 << 16 | 0xff000000; written only for the masked lanes.
inline void writeLanes(const Vec4f sums[3], Vec4f shade, LaneMask4 mask, uint32_t* const* out) {
    const int bits = movemask(mask);
    if (bits == 0) return;
    __m128i ch[3];
    for (int c = 0; c < 3; ++c) {
        const Vec4f v = min(max(sums[c] * shade, Vec4f(0.0f)), Vec4f(kLaneChannelMax));
        ch[c] = _mm_cvttps_epi32(v);
    }
    const __m128i px =
        _mm_or_si128(_mm_or_si128(ch[0], _mm_slli_epi32(ch[1], 8)),
                     _mm_or_si128(_mm_slli_epi32(ch[2], 16), _mm_set1_epi32(int(0xff000000u))));
    alignas(16) uint32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), px);
    for (int l = 0; l < 4; ++l)
        if (bits & (1 << l)) *out[l] = lanes[l];
}

// One channel value of the one-ray form: 255 or more gives 255, negative (or NaN) gives 0,
// then truncation.
inline uint8_t channelByte(float v) {
    if (v >= 255.0f) return 255;
    if (!(v > 0.0f)) return 0;
    return static_cast<uint8_t>(static_cast<int>(v));
}

}  // namespace

void ColDiscrete::addLine(float wavelength, float intensity) {
    wavelengths.push_back(wavelength);
    intensities.push_back(intensity);
}

void ColDiscrete::clearLines() {
    wavelengths.clear();
    intensities.clear();
}

QString ColDiscrete::toSpectrumText() const {
    QString text;
    for (int i = 0; i < count(); ++i) {
        text += QLatin1Char('(') + QString::number(wavelengths[i], 'g', 6) + QLatin1Char(';') +
                QString::number(intensities[i], 'g', 6) + QLatin1Char(')');
    }
    return text;
}

bool ColDiscrete::fromSpectrumText(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('('), Qt::KeepEmptyParts);
    std::vector<float> newWavelengths, newIntensities;
    // parts[0] is whatever precedes the first "(" (all of the text when there is none).
    for (int p = 1; p < parts.size(); ++p) {
        QString part = parts[p];
        part.remove(QLatin1Char(')'));
        const QStringList numbers = part.split(QLatin1Char(';'), Qt::KeepEmptyParts);
        if (numbers.size() != 2) return false;
        bool okWavelength = false, okIntensity = false;
        const float w = numbers[0].toFloat(&okWavelength);
        const float i = numbers[1].toFloat(&okIntensity);
        if (!okWavelength || !okIntensity) return false;
        newWavelengths.push_back(w);
        newIntensities.push_back(i);
    }
    wavelengths.swap(newWavelengths);
    intensities.swap(newIntensities);
    return true;
}

void ColDiscrete::getProperties(Reader::PropertyList& list) {
    list.addColor(QStringLiteral("wavelength"), *this);
    list.addString(QStringLiteral("colname"), name);
}

void ColDiscrete::accumulate(const Eye& eye, const float* doppler, float sums[3]) const {
    if (eye.extended()) return LightShading::accumulate(*this, eye, *doppler, sums);  // light hook
    const float d = *doppler;
    const int n = count();
    const float* wl = wavelengths.data();
    const float* in = intensities.data();
    for (int i = 0; i < n; ++i) {
        const float w = wl[i] * d;
        for (int c = 0; c < 3; ++c) sums[c] += eye.channel[c].sensitivity(w) * in[i];
    }
}

void ColDiscrete::toPixel(const Eye& eye, uint32_t* out, const float* doppler,
                          const float* shade) const {
    if (eye.extended()) return LightShading::toPixel(*this, eye, out, *doppler, *shade);  // light hook
    float sums[3] = {0.0f, 0.0f, 0.0f};
    accumulate(eye, doppler, sums);
    uint8_t* bytes = reinterpret_cast<uint8_t*>(out);
    for (int c = 0; c < 3; ++c) bytes[c] = channelByte(sums[c] * *shade);
    bytes[3] = 255;
}

void ColDiscrete::toPixel4(const Eye& eye, const Vec4f& doppler, const Vec4f& shade, LaneMask4 mask,
                           uint32_t* const pixels[4]) const {
    if (none(mask)) return;
    if (eye.extended()) return LightShading::toPixel4(*this, eye, doppler, shade, mask, pixels);  // light hook
    const EyeLanes lanes(eye);
    Vec4f sums[3];
    laneSums(lanes, wavelengths.data(), intensities.data(), count(), doppler, sums);
    writeLanes(sums, shade, mask, pixels);
}

void ColDiscrete::toPixel16(const Eye& eye, const Vec4f doppler[4], const Vec4f shade[4],
                            const LaneMask4 mask[4], uint32_t* const rows[4]) const {
    if (none(mask[0] | mask[1] | mask[2] | mask[3])) return;
    if (eye.extended()) {  // light hook
        for (int g = 0; g < 4; ++g) {
            uint32_t* const pixels[4] = {rows[g], rows[g] + 1, rows[g] + 2, rows[g] + 3};
            LightShading::toPixel4(*this, eye, doppler[g], shade[g], mask[g], pixels);
        }
        return;
    }
    const EyeLanes lanes(eye);
    for (int g = 0; g < 4; ++g) {
        if (none(mask[g])) continue;
        Vec4f sums[3];
        laneSums(lanes, wavelengths.data(), intensities.data(), count(), doppler[g], sums);
        uint32_t* const pixels[4] = {rows[g], rows[g] + 1, rows[g] + 2, rows[g] + 3};
        writeLanes(sums, shade[g], mask[g], pixels);
    }
}
