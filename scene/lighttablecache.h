// What shading has prepared of one colour for the eyes it was last prepared for, one entry per
// eye: the spectrum table of the light-response path, or the channel sums at Doppler factor 1 of
// the line-by-line path. Written between frames (the pool is idle), only read while frames render,
// so the render threads look entries up without a lock.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/vec4f.h"
#include "scene/spectrumtable.h"

class ColDiscrete;
struct Eye;

// The line-by-line sums for a Doppler factor of exactly 1 (every ray of a frame at speed 0, or
// without the Doppler effect), in the one-ray and the lane form, under two floating-point control
// words: the preparing thread's and the render workers' (rounding toward minus infinity).
struct FactorOneSums {
    uint32_t control[2] = {0, 0};  // MXCSR control bits each set was computed under
    float ray[2][3] = {};
    Vec4f lane[2][3];

    // The set made under the calling thread's control word; -1 for none.
    int forCurrentControl() const {
        const uint32_t current = fpControl() & kControlBits;
        return current == control[0] ? 0 : current == control[1] ? 1 : -1;
    }
    // The control bits of MXCSR (rounding, flush to zero, masks); the low six are sticky flags.
    static constexpr uint32_t kControlBits = ~0x3fu;
};

class LightTableCache {
public:
    // Views of one window may each render with their own eye and effects; with an entry each
    // they do not rebuild each other's between frames.
    static constexpr int kSlots = 4;

    LightTableCache() = default;
    // A copied or assigned colour starts without entries: its lines may differ.
    LightTableCache(const LightTableCache&) {}
    LightTableCache& operator=(const LightTableCache&) {
        clear();
        return *this;
    }
    ~LightTableCache();

    // The table for this eye key, or null. Any worker.
    const SpectrumTable* find(uint64_t eyeKey) const {
        const Entry* entry = entryFor(eyeKey);
        return entry ? entry->table.get() : nullptr;
    }
    // The sums at factor 1 for this eye key, or null. Any worker. An eye key of 0 (an eye whose
    // fingerprint was never computed) matches nothing, so an unprepared eye is never taken for
    // another.
    const FactorOneSums* factorOne(uint64_t eyeKey) const {
        const Entry* entry = entryFor(eyeKey);
        return entry && entry->hasFactorOne ? &entry->factorOne : nullptr;
    }

    // Makes sure a table for (color's current lines, eye) exists, building it in the entry of
    // that eye or in the least recently prepared one. Only while no frame renders with this
    // colour.
    void prepare(const ColDiscrete& color, const Eye& eye);
    // Keeps the factor-1 sums of the color's current lines for this eye (same rules).
    void keepFactorOne(const ColDiscrete& color, const Eye& eye, const FactorOneSums& sums);
    void clear();

    // ColDiscrete::prepareShading for every colour: what the frame's conversions will read.
    static void prepareAll(const std::vector<ColDiscrete*>& colors, const Eye& eye);

private:
    struct Entry {
        uint64_t eyeKey = 0;  // 0: empty
        uint64_t lines = 0;   // SpectrumTable::linesHash when prepared
        uint64_t used = 0;
        std::unique_ptr<SpectrumTable> table;
        bool hasFactorOne = false;
        FactorOneSums factorOne;
    };

    const Entry* entryFor(uint64_t eyeKey) const {
        if (eyeKey == 0) return nullptr;
        for (const Entry& entry : entries)
            if (entry.eyeKey == eyeKey) return &entry;
        return nullptr;
    }
    // The entry for this eye with these lines, emptied first when its lines differ; the least
    // recently prepared one (emptied) when the eye has none.
    Entry& entryToPrepare(uint64_t eyeKey, uint64_t lines);

    Entry entries[kSlots];
    uint64_t clock = 0;
};
