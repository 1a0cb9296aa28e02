#include "device/platform_detection.h"

#include "slotpush.h"

// Drive discovery is not built yet: no drive is chosen, so the run ends at the front end.
void choose_drive() {}
