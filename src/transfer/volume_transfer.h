// Moving one disk image between an image file and one volume slot of the card.
#pragma once

#include <cstdint>
#include <span>

#include "device/outcome.h"
#include "transfer/slot_layout.h"

// The transfer the front end starts: source "FLASH" reads slot (volume - 1) back into the file
// named by destination; destination "FLASH" writes the image file source into that slot.
Outcome copy_volume(const char* source, const char* destination, uint32_t volume_number);

// The raw bytes of one slot, or none when the device read fails, with outcome saying why.
Buffer read_volume(uint32_t slot_index, Outcome& outcome);

// Interleaves image into a raw buffer twice its size and writes it at the slot's offset of the
// selected drive, through the family use_vwin32 names.
Outcome write_volume(std::span<const uint8_t> image, uint32_t slot_index);
