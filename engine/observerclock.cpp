// The observer's time: a base time and the clock reading it was taken at.
#include "engine/observerclock.h"

#include <cmath>

double ObserverClock::time(int64_t nowMs) const {
    if (!isRunning()) return base;
    return base + double(nowMs - baseMs) / 1000.0;
}

bool ObserverClock::setTime(double t, int64_t nowMs) {
    if (!std::isfinite(t)) return false;
    base = t;
    baseMs = nowMs;
    return true;
}

void ObserverClock::setFrozen(bool on, int64_t nowMs) {
    if (on == frozen) return;
    base = time(nowMs);
    baseMs = nowMs;
    frozen = on;
}

void ObserverClock::hold(int64_t nowMs) {
    if (held) return;
    base = time(nowMs);
    baseMs = nowMs;
    held = true;
}

void ObserverClock::release(int64_t nowMs) {
    if (!held) return;
    baseMs = nowMs;
    held = false;
}
