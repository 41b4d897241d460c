// The CIE 1931 two-degree standard observer: colour-matching functions (the multi-lobe Gaussian
// fit of Wyman, Sloan and Shirley 2013), XYZ to linear sRGB, gamut clipping and the sRGB curve.
#pragma once

#include <cstdint>

#include "geometry/vec4f.h"

class Cie1931 {
public:
    // Shading units: a spectral line of intensity kUnit at the peak of y-bar (about 555 nm) has
    // luminance Y = 1, the white of the display.
    static constexpr double kUnit = 255.0;
    // Wavelength span outside which the matching functions are taken as 0 (they are below 1e-4).
    static constexpr double kLo = 360.0, kHi = 830.0;

    // The fit itself, wavelength in nm (any value; far outside the span it is 0).
    static double xBar(double nm);
    static double yBar(double nm);
    static double zBar(double nm);
    // The same from a table at 0.05 nm steps with linear interpolation (shading tables use it:
    // a fraction of the cost, agreeing with the fit to about 1e-5); 0 outside [kLo, kHi].
    static void matchFast(double nm, double xyz[3]);

    // CIE XYZ of an emission renderer without an illuminant: the equal-energy spectrum is the
    // white, so XYZ is first adapted from illuminant E to D65 (Bradford), then converted with the
    // standard sRGB matrix (IEC 61966-2-1). Equal-energy light gives R = G = B = Y.
    static void xyzToLinearSrgb(const double xyz[3], double rgb[3]);
    // Out-of-gamut colours: a negative channel is removed by mixing the colour with the grey of
    // the same luminance (Y = 0.2126 R + 0.7152 G + 0.0722 B, which the mix keeps) just until the
    // lowest channel is 0; no positive luminance gives black. Channels above 1 are then clipped
    // one by one, so very bright light burns towards white like film.
    static void clipToGamut(float rgb[3]);
    // The sRGB transfer curve of a linear value in [0, 1] (linear segment below 0.0031308).
    static double encode(double linear);
    // 255 x encode(linear) for linear in [0, 1] from a table with linear interpolation (within
    // 0.01 of a level); values outside [0, 1] are clamped first.
    static float encode255(float linear);
    // clipToGamut and encode255 for four lanes of the three channels at once, in place, each
    // lane's result equal to the one-lane form's for finite values. (Arrays rather than values:
    // a four-float value crosses the call as two halves and stalls on the way back together.)
    static void clipToGamut4(Vec4f rgb[3]);
    static void encode255x4(Vec4f rgb[3]);
};
