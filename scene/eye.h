// The three-channel eye that turns a Doppler-shifted spectrum into red, green and blue, and the
// named eyes the eye editor offers.
#pragma once

#include <QString>
#include <vector>

#include "scene/eyechannel.h"

// Channel 0 goes to the pixel's red byte, 1 to green, 2 to blue.
struct Eye {
    EyeChannel channel[3];
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

// "Default", "Superwoman", "Lindworms", "Humans", in this order. Built on first use (thread-safe
// static); the names are translated then.
const std::vector<EyePreset>& eyePresets();
