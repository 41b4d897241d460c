// One recorded state of the observer's flight: its moving frame, its speed, the time at which
// it was seen and the observer's own time then. The recorder owns each point in its own 16-byte aligned allocation.
#pragma once

#include "geometry/observerframe.h"

struct alignas(16) FlyPathPoint {
    ObserverFrame frame;
    // Seconds. While a point is handed to Recorder::addPoint it holds the clock reading; once
    // stored it holds film time (seconds from film time 0 of the recording).
    double time = 0.0;
    // Fraction of the speed of light.
    float speed = 0.0f;
    // The observer's scene-frame time T in seconds (the frame's start.w): a film replays the
    // times that were seen while recording, whether the clock ran, stood or was set.
    double observerTime = 0.0;
};
