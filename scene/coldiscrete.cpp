// Spectrum text and the spectrum-to-pixel conversion for one ray and for packets of 4 and 16.
#include "scene/coldiscrete.h"

#include <QStringList>
#include <cmath>

#include "scene/dataelem.h"
#include "scene/eye.h"
#include "scene/lanepixels.h"
#include "scene/lightshading.h"

namespace {

// Same operations in the same order as EyeChannel::cubic.
inline Vec4f cubic4(const float c[4], Vec4f w) {
    return ((Vec4f(c[3]) * w + Vec4f(c[2])) * w + Vec4f(c[1])) * w + Vec4f(c[0]);
}

// Where the shifted wavelengths of every lane of a call lie for one channel: all on the rising
// cubic (lo < w < peak), all on the falling cubic (peak <= w < hi), all outside both, or mixed.
enum class Span : uint8_t { None, Rising, Falling, Mixed };

// [wLow, wHigh] bounds the lanes' shifted wavelengths. Both ranges are intervals, so a bound
// inside one puts every lane inside it; anything else is left to the per-lane masks.
inline Span spanOf(const EyeChannel& ch, float wLow, float wHigh) {
    if (wLow > ch.lo && wHigh < ch.peak) return Span::Rising;
    if (wLow >= ch.peak && wHigh < ch.hi) return Span::Falling;
    const bool ordered = ch.lo < ch.peak && ch.peak <= ch.hi;  // rising and falling adjoin
    if (ordered && (wHigh <= ch.lo || wLow >= ch.hi)) return Span::None;
    return Span::Mixed;
}

// Doppler factors of the groups a call shades: their smallest and largest lane values, and
// whether every lane holds a number (a NaN lane leaves every channel to the per-lane masks).
struct DopplerRange {
    float low, high;
    bool ordered;

    DopplerRange(const Vec4f* d, int count) {
        Vec4f lo = d[0], hi = d[0];
        LaneMask4 nan = isNan(d[0]);
        for (int k = 1; k < count; ++k) {
            lo = min(lo, d[k]);
            hi = max(hi, d[k]);
            nan |= isNan(d[k]);
        }
        low = laneMin(lo);
        high = laneMax(hi);
        ordered = none(nan);
    }
};

// Adds the channel sums of count groups of four rays (Doppler factors d[k]) into sums[k].
// Per lane this is the one-ray sum with the lane form's strict ranges: a line contributes the
// rising cubic for lo < w < peak and the falling cubic for peak <= w < hi. Where the range of
// the whole call puts every lane on one side, the masks are skipped; the arithmetic of each lane
// stays the same.
inline void laneSums(const Eye& eye, const float* wl, const float* in, int n, const Vec4f* d,
                     int count, const DopplerRange& range, Vec4f (*sums)[3]) {
    for (int i = 0; i < n; ++i) {
        const Vec4f intensity(in[i]);
        Vec4f w[4];
        for (int k = 0; k < count; ++k) w[k] = Vec4f(wl[i]) * d[k];
        const float w0 = wl[i] * range.low, w1 = wl[i] * range.high;
        const float wLow = minScalar(w0, w1), wHigh = maxScalar(w0, w1);  // NaN: Mixed
        for (int c = 0; c < 3; ++c) {
            const EyeChannel& ch = eye.channel[c];
            switch (range.ordered ? spanOf(ch, wLow, wHigh) : Span::Mixed) {
                case Span::None:
                    break;
                case Span::Rising:
                    for (int k = 0; k < count; ++k)
                        sums[k][c] += cubic4(ch.below, w[k]) * intensity;
                    break;
                case Span::Falling:
                    for (int k = 0; k < count; ++k)
                        sums[k][c] += cubic4(ch.above, w[k]) * intensity;
                    break;
                case Span::Mixed:
                    for (int k = 0; k < count; ++k) {
                        const LaneMask4 rising = (w[k] > Vec4f(ch.lo)) & (w[k] < Vec4f(ch.peak));
                        const LaneMask4 falling = (w[k] >= Vec4f(ch.peak)) & (w[k] < Vec4f(ch.hi));
                        if (none(rising | falling)) continue;
                        Vec4f s;
                        if (any(rising)) s = select(rising, cubic4(ch.below, w[k]), s);
                        if (any(falling)) s = select(falling, cubic4(ch.above, w[k]), s);
                        sums[k][c] += s * intensity;
                    }
                    break;
            }
        }
    }
}

// Shading and packing (packPixels); written only for the masked lanes.
inline void writeLanes(const Vec4f sums[3], Vec4f shade, LaneMask4 mask, uint32_t* const* out) {
    const int bits = movemask(mask);
    if (bits == 0) return;
    const Vec4f shaded[3] = {sums[0] * shade, sums[1] * shade, sums[2] * shade};
    alignas(16) uint32_t lanes[4];
    packPixels(shaded, kLaneChannelMax).store(lanes);
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
    lightTables.clear();
    wavelengths.push_back(wavelength);
    intensities.push_back(intensity);
}

void ColDiscrete::clearLines() {
    lightTables.clear();
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
    lightTables.clear();
    wavelengths.swap(newWavelengths);
    intensities.swap(newIntensities);
    return true;
}

void ColDiscrete::getProperties(Reader::PropertyList& list) {
    list.addColor(QStringLiteral("wavelength"), *this);
    list.addString(QStringLiteral("colname"), name);
}

// Every conversion below takes one of two paths, chosen per call by takesLightPath: the
// light-response path (LightShading, through the colour's table for the eye) or the line-by-line
// sums here, which read the prepared sums for the eye when every ray of the call has factor 1.

void ColDiscrete::accumulate(const Eye& eye, const float* doppler, float sums[3]) const {
    if (takesLightPath(eye)) {
        LightShading::accumulate(*this, eye, *doppler, sums);
        return;
    }
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
    if (takesLightPath(eye)) {
        LightShading::toPixel(*this, eye, out, *doppler, *shade);
        return;
    }
    float sums[3] = {0.0f, 0.0f, 0.0f};
    const FactorOneSums* one = *doppler == 1.0f ? lightTables.factorOne(eye.lightKey) : nullptr;
    const int set = one ? one->forCurrentControl() : -1;
    if (set >= 0) {
        for (int c = 0; c < 3; ++c) sums[c] = one->ray[set][c];
    } else {
        accumulate(eye, doppler, sums);
    }
    uint8_t* bytes = reinterpret_cast<uint8_t*>(out);
    for (int c = 0; c < 3; ++c) bytes[c] = channelByte(sums[c] * *shade);
    bytes[3] = 255;
}

TAVOLIN_HOT_KERNEL
void ColDiscrete::toPixel4(const Eye& eye, const Vec4f& doppler, const Vec4f& shade, LaneMask4 mask,
                           uint32_t* const pixels[4]) const {
    if (none(mask)) return;
    if (takesLightPath(eye)) {
        LightShading::toPixel4(*this, eye, doppler, shade, mask, pixels);
        return;
    }
    const DopplerRange range(&doppler, 1);
    const bool allOne = range.ordered && range.low == 1.0f && range.high == 1.0f;
    const FactorOneSums* one = allOne ? lightTables.factorOne(eye.lightKey) : nullptr;
    const int set = one ? one->forCurrentControl() : -1;
    if (set >= 0) {
        writeLanes(one->lane[set], shade, mask, pixels);
        return;
    }
    Vec4f sums[1][3];
    laneSums(eye, wavelengths.data(), intensities.data(), count(), &doppler, 1, range, sums);
    writeLanes(sums[0], shade, mask, pixels);
}

TAVOLIN_HOT_KERNEL
void ColDiscrete::toPixel16(const Eye& eye, const Vec4f doppler[4], const Vec4f shade[4],
                            const LaneMask4 mask[4], uint32_t* const rows[4]) const {
    if (none(mask[0] | mask[1] | mask[2] | mask[3])) return;
    if (takesLightPath(eye)) {
        LightShading::toPixel16(*this, eye, doppler, shade, mask, rows);
        return;
    }
    // The groups with pixels to write, packed to the front.
    int group[4];
    Vec4f d[4];
    int active = 0;
    for (int g = 0; g < 4; ++g) {
        if (none(mask[g])) continue;
        group[active] = g;
        d[active++] = doppler[g];
    }
    const DopplerRange range(d, active);
    Vec4f sums[4][3];
    // One Doppler factor for every lane (no Doppler effect, or speed 0): each lane's sums are
    // those of the first group, so they are computed once, or read when prepared.
    const bool shared = range.ordered && range.low == range.high;
    const Vec4f(*use)[3] = sums;
    const FactorOneSums* one =
        shared && range.low == 1.0f ? lightTables.factorOne(eye.lightKey) : nullptr;
    const int set = one ? one->forCurrentControl() : -1;
    if (set >= 0)
        use = &one->lane[set];
    else
        laneSums(eye, wavelengths.data(), intensities.data(), count(), d, shared ? 1 : active,
                 range, sums);
    for (int k = 0; k < active; ++k) {
        const int g = group[k];
        uint32_t* const pixels[4] = {rows[g], rows[g] + 1, rows[g] + 2, rows[g] + 3};
        writeLanes(use[shared ? 0 : k], shade[g], mask[g], pixels);
    }
}

namespace {

// The sums at factor 1 in both forms, under the current control word. Not inlined, so that no
// arithmetic moves across the control word changes around the call.
[[gnu::noinline]] void sumsAtOne(const Eye& e, const ColDiscrete& c, float ray[3], Vec4f lane[3]) {
    const float one = 1.0f;
    for (int k = 0; k < 3; ++k) ray[k] = 0.0f;
    c.accumulate(e, &one, ray);
    const Vec4f d(1.0f);
    Vec4f sums[1][3];
    laneSums(e, c.wavelengths.data(), c.intensities.data(), c.count(), &d, 1, DopplerRange(&d, 1),
             sums);
    for (int k = 0; k < 3; ++k) lane[k] = sums[0][k];
}

}  // namespace

void ColDiscrete::prepareShading(const Eye& e) {
    if (takesLightPath(e)) {
        lightTables.prepare(*this, e);
        return;
    }
    FactorOneSums sums;
    const uint32_t saved = fpControl();
    const uint32_t controls[2] = {saved & FactorOneSums::kControlBits,
                                  roundingDown(saved) & FactorOneSums::kControlBits};
    for (int k = 0; k < 2; ++k) {
        setFpControl(controls[k]);
        sums.control[k] = controls[k];
        sumsAtOne(e, *this, sums.ray[k], sums.lane[k]);
    }
    setFpControl(saved);
    lightTables.keepFactorOne(*this, e, sums);
}
