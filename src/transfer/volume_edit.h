// A volume's own housekeeping: its disk renamed, a new empty disk made in it, or the volume
// emptied. Each writes the sectors it changes alone, through the card's claim, each read back.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/failure.h"
#include "disk/volume_header.h"
#include "transfer/volume_records.h"

enum class VolumeEdit : uint8_t {
    rename,  // NAME: the disk's name, sector 0
    format,  // FORMAT: a new, empty 1600-sector disk, sectors 0 and 1
    clear,   // CLEAR: sector 0 emptied, so that the catalogue calls the volume empty
};

// Changes volume as edit says; name (blank-padded, valid) for rename and format. A volume past
// the card's end and a PC's disk are refused as a write refuses them; rename refuses a volume
// that holds no TI disk. on_written says what the volume held and holds.
Result edit_volume(const Card& card, uint32_t volume, VolumeEdit edit,
                   const uint8_t (&name)[TI_NAME_BYTES], WrittenLine on_written);
