// Preparing the colours' shading entries between frames.
#include "scene/lighttablecache.h"

#include "scene/coldiscrete.h"
#include "scene/eye.h"

LightTableCache::~LightTableCache() = default;

void LightTableCache::clear() {
    for (Entry& entry : entries) entry = Entry();
}

LightTableCache::Entry& LightTableCache::entryToPrepare(uint64_t eyeKey, uint64_t lines) {
    ++clock;
    Entry* target = nullptr;
    for (Entry& entry : entries)
        if (entry.eyeKey == eyeKey) target = &entry;
    if (target && target->lines != lines) *target = Entry();  // stale lines: start again
    if (!target) {
        target = &entries[0];
        for (Entry& entry : entries) {
            if (entry.eyeKey == 0) {
                target = &entry;
                break;
            }
            if (entry.used < target->used) target = &entry;
        }
        *target = Entry();
    }
    target->eyeKey = eyeKey;
    target->lines = lines;
    target->used = clock;
    return *target;
}

void LightTableCache::prepare(const ColDiscrete& color, const Eye& eye) {
    if (eye.lightKey == 0) return;  // never found: see factorOne
    Entry& entry = entryToPrepare(eye.lightKey, SpectrumTable::linesHash(color));
    if (!entry.table) entry.table = std::make_unique<SpectrumTable>(color, eye);
}

void LightTableCache::keepFactorOne(const ColDiscrete& color, const Eye& eye,
                                    const FactorOneSums& sums) {
    if (eye.lightKey == 0) return;
    Entry& entry = entryToPrepare(eye.lightKey, SpectrumTable::linesHash(color));
    entry.factorOne = sums;
    entry.hasFactorOne = true;
}

void LightTableCache::prepareAll(const std::vector<ColDiscrete*>& colors, const Eye& eye) {
    for (ColDiscrete* color : colors)
        if (color) color->prepareShading(eye);
}
