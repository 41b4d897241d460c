// Preparing the spectrum tables of the colours between frames.
#include "scene/lighttablecache.h"

#include "scene/coldiscrete.h"
#include "scene/eye.h"

LightTableCache::~LightTableCache() = default;

void LightTableCache::clear() {
    for (auto& entry : tables) entry.reset();
}

void LightTableCache::prepare(const ColDiscrete& color, const Eye& eye) {
    const uint64_t lines = SpectrumTable::linesHash(color);
    ++clock;
    int target = -1;
    for (int s = 0; s < kSlots; ++s) {
        if (tables[s] && tables[s]->eyeKey() == eye.lightKey) {
            if (tables[s]->colorHash() == lines) {
                used[s] = clock;
                return;
            }
            target = s;  // stale lines for this eye: rebuild in place
            break;
        }
    }
    if (target < 0) {
        target = 0;
        for (int s = 0; s < kSlots; ++s) {
            if (!tables[s]) {
                target = s;
                break;
            }
            if (used[s] < used[target]) target = s;
        }
    }
    tables[target].reset();
    tables[target] = std::make_unique<SpectrumTable>(color, eye);
    used[target] = clock;
}

void LightTableCache::prepareAll(const std::vector<ColDiscrete*>& colors, const Eye& eye) {
    for (ColDiscrete* color : colors)
        if (color && (eye.extended() || color->shadesByTable))
            color->lightTables.prepare(*color, eye);
}
