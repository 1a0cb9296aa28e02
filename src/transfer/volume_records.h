// What a volume's write and read-back tell the lines that say them, each as it happens: plain
// records, and the one type of each callback that is told of them.
#pragma once

#include <cstdint>

#include "disk/volume_header.h"
#include "function_ref.h"

// A volume's disk as the catalogue names it.
struct DiskLabel {
    // unknown: its first sector could not be read.
    enum class Kind : uint8_t { unknown, empty, not_a_disk, disk } kind = Kind::unknown;
    char name[11] = {};  // of a disk, as the console shows it
};

// A volume written and read back whole: what it held before and holds now. An image whose total
// said fewer sectors (said_total) than its files use (reach, else 0) kept those marked used in
// the bitmap widened to 1600 sectors.
struct VolumeWritten {
    uint32_t volume = 0;
    DiskLabel held;
    DiskLabel holds;
    uint32_t said_total = 0;
    uint32_t reach = 0;
};
using WrittenLine = FunctionRef<void(const VolumeWritten& written)>;

// A volume's slot saved into the PC file path: what it holds, and how it was saved (at the disk's
// own size where trimmed, or the slot's every byte where whole_slot).
struct VolumeSaved {
    uint32_t volume = 0;
    DiskLabel holds;
    const char* path = nullptr;
    Trimmed trimmed;
    bool whole_slot = false;
};
using SavedLine = FunctionRef<void(const VolumeSaved& saved)>;
