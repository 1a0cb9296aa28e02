// The files a TI disk holds, as the TI's own disk catalogue shows them: the file descriptor
// index in sector 1 (up to 127 big-endian sector numbers, ended by 0) and the file descriptor
// record each entry points at. An index with an empty entry before others (a hole) is damaged:
// the TI's own reading stops at it, other tools read on; the entries after it are read too.
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
    bool past_hole = false;  // it lies after an empty entry, where the TI's own index ends
};

struct Directory {
    VolumeSummary disk;
    DirectoryEntry entries[MOST_FILES];
    uint32_t count = 0;  // entries read: every one that is not empty
    uint32_t files = 0;  // of them, files
    uint32_t used = 0;   // sectors the files use
    uint32_t hole = 0;   // the first empty entry (from 1) that entries follow; 0: none
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

// Calls entry(i, sector) for each entry of the index that is not empty, in order, i from 0;
// hole is the first empty entry (from 1) that others follow, 0 where none does.
template <typename Entry>
void walk_index(Sector index, Entry entry, uint32_t& hole) {
    hole = 0;
    uint32_t empty = 0;  // the first empty entry so far, from 1
    for (uint32_t i = 0; i < MOST_FILES; ++i) {
        const uint32_t sector = be16(index.data() + 2 * i);
        if (sector == 0) {
            if (empty == 0) empty = i + 1;
            continue;
        }
        if (empty != 0 && hole == 0) hole = empty;
        entry(i, sector);
    }
}
