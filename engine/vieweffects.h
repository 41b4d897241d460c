// Which settings a view renders with. Each view can force an effect on or off, or follow the
// document; a view that overrides anything renders from a private copy of the document's
// settings (which keeps its own background, as every settings assignment does).
#pragma once

#include <cstdint>
#include <memory>

#include "scene/rendersettings.h"

enum class EffectChoice { Enable, Disable, UseParent };

struct ViewEffects {
    EffectChoice aberration = EffectChoice::UseParent;
    EffectChoice doppler = EffectChoice::UseParent;
    // Searchlight (relativistic beaming): enabling it where the document has it off uses
    // searchlightExponent (3 or 4; by default the received-energy exponent 4).
    EffectChoice searchlight = EffectChoice::UseParent;
    int8_t searchlightExponent = 4;
    // Moving bodies seen by the light that reaches the eye now, or as the scene frame's snapshot.
    EffectChoice lightTravelTime = EffectChoice::UseParent;
    // The stars at infinity behind the scene.
    EffectChoice starrySky = EffectChoice::UseParent;
    // Light bent by the black hole: views side by side with and without the lensing.
    EffectChoice lightBending = EffectChoice::UseParent;
};

// Returns the document's settings when no choice overrides them; otherwise fills own (created on
// first need and kept) from the document and applies the overrides, and returns it.
RenderSettings* chooseViewSettings(RenderSettings& document, const ViewEffects& effects,
                                   std::unique_ptr<RenderSettings>& own);
