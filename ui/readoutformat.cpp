// Fixed-length numbers of the status-bar read-outs.
//
// The general numeric format with 6 significant digits would suit a number read once, but the
// read-outs change with every frame: its length changes with the value ("0.5" against
// "0.123457"), and the digits jump back and forth. Each read-out therefore has a field of its own
// width, chosen from the range its values take.
#include "ui/readoutformat.h"

#include <algorithm>
#include <cmath>

namespace readout {
namespace {

constexpr ReadoutField kLightFraction{9, 6, false};  // |beta| < 1: "-0.999999"
constexpr ReadoutField kKmPerSecond{9, 1, false};    // |v| < 299792.5: "-299792.4"
constexpr ReadoutField kPosition{9, 3, false};       // "-1234.567", larger scenes lose decimals
constexpr ReadoutField kDirection{7, 4, false};      // "-0.7071"
constexpr ReadoutField kFrames{6, 1, false};         // "999.9"
constexpr ReadoutField kPixel{5, 0, false};          // "-9999": negative when dragged off
constexpr ReadoutField kFactor{9, 5, true};
constexpr ReadoutField kSeconds{9, 2, false};        // "-99999.99": a day and more          // "0.00012" .. "12345.67", then 1.2e+05

bool hasSignificantDigit(const QString& digits) {
    return std::any_of(digits.begin(), digits.end(),
                       [](QChar c) { return c >= QLatin1Char('1') && c <= QLatin1Char('9'); });
}

// The magnitude in fixed notation within room characters; empty when the integer part does not
// fit. Rounding can add a digit (9.96 -> "10.0"), hence the check of every candidate.
QString fixedDigits(double magnitude, int room, int maxDecimals) {
    for (int decimals = std::min(maxDecimals, room - 2); decimals >= 0; --decimals) {
        const QString digits = QString::number(magnitude, 'f', decimals);
        if (digits.size() <= room) return digits;
    }
    return {};
}

// The magnitude as "1.23e+05" within room characters, with as many mantissa decimals as fit.
QString scientificDigits(double magnitude, int room) {
    for (int decimals = room; decimals >= 0; --decimals) {
        const QString digits = QString::number(magnitude, 'e', decimals);
        if (digits.size() <= room) return digits;
    }
    return {};
}

QString padded(QString text, int width) {
    if (text.size() < width) text.prepend(QString(width - text.size(), kFigureSpace));
    return text;
}

}  // namespace

QString number(double value, const ReadoutField& field) {
    const int room = field.width - 1;  // after the sign slot
    if (std::isnan(value)) return padded(QStringLiteral("nan"), field.width);
    const double magnitude = std::fabs(value);
    QString digits;
    if (std::isinf(value)) {
        digits = QStringLiteral("inf");
    } else {
        digits = fixedDigits(magnitude, room, field.maxDecimals);
        const bool tooSmall =
            magnitude > 0.0 && field.tinyAsScientific && !hasSignificantDigit(digits);
        if (digits.isEmpty() || tooSmall) {
            const QString scientific = scientificDigits(magnitude, room);
            if (!scientific.isEmpty()) digits = scientific;
        }
        if (digits.isEmpty()) return QString(field.width, QLatin1Char('#'));
    }
    // A value shown as zero has no sign: float noise around zero would make it flicker.
    const bool minus = value < 0.0 && (std::isinf(value) || hasSignificantDigit(digits));
    return padded((minus ? QStringLiteral("-") : QString(kFigureSpace)) + digits, field.width);
}

QString speed(float speed, bool lightUnits, bool kmUnits, float kmPerLightSecond) {
    QString text = QObject::tr("Speed: ");
    if (lightUnits) text += number(speed, kLightFraction) + QLatin1Char('c');
    if (kmUnits) {
        if (lightUnits) text += QStringLiteral(", ");
        const float km = speed * kmPerLightSecond;
        text += number(km, kKmPerSecond) + QStringLiteral("km/s");
    }
    return text;
}

namespace {
QString triple(float x, float y, float z, const ReadoutField& field) {
    return QLatin1Char('<') + number(x, field) + QLatin1Char(',') + number(y, field) +
           QLatin1Char(',') + number(z, field) + QLatin1Char('>');
}
}  // namespace

QString position(float x, float y, float z) { return triple(x, y, z, kPosition); }

QString direction(float x, float y, float z) { return triple(x, y, z, kDirection); }

QString framesPerSecond(double fps) { return number(fps, kFrames); }

QString pixel(int x, int y) {
    return QLatin1Char('<') + number(x, kPixel) + QLatin1Char(',') + number(y, kPixel) +
           QLatin1Char('>');
}

QString factor(double value) { return number(value, kFactor); }

QString observerTime(double seconds) {
    return QStringLiteral("t = ") + number(seconds, kSeconds) + QStringLiteral(" s");
}

}  // namespace readout
