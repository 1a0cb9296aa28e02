// The TI-99/4A image rules applied before an image goes into a slot: recognise and convert a
// single-density track dump, test the volume signature, widen the volume to 1600 sectors.
#pragma once

#include "disk/volume_header.h"
#include "transfer/slot_layout.h"
#include "transfer/volume_records.h"

// The sectors a track dump holds: 2 sides of 40 tracks of 9.
inline constexpr uint32_t TRACK_DUMP_SECTORS = 720;

// True when bytes 0-21 are zero and byte 22 is the ID address mark 0xFE.
bool is_track_dump(ConstImageView buffer);

// A new sector-dump image built from the records of a track dump, or none when no buffer can be
// obtained. Sectors no record names keep FILL_BYTE; records naming a sector outside the image
// are skipped.
Buffer convert_track_dump(ConstImageView track_dump);

// The same of a slot whose first device sector (the disk's sector 0, interleaved) is raw.
VolumeSummary summarise_slot(std::span<const uint8_t, DEVICE_SECTOR_BYTES> raw);

// The summary as a volume's lines name its disk.
DiskLabel label_of(const VolumeSummary& summary);

// A disk as the catalogue names it, for a line that is not the catalogue's: "empty", "not a TI
// disk", its name, or "a disk without a name"; "" where it could not be read.
const char* disk_text(const DiskLabel& label);
