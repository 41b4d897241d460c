// Units of the status bar's speed read-out, chosen in the render options and read by the main
// window: kilometres per second (on at start) and fractions of light speed (off at start).
#pragma once

#include <atomic>

extern std::atomic<bool> showSpeedKm;
extern std::atomic<bool> showSpeedLight;
