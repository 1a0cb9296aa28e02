// Sector 0 of a TI disk, the volume information: the disk's name (bytes 0-9, blank-padded), its
// total of sectors (10-11, big-endian), its geometry (sectors per track 12, tracks per side 17,
// sides 18, density 19), the signature "DSK" (13-15), protection (16, 'P') and the allocation
// bitmap (56-255: sector n is bit n % 8 of byte 56 + n / 8, set when used).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "slotpush.h"

using Sector = std::span<const uint8_t, IMAGE_SECTOR_BYTES>;
using WritableSector = std::span<uint8_t, IMAGE_SECTOR_BYTES>;

inline constexpr size_t TI_NAME_BYTES = 10;

// The big-endian 16-bit number at bytes, as the disk holds its sector numbers and counts.
inline uint32_t be16(const uint8_t* bytes) {
    return uint32_t{bytes[0]} << 8 | bytes[1];
}
// Sectors the bitmap can map: 200 bytes of 8 bits.
inline constexpr uint32_t MAPPED_SECTORS = 1600;

// True when bytes 13-15 read "DSK".
bool has_disk_signature(Sector sector0);

// The total of sectors that sector 0 says.
uint32_t total_sectors(Sector sector0);

// Whether the bitmap marks sector as used; a sector it cannot map counts as used.
bool is_used(Sector sector0, uint32_t sector);
void mark_used(WritableSector sector0, uint32_t sector, bool used);

// Sets the volume's total to 1600 sectors and marks every sector at or above the old total free,
// but those below keep: a total that lies (0, or one below what the disk's files use, keep)
// never frees a sector a file uses.
void widen_to_1600_sectors(WritableSector sector0, uint32_t keep = 0);

// A 10-byte, blank-padded TI name (a disk's, a file's) as the catalogue shows it: trailing
// blanks dropped, a byte other than printable ASCII as '?'. True when it is text throughout and
// not blank.
bool show_name(const uint8_t* bytes, char (&name)[TI_NAME_BYTES + 1]);

// What a volume's sector 0 says of the disk in it.
struct VolumeSummary {
    // not_a_disk: no "DSK" signature, and the sector holds more than one value.
    enum class Kind : uint8_t { disk, empty, not_a_disk } kind = Kind::not_a_disk;
    char name[TI_NAME_BYTES + 1] = {};  // trailing blanks dropped, other than printable as '?'
    uint32_t sectors = 0;               // the total, bytes 10-11
    uint32_t free = 0;                  // sectors up to the total whose bitmap bit is clear
    bool is_protected = false;          // byte 16 is 'P'
};
VolumeSummary summarise_volume(Sector sector0);

// The sectors sector 0's geometry gives: sides (byte 18) x tracks per side (17) x sectors per
// track (12).
uint32_t geometry_sectors(Sector sector0);

// A volume's disk at its own size again, where its geometry gives fewer than 1600 sectors and
// nothing past them is marked used: its total set back, the bitmap's bits past its end set as a
// disk of that size has them. Where something lies past that end, the disk keeps 1600 sectors
// and its geometry is made to agree: 2 sides, 40 tracks, 20 sectors per track.
// The disk is cut only where no file's record or run reaches past its end either (files_reach:
// the sectors the files use, from 0, whatever the bitmap says).
struct Trimmed {
    enum class Kind : uint8_t { whole, cut, regeometried } kind = Kind::whole;
    // Why it was not cut: its bitmap marks a sector past its own end used, a file's record or
    // run lies there, or its geometry gives more sectors than a slot holds.
    enum class Why : uint8_t { marked, file, larger } why = Why::marked;
    uint32_t sectors = MAPPED_SECTORS;  // the disk's sectors after it
};
Trimmed trim_to_geometry(WritableSector sector0, uint32_t files_reach = 0);

// A new, empty disk of 1600 sectors called name (blank-padded): 2 sides, 40 tracks, 20 sectors
// per track and the density a disk of that geometry carries, sectors 0 and 1 used, an empty
// index.
void format_volume(WritableSector sector0, WritableSector index, const uint8_t* name);

// The disk's name, bytes 0-9.
void rename_volume(WritableSector sector0, const uint8_t* name);
