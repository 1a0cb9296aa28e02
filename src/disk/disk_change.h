// A change of a TI disk built in memory before any of it is written: files added (each record
// in the first free sector from 2 up, its data in the first free sectors from 34 up, below 34
// only when nothing above is free), replaced, deleted, renamed and protected, the index kept in
// name order. It tells the sectors it changed in the order that keeps the disk readable wherever
// a write is cut: the data of the files added, their records and sector 0 (the bitmap), then the
// index; for a deletion the index first, then sector 0; for a replacement the new file whole and
// marked used first, then the index, then sector 0 with the old file's sectors freed. At worst a
// cut leaves sectors marked used that no file owns.
#pragma once

#include <cstdint>
#include <span>

#include "disk/directory.h"
#include "disk/file_record.h"

// Why a change cannot be made.
enum class ChangeFault : uint8_t {
    none,
    name_taken,     // a file of that name is on the disk already
    disk_full,      // fewer free sectors than the file needs
    index_full,     // the index holds 127 files
    too_many_runs,  // the free sectors lie in more pieces than a record's 76 runs
    is_protected,   // the TI deletes no protected file
};

// The first data sector the placement tries; below it lie the records.
inline constexpr uint32_t FIRST_DATA_SECTOR = 34;

// A sector a change writes, and the step of the order it belongs to: every sector of a step is
// written before any of the next, and the sectors of one step may go in one write.
struct ChangedSector {
    uint16_t sector = 0;
    uint8_t step = 0;
    // What the sector holds in this step, where that is not yet the disk's own (sector 0 of a
    // replacement before the old file's sectors are freed); nullptr: the disk's.
    const uint8_t* bytes = nullptr;
};

class DiskChange {
  public:
    // A disk that check_disk found sound; its bytes are changed in place.
    explicit DiskChange(std::span<uint8_t> disk);

    // Sectors free in [2, end).
    uint32_t free_sectors() const;
    // Of them, those this change may place a file on: not a file's it replaced, which stay
    // whole until the new one is.
    uint32_t placeable_sectors() const;
    // The record's sector of the file called name (blank-padded) as the change stands, 0 where
    // none is.
    uint32_t find(const uint8_t* name) const;

    // Adds a file of the record's fields (its name, flags, sizes; its runs are the disk's) and
    // body, file.allocated sectors.
    ChangeFault add(const FileRecord& file, std::span<const uint8_t> body);
    // Deletes the file whose record is at sector record, which the index lists.
    ChangeFault remove(uint32_t record);
    // Puts a file in place of the one whose record is at sector old (not protected): the new one
    // lies on sectors of its own, and the old one's are freed last.
    ChangeFault replace(uint32_t old, const FileRecord& file, std::span<const uint8_t> body);
    // Gives the file whose record is at sector record a new name (blank-padded, valid), which no
    // other file of the disk has.
    ChangeFault rename(uint32_t record, const uint8_t (&name)[TI_NAME_BYTES]);
    // Sets or clears the protection of the file whose record is at sector record.
    void protect(uint32_t record, bool protect);

    // Sectors the change writes, in order, into order; their count. A replacement's first
    // sector 0 is told with its bytes, which last as long as the change.
    uint32_t write_order(ChangedSector (&order)[IMAGE_SECTORS + 1]) const;

  private:
    WritableSector sector(uint32_t n);
    uint32_t first_free(uint32_t from) const;
    void drop_from_index(uint32_t record);
    void free_file(uint32_t record, bool later);
    void write_index();

    std::span<uint8_t> disk_;
    uint32_t end_;
    uint16_t index_[MOST_FILES] = {};
    uint32_t files_ = 0;
    bool changed_[IMAGE_SECTORS] = {};
    // The data sectors and records placed, in the order they were.
    uint16_t data_[IMAGE_SECTORS] = {};
    uint32_t data_count_ = 0;
    uint16_t records_[MOST_FILES] = {};
    uint32_t record_count_ = 0;
    bool deleted_ = false;
    // A replaced file's sectors: free in sector 0, but taken by nothing of this change, and
    // still marked used in the sector 0 written before the index.
    bool freed_later_[IMAGE_SECTORS] = {};
    bool replaced_ = false;
    mutable uint8_t first_sector0_[IMAGE_SECTOR_BYTES] = {};
};
