// Whether a disk's files lie where their records say, each on sectors of its own: what GET needs
// of one file, and what PUT and DEL need of the whole disk before they change it. A change
// built on a disk whose bitmap or chains are wrong would put one file's data over another's.
#pragma once

#include <cstdint>

#include "disk/directory.h"
#include "disk/file_record.h"

// Why a file cannot be read, or a disk cannot be changed.
enum class FileFault : uint8_t {
    none,
    broken_chain,        // a run ends at or before the one before it
    leaves_disk,         // a run lies past the disk's end, or over sector 0 or 1
    count_differs,       // the runs hold another number of sectors than the record allocates
    runs_overlap,        // a sector is the file's twice, or another file's too
    not_marked_used,     // a sector of the file (sector) is free in the bitmap
    index_out_of_range,  // an index entry (entry) points at sector 1 or past the disk's end
    listed_twice,        // two index entries point at one record (sector)
    index_hole,          // an empty index entry (entry) has others after it
};

// The sectors a disk's files may lie on, below this: its own total, as far as its bytes and
// its bitmap reach.
uint32_t disk_end(DiskBytes disk);

// Which of a disk's sectors the files checked so far hold.
struct SectorOwners {
    bool taken[IMAGE_SECTORS] = {};
    bool record[IMAGE_SECTORS] = {};  // of them, the files' records
};

// Checks one file's runs and marks their sectors taken; sector tells the one at fault where
// there is one. Sound runs lie inside [2, end), apart, and hold the sectors the record
// allocates.
FileFault check_runs(const FileRecord& file, uint32_t end, SectorOwners& owners, uint32_t& sector);

// What is wrong with a disk that holds a TI disk, where anything is: the first fault found,
// the index entry (from 1) it was found at, the sector it concerns and the file's record.
struct DiskFault {
    FileFault fault = FileFault::none;
    uint32_t entry = 0;
    uint32_t sector = 0;
    uint8_t name[TI_NAME_BYTES] = {};
};
DiskFault check_disk(DiskBytes disk);

// The sectors the disk's files use, counted from 0: one past the highest sector its index
// entries, their records (where a record's name is text) and their runs name, below 1600 (the
// bitmap's reach), whatever its total and its bitmap say.
uint32_t files_reach(DiskBytes disk);
