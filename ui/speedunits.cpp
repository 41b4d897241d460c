// The process-wide speed-unit flags.
#include "ui/speedunits.h"

bool showSpeedKm = true;
bool showSpeedLight = false;
