// Moving one disk image between an image file and one volume slot of the card.
#pragma once

#include <cstdint>
#include <span>

#include "device/card.h"
#include "device/outcome.h"
#include "transfer/slot_layout.h"

// Writes the image file source into volume's slot (from 1). A volume past the card's end, where
// the card tells its size, is refused before the card is written.
Outcome write_volume_from(const Card& card, const char* source, uint32_t volume);

// Reads volume's slot back into the file destination: refused before anything is saved where
// the volume lies past the card's end, or destination names a device or the card itself.
Outcome read_volume_back(const Card& card, uint32_t volume, const char* destination);

// The raw bytes of the volume's slot, read through one open of the card; none, with outcome
// saying why, when the card does not open, the slot lies past its end or cannot be read.
Buffer read_slot(const Card& card, uint32_t volume, Outcome& outcome);

// The volume's disk: the slot read as read_slot reads it, its filler bytes dropped.
Buffer read_volume_image(const Card& card, uint32_t volume, Outcome& outcome);

// The image file at path as a write puts it on the card: a track dump converted into its sector
// dump, the volume widened to 1600 sectors. None, with outcome saying why, when it cannot be
// read or carries no volume signature.
Buffer prepare_image(const char* path, Outcome& outcome);
