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
