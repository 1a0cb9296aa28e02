// The catalogue of the card: what every volume holds, as the sector 0 of its disk says.
#pragma once

#include <cstdint>
#include <optional>

#include "device/card.h"
#include "device/failure.h"
#include "disk/volume_header.h"
#include "function_ref.h"

// A volume of the catalogue: its disk's summary, or why its first sector could not be read.
struct CatalogueEntry {
    uint32_t volume = 0;
    VolumeSummary summary;
    DWORD error = NO_ERROR;
};

// What the catalogue's lines are told: the card opened (its whole volumes, where it tells its
// size), then each volume in turn.
struct CatalogueLines {
    FunctionRef<void(std::optional<uint32_t> whole_volumes)> opened;
    FunctionRef<void(const CatalogueEntry& entry)> volume;
};

// Reads one sector of each volume from first to last (0: to the card's end) through one open of
// the card, and writes nothing. ends_after names the last volume where the card ends first
// (else 0). Fails where the card does not open, first lies past its end (a line of its own), or
// a Ctrl-C stops the walk.
Result read_catalogue(const Card& card, uint32_t first, uint32_t last, const CatalogueLines& lines,
                      uint32_t& ends_after);
