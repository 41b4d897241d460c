// The observer's scene-frame time T, in seconds: the time at which the observer sees the scene
// (RenderSettings::start.w of every frame). It either runs with a wall clock, one second of T
// per second, or stands still (frozen); it can be set to any finite time either way. A hold
// stops it without freezing it, while the live picture is held back (a menu or a modal dialog
// is open), so that the picture goes on where it stopped. Plain code on readings of a clock in
// milliseconds, so that it is tested without waiting.
#pragma once

#include <cstdint>

class ObserverClock {
public:
    // Frozen at T = 0 (a still picture unless someone starts it).
    ObserverClock() = default;

    // T at the clock reading nowMs.
    double time(int64_t nowMs) const;
    // T becomes t at nowMs and runs on from there unless frozen or held. False, and nothing
    // changed, when t is not finite.
    bool setTime(double t, int64_t nowMs);

    bool isFrozen() const { return frozen; }
    // Freezing keeps the time T has at nowMs; thawing lets it run on from there.
    void setFrozen(bool on, int64_t nowMs);

    bool isHeld() const { return held; }
    // Like freezing, but not the user's choice: releasing lets a running clock go on from the
    // time it had when it was held. Holding twice is holding once.
    void hold(int64_t nowMs);
    void release(int64_t nowMs);

    // Whether T changes with the wall clock right now.
    bool isRunning() const { return !frozen && !held; }

private:
    // T = base + (now - baseMs) / 1000 while running, else base.
    double base = 0.0;
    int64_t baseMs = 0;
    bool frozen = true;
    bool held = false;
};
