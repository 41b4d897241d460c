// Planck spectra as line colours.
#include "scene/colblackbody.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

#include "scene/cie1931.h"
#include "scene/dataelem.h"

namespace {

// Second radiation constant hc / k in nm K.
constexpr double kC2 = 1.438776877e7;

}  // namespace

ColBlackbody::ColBlackbody(const QString& name_, float kelvin, float lum)
    : ColDiscrete(name_), temperature(kelvin), luminance(lum) {
    regenerate();
}

double ColBlackbody::planck(double nm, double kelvin) {
    // In micrometres the values stay moderate (no 1e-14 factors) for any visible wavelength.
    const double l = nm * 1e-3;
    return 1.0 / (l * l * l * l * l * std::expm1(kC2 / (nm * kelvin)));
}

void ColBlackbody::regenerate() {
    shadesByTable = true;
    clearLines();
    lightTables.clear();
    scale = 0.0;
    if (!(temperature > 0.0f) || !std::isfinite(temperature)) return;
    // A scene file may name any temperature. Colder bodies than the dock accepts would need
    // infrared lines beyond single precision to reach their luminance, hotter ones look the
    // same: such files are drawn with the nearest temperature of the range (and saved as read).
    const double t = std::clamp(double(temperature), double(kMinTemperature),
                                double(kMaxTemperature));
    const int n = int((kLast - kFirst) / kStep) + 1;
    double y = 0.0;
    for (int i = 0; i < n; ++i) {
        const double nm = kFirst + i * double(kStep);
        y += Cie1931::yBar(nm) * planck(nm, t);
    }
    scale = y > 0.0 ? double(luminance) * Cie1931::kUnit / y : 0.0;
    for (int i = 0; i < n; ++i) {
        const double nm = kFirst + i * double(kStep);
        addLine(float(nm), float(scale * planck(nm, t)));
    }
}

void ColBlackbody::getProperties(Reader::PropertyList& list) {
    list.addFloat(QStringLiteral("temperature"), temperature)
        ->setEditorRange(kMinTemperature, kMaxTemperature,
                         QCoreApplication::translate(
                             "ColBlackbody", "Expected a temperature from 300 to 1000000 K"));
    list.addFloat(QStringLiteral("luminance"), luminance)
        ->setEditorRange(
            kMinLuminance, kMaxLuminance,
            QCoreApplication::translate("ColBlackbody", "Expected a luminance from 0 to 1000000"));
    list.addString(QStringLiteral("colname"), name);
}

void ColBlackbody::assignFrom(const ColDiscrete& other) {
    if (const auto* body = dynamic_cast<const ColBlackbody*>(&other)) {
        name = body->name;
        temperature = body->temperature;
        luminance = body->luminance;
        regenerate();
    } else {
        ColDiscrete::assignFrom(other);
    }
}
