// Number texts of the status-bar read-outs: each number takes the same number of characters
// whatever its value, so the digits stay in place while the value changes.
#pragma once

#include <QObject>
#include <QString>

// A field of characters for one number. The number is right-aligned and padded with figure
// spaces, which are as wide as a digit in the usual fonts; one slot before the digits holds
// the minus sign or a figure space, so a change of sign moves no digit.
struct ReadoutField {
    int width;        // characters, sign slot included
    int maxDecimals;  // decimals in fixed notation when the integer part leaves room for them
    // Whether a non-zero value too small to show a significant digit in fixed notation is shown
    // in scientific notation (factors such as the Doppler shift), or as zero (coordinates, where
    // the last bits of a float are noise).
    bool tinyAsScientific;
};

namespace readout {

inline const QChar kFigureSpace(0x2007);

// value in field: fixed notation with as many decimals as fit (at most maxDecimals), scientific
// notation when the integer part does not fit. Always exactly field.width characters; "#" in
// every place when not even scientific notation fits.
QString number(double value, const ReadoutField& field);

// The read-out texts of the main window, each of a fixed length for any value.

// "Speed: " then the fraction of light speed with "c" and/or the speed in km/s (speed times
// kmPerLightSecond) with "km/s", as the units flags choose, separated by ", ".
QString speed(float speed, bool lightUnits, bool kmUnits, float kmPerLightSecond);
// "<x,y,z>" for a position in scene units.
QString position(float x, float y, float z);
// "<x,y,z>" for a direction (components about unit size).
QString direction(float x, float y, float z);
// Frames per second.
QString framesPerSecond(double fps);
// "<x,y>" for a cursor position in pixels.
QString pixel(int x, int y);
// A positive factor that can get very large or very small (Doppler shift, brightness).
QString factor(double value);
// "t = " then the observer's time in seconds with two decimals, then " s".
QString observerTime(double seconds);

}  // namespace readout
