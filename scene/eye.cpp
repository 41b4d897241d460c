// The eye presets: lo, peak and hi wavelengths (nm) of the red, green and blue channels.
#include "scene/eye.h"

#include <QCoreApplication>

namespace {

struct Band {
    float lo, peak, hi;
};

Eye eyeFromBands(const Band& red, const Band& green, const Band& blue) {
    Eye eye;
    eye.channel[0] = EyeChannel(red.lo, red.peak, red.hi);
    eye.channel[1] = EyeChannel(green.lo, green.peak, green.hi);
    eye.channel[2] = EyeChannel(blue.lo, blue.peak, blue.hi);
    return eye;
}

}  // namespace

bool operator==(const Eye& a, const Eye& b) {
    return a.kind == b.kind && a.channel[0] == b.channel[0] && a.channel[1] == b.channel[1] &&
           a.channel[2] == b.channel[2];
}

// FNV-1a over the curve floats, the kind and the exponent.
void Eye::updateLightKey() {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void* data, size_t n) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
    };
    for (const EyeChannel& ch : channel) {
        mix(ch.below, sizeof ch.below);
        mix(ch.above, sizeof ch.above);
        mix(&ch.lo, sizeof ch.lo);
        mix(&ch.peak, sizeof ch.peak);
        mix(&ch.hi, sizeof ch.hi);
    }
    mix(&kind, sizeof kind);
    mix(&beamingExponent, sizeof beamingExponent);
    lightKey = h;
}

Eye cieHumanEye() {
    Eye eye;
    eye.kind = EyeKind::Cie1931;
    return eye;
}

// "Default" puts its longest band on red; the other presets put the shortest band on red.
Eye defaultEye() { return eyeFromBands({500, 1100, 1500}, {300, 900, 1250}, {100, 500, 880}); }

const std::vector<EyePreset>& eyePresets() {
    static const std::vector<EyePreset> presets = {
        {QCoreApplication::translate("EditWavelength", "Default"), defaultEye()},
        {QCoreApplication::translate("EditWavelength", "Superwoman"),
         eyeFromBands({40, 300, 700}, {500, 800, 1200}, {1000, 1300, 1600})},
        {QCoreApplication::translate("EditWavelength", "Lindworms"),
         eyeFromBands({400, 500, 700}, {500, 700, 840}, {800, 1000, 1230})},
        {QCoreApplication::translate("EditWavelength", "Humans"),
         eyeFromBands({400, 500, 600}, {500, 600, 700}, {600, 700, 800})},
        {QCoreApplication::translate("EditWavelength", "Human (CIE 1931)"), cieHumanEye()},
    };
    return presets;
}
