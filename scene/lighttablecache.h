// The spectrum tables a colour keeps for the eyes it was last prepared for. Prepared between
// frames (the pool is idle), only read while a frame renders.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "scene/spectrumtable.h"

class ColDiscrete;
struct Eye;

class LightTableCache {
public:
    // Two tables: two views rendering alternately with different searchlight settings do not
    // rebuild each other's tables.
    static constexpr int kSlots = 2;

    LightTableCache() = default;
    // A copied or assigned colour starts without tables: its lines may differ.
    LightTableCache(const LightTableCache&) {}
    LightTableCache& operator=(const LightTableCache&) {
        clear();
        return *this;
    }
    ~LightTableCache();

    // The table for this eye key, or null. Any worker.
    const SpectrumTable* find(uint64_t eyeKey) const {
        for (const auto& entry : tables)
            if (entry && entry->eyeKey() == eyeKey) return entry.get();
        return nullptr;
    }

    // Makes sure a table for (color's current lines, eye) exists, building it in the least
    // recently prepared entry when not. Only while no frame renders with this colour.
    void prepare(const ColDiscrete& color, const Eye& eye);
    void clear();

    // prepare() for every colour, when the eye takes the light-response path.
    static void prepareAll(const std::vector<ColDiscrete*>& colors, const Eye& eye);

private:
    std::unique_ptr<SpectrumTable> tables[kSlots];
    uint64_t used[kSlots] = {0, 0};
    uint64_t clock = 0;
};
