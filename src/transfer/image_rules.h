// The TI-99/4A image rules applied before an image goes into a slot: recognise and convert a
// single-density track dump, test the volume signature, widen the volume to 1600 sectors.
#pragma once

#include "device/outcome.h"
#include "transfer/slot_layout.h"

// True when bytes 0-21 are zero and byte 22 is the ID address mark 0xFE.
bool is_track_dump(ConstImageView buffer);

// A new sector-dump image built from the records of a track dump, or none when no buffer can be
// obtained. Sectors no record names keep FILL_BYTE; records naming a sector outside the image
// are skipped.
Buffer convert_track_dump(ConstImageView track_dump);

// True when bytes 13-15 of sector 0 read "DSK".
bool has_disk_signature(ConstImageView image);

// Sets the volume's total to 1600 sectors and marks every sector at or above the old total free.
void widen_to_1600_sectors(ImageView image);

// A 10-byte, blank-padded TI name (a disk's, a file's) as the catalogue shows it: trailing
// blanks dropped, a byte other than printable ASCII as '?'. True when it is text throughout and
// not blank.
bool show_name(const uint8_t* bytes, char (&name)[11]);

// What a volume's sector 0 says of the disk in it.
struct VolumeSummary {
    // not_a_disk: no "DSK" signature, and the sector holds more than one value.
    enum class Kind : uint8_t { disk, empty, not_a_disk } kind = Kind::not_a_disk;
    char name[11] = {};         // bytes 0-9, trailing blanks dropped, other than printable as '?'
    uint32_t sectors = 0;       // the total, bytes 10-11
    uint32_t free = 0;          // sectors up to the total whose bitmap bit is clear
    bool is_protected = false;  // byte 16 is 'P'
};
VolumeSummary summarise_volume(std::span<const uint8_t, IMAGE_SECTOR_BYTES> sector0);

// The same of a slot whose first device sector (the disk's sector 0, interleaved) is raw.
VolumeSummary summarise_slot(std::span<const uint8_t, DEVICE_SECTOR_BYTES> raw);

// The summary as an outcome carries it.
DiskLabel label_of(const VolumeSummary& summary);
