// A colour as an emission spectrum: spectral lines (wavelength in nm, intensity) that every ray
// Doppler-shifts and weighs with the eye's three sensitivity curves to give its pixel.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "geometry/vec4f.h"
#include "scene/eye.h"
#include "scene/lighttablecache.h"

namespace Reader {
class PropertyList;
}

class ColDiscrete {
public:
    QString name;  // property "colname"
    // One entry per line in both vectors, always the same length (use addLine).
    std::vector<float> wavelengths;
    std::vector<float> intensities;

    // What the conversions read for the eyes this colour was prepared for (prepareShading);
    // copies start without it.
    LightTableCache lightTables;
    // Dense spectra (blackbody colours, hundreds of lines) shade through those tables with every
    // eye, not only on the light-response path: a look-up instead of hundreds of line sums, within
    // one level of them. Colours of a few lines keep the exact line-by-line sums.
    bool shadesByTable = false;

    ColDiscrete() = default;
    explicit ColDiscrete(const QString& name_) : name(name_) {}
    ColDiscrete(const ColDiscrete&) = default;
    ColDiscrete& operator=(const ColDiscrete&) = default;
    // Colours are held by base pointer in the colour collection (blackbody colours derive).
    virtual ~ColDiscrete() = default;
    // A new colour of the same class with the same fields.
    virtual ColDiscrete* clone() const { return new ColDiscrete(*this); }
    // Copies the fields of another colour; derived kinds also take over their own fields when
    // the other is of their kind. The edit dock's pending changes are applied through it.
    virtual void assignFrom(const ColDiscrete& other) { *this = other; }

    int count() const { return static_cast<int>(wavelengths.size()); }
    void addLine(float wavelength, float intensity);
    void clearLines();

    // "(w;i)" per line, numbers in 'g' format with 6 significant digits, no separators; a colour
    // without lines gives the empty text. Example: (600;1)(450;0.5).
    QString toSpectrumText() const;
    // Reads that text back. The part before the first "(" is ignored; a text without "(" gives no
    // lines. Every further part must hold exactly two numbers; otherwise nothing changes and the
    // result is false. The name is never touched.
    bool fromSpectrumText(const QString& text);

    // "wavelength" (the whole colour as spectrum text), then "colname".
    virtual void getProperties(Reader::PropertyList& list);

    // ---- shading; any render thread, reads only the colour and the eye

    // One ray: channel sums over the lines shifted by *doppler (range ends inclusive), times
    // *shade, clamped to [0, 255], truncated; bytes channel 0, 1, 2, 255 in memory order.
    void toPixel(const Eye& eye, uint32_t* out, const float* doppler, const float* shade) const;
    // Four rays, one per lane, ranges strict at lo and hi, clamped to [0, 254.9] so channels never
    // exceed 254. Writes *pixels[l] only for lanes set in mask (other pointers may be null).
    void toPixel4(const Eye& eye, const Vec4f& doppler, const Vec4f& shade, LaneMask4 mask,
                  uint32_t* const pixels[4]) const;
    // Sixteen rays in four groups as toPixel4: lane l of group g writes rows[g][l].
    void toPixel16(const Eye& eye, const Vec4f doppler[4], const Vec4f shade[4],
                   const LaneMask4 mask[4], uint32_t* const rows[4]) const;
    // Adds the three unshaded, unclamped channel sums of one ray (as toPixel) into sums.
    void accumulate(const Eye& eye, const float* doppler, float sums[3]) const;

    // Between frames only (no render thread running): prepares what the conversions read for
    // this eye, kept per eye so that views rendering with different eyes keep theirs. The
    // light-response path (takesLightPath) gets the spectrum table, the line-by-line path the
    // sums for a Doppler factor of exactly 1. A conversion with an eye this colour was not
    // prepared for, or under another floating-point control word, computes as usual, so the
    // preparation never changes a pixel. The lines must not change between a preparation and
    // the frames that use it; addLine, clearLines and fromSpectrumText drop what was prepared.
    void prepareShading(const Eye& eye);
    // Whether the conversions with this eye take the light-response path (LightShading): the
    // eye asks for searchlight, exposure or the CIE observer, or the spectrum is dense.
    bool takesLightPath(const Eye& eye) const { return eye.extended() || shadesByTable; }
};
