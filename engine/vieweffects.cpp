// The per-view override decision, kept free of widgets so that it can be tested on its own.
#include "engine/vieweffects.h"

namespace {
// A choice overrides the document only when it asks for the opposite of the document's state.
bool overrides(bool documentOn, EffectChoice choice) {
    return (!documentOn && choice == EffectChoice::Enable) ||
           (documentOn && choice == EffectChoice::Disable);
}
}  // namespace

RenderSettings* chooseViewSettings(RenderSettings& document, const ViewEffects& effects,
                                   std::unique_ptr<RenderSettings>& own) {
    const bool aberration = overrides(document.aberration, effects.aberration);
    const bool doppler = overrides(document.srtDoppler, effects.doppler);
    const bool searchlight = overrides(document.searchlight != 0, effects.searchlight);
    const bool lightTravelTime = overrides(document.lightTravelTime, effects.lightTravelTime);
    const bool starrySky = overrides(document.starrySky, effects.starrySky);
    const bool lightBending = overrides(document.lightBending, effects.lightBending);
    if (!aberration && !doppler && !searchlight && !lightTravelTime && !starrySky && !lightBending)
        return &document;

    if (!own) own = std::make_unique<RenderSettings>();
    *own = document;
    if (aberration) own->aberration = effects.aberration == EffectChoice::Enable;
    if (doppler) own->srtDoppler = effects.doppler == EffectChoice::Enable;
    if (lightTravelTime) own->lightTravelTime = effects.lightTravelTime == EffectChoice::Enable;
    if (starrySky) own->starrySky = effects.starrySky == EffectChoice::Enable;
    if (lightBending) own->lightBending = effects.lightBending == EffectChoice::Enable;
    if (searchlight)
        own->searchlight =
            effects.searchlight == EffectChoice::Enable ? effects.searchlightExponent : 0;
    own->syncLight();
    return own.get();
}
