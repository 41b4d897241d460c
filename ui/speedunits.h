// Units of the status bar's speed read-out: chosen in the render options dialog, read by the main
// window. GUI thread only.
#pragma once

extern bool showSpeedKm;     // speed in km/s; initially true
extern bool showSpeedLight;  // speed as a fraction of light speed; initially false
