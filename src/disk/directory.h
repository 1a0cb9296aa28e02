// The files a TI disk holds, as the TI's own disk catalogue shows them: the file descriptor
// index in sector 1 (up to 127 big-endian sector numbers, ended by 0) and the file descriptor
// record each entry points at.
#pragma once

#include <cstdint>
#include <span>

#include "disk/volume_header.h"

inline constexpr uint32_t INDEX_SECTOR = 1;
inline constexpr uint32_t MOST_FILES = 127;

// One entry of the index, as read: a file, or the reason it names none.
struct DirectoryEntry {
    enum class Kind : uint8_t {
        file,            // name, sectors, type and protection from its record
        the_index,       // it points at sector 1, the index itself
        past_the_end,    // it points past the disk's end (or the volume's slot)
        listed_already,  // an earlier entry points at the same record
        not_a_record,    // the record's name is not printable text
    } kind = Kind::file;
    uint32_t sector = 0;                // of its record
    char name[TI_NAME_BYTES + 1] = {};  // as the catalogue shows names
    uint32_t sectors = 0;               // the allocated sectors and the record itself
    char type[12] = {};                 // "PROGRAM", "DIS/FIX 80", "INT/VAR 254"
    bool is_protected = false;
};

struct Directory {
    VolumeSummary disk;
    DirectoryEntry entries[MOST_FILES];
    uint32_t count = 0;  // entries read, up to the index's end
    uint32_t files = 0;  // of them, files
    uint32_t used = 0;   // sectors the files use
};

// The sectors of a disk: whole 256-byte sectors, from sector 0.
using DiskBytes = std::span<const uint8_t>;

// Sector n of disk, which must hold it.
inline Sector sector_of(DiskBytes disk, uint32_t n) {
    return Sector{disk.data() + size_t{n} * IMAGE_SECTOR_BYTES, IMAGE_SECTOR_BYTES};
}

// Reads the directory of a disk; when it holds no TI disk, disk says so and there are no
// entries. Never reads outside the disk's bytes, and every text is printable.
Directory read_directory(DiskBytes disk);
