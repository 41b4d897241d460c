// A colour given by a temperature and a luminance: the Planck spectrum of a black body sampled
// as dense spectral lines, so that it Doppler-shifts like any other colour.
#pragma once

#include "scene/coldiscrete.h"

class ColBlackbody : public ColDiscrete {
public:
    // Lines every kStep nm from kFirst to kLast: from the near ultraviolet to the infrared that a
    // blue shift of 0.9c (D about 0.23) brings into view.
    static constexpr float kFirst = 200.0f, kLast = 3000.0f, kStep = 5.0f;

    // The values the edit dock accepts, and the temperatures the lines are made for (a file's
    // value outside is drawn with the nearest end). Below about 250 K the lines far in the
    // infrared, scaled to the asked luminance, overflow single precision; above 1e6 K the colour
    // no longer changes (the Rayleigh-Jeans limit) and the number is a typing slip.
    static constexpr float kMinTemperature = 300.0f, kMaxTemperature = 1.0e6f;
    static constexpr float kMinLuminance = 0.0f, kMaxLuminance = 1.0e6f;

    float temperature = 6500.0f;  // kelvin; property "temperature"
    // Relative luminance Y under the CIE eye at rest (1 = display white); property "luminance".
    float luminance = 1.0f;

    ColBlackbody() { regenerate(); }
    ColBlackbody(const QString& name_, float kelvin, float lum);

    // Planck's law: spectral radiance per nm (arbitrary fixed unit) at a wavelength in nm.
    static double planck(double nm, double kelvin);

    // Refills the lines from temperature and luminance: intensity = radianceScale() x planck().
    // A non-positive or non-finite temperature gives no lines.
    void regenerate();
    // The factor from planck() to line intensities chosen so that Y = luminance.
    double radianceScale() const { return scale; }

    // "temperature", "luminance", "colname"; the editor rows refuse values outside the ranges
    // above.
    void getProperties(Reader::PropertyList& list) override;

    ColDiscrete* clone() const override { return new ColBlackbody(*this); }
    // From another blackbody: name, temperature and luminance, then the lines are rebuilt; from
    // a plain colour: its lines and name as they are.
    void assignFrom(const ColDiscrete& other) override;

private:
    double scale = 0.0;
};
