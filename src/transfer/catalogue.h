// The catalogue of the card: what every volume holds, as the sector 0 of its disk says.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/outcome.h"

// Prints a header and a line for each volume from first to last (0: to the card's end): its
// disk's name, sectors, free sectors and protection, runs of empty slots as one line, a volume
// that cannot be read with the system's reason; then, where the card ends first, a line naming
// its last whole volume. Reads one sector per volume and writes nothing. Succeeds when the list
// ran to its end; fails when the card does not open, first lies past the card's end, or the
// first volume cannot be read.
Outcome list_volumes(const Card& card, uint32_t first, uint32_t last);
