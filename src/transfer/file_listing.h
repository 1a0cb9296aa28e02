// DIR: the files a TI disk holds, listed as the TI's own disk catalogue shows them.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/outcome.h"
#include "disk/directory.h"

// DIR: prints the directory of volume volume_number of the card, read with one open of the card
// and one read of the volume's slot. An empty or non-TI volume gets the catalogue's word for it
// and fails with RESULT_NO_SOURCE.
Outcome list_volume_files(const Card& card, uint32_t volume_number);

// DIR of an image file, read as a write would read it (a track dump as its sector dump, the
// volume widened to 1600 sectors), so that the disk is seen before it is written.
Outcome list_image_files(const char* path);
