// The process-wide speed-unit switches.
#include "ui/speedunits.h"

std::atomic<bool> showSpeedKm{true};
std::atomic<bool> showSpeedLight{false};
