// Moving one disk image between an image file and one volume slot of the card.
#pragma once

#include <cstdint>
#include <span>

#include "device/card.h"
#include "device/outcome.h"
#include "transfer/slot_layout.h"

// The transfer the front end starts: source "FLASH" reads the volume's slot back into the file
// named by destination; destination "FLASH" writes the image file source into that slot. A
// volume past the card's end, where the card tells its size, is refused before the card is
// read or written.
Outcome copy_volume(const Card& card, const char* source, const char* destination,
                    uint32_t volume_number);

// The raw bytes of the volume's slot, read through one open of the card; none, with outcome
// saying why, when the card does not open, the slot lies past its end or cannot be read.
Buffer read_slot(const Card& card, uint32_t slot_index, Outcome& outcome);

// The image file at path as a write puts it on the card: a track dump converted into its sector
// dump, the volume widened to 1600 sectors. None, with outcome saying why, when it cannot be
// read or carries no volume signature.
Buffer prepare_image(const char* path, Outcome& outcome);
