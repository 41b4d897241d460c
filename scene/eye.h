// The three-channel eye that turns a Doppler-shifted spectrum into red, green and blue, and the
// named eyes the eye editor offers.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "scene/eyechannel.h"

// How an eye turns a spectrum into a pixel: three sensitivity curves whose sums are the channel
// values, or the CIE 1931 standard observer (XYZ, then linear sRGB and the sRGB curve).
enum class EyeKind : uint8_t { ThreeCurve = 0, Cie1931 = 1 };

// Channel 0 goes to the pixel's red byte, 1 to green, 2 to blue.
struct Eye {
    EyeChannel channel[3];  // the curves of a ThreeCurve eye; unused by the CIE eye
    EyeKind kind = EyeKind::ThreeCurve;

    // The light response of the frame (searchlight exponent and exposure), copied in from the
    // render settings by RenderSettings::syncLight() because shading sees only the eye. Neutral
    // by default; not part of the eye's identity (operator== ignores them).
    int8_t beamingExponent = 0;  // 0: no searchlight; 3: photon counting; 4: received energy
    float exposure = 1.0f;       // linear multiplier applied before the 8-bit clamp
    uint64_t lightKey = 0;       // fingerprint of curves, kind and exponent (spectrum tables)

    // True when shading must take the light-response path; false keeps the plain conversion
    // bit for bit.
    bool extended() const {
        return kind != EyeKind::ThreeCurve || beamingExponent != 0 || exposure != 1.0f;
    }
    // Recomputes lightKey from the curves, the kind and the exponent.
    void updateLightKey();
};

bool operator==(const Eye& a, const Eye& b);
inline bool operator!=(const Eye& a, const Eye& b) { return !(a == b); }

// Red 500/1100/1500, green 300/900/1250, blue 100/500/880 (lo/peak/hi in nm): the eye the render
// settings, the document and the eye editor start with.
Eye defaultEye();

struct EyePreset {
    QString name;  // translated in the context "EditWavelength"
    Eye eye;
};

// The CIE 1931 two-degree standard observer as an eye ("Human (CIE 1931)").
Eye cieHumanEye();

// "Default", "Superwoman", "Lindworms", "Humans" (three-curve eyes), then "Human (CIE 1931)". Built on first use (thread-safe
// static); the names are translated then.
const std::vector<EyePreset>& eyePresets();
