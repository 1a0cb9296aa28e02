// Backups of the card: every volume that holds something saved into a folder, a file each named
// for its volume and disk ("0005-GAMES.dsk", "0007.dsk" for a disk without a name), and such a
// folder written back, each file into its volume, exactly as it was saved.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/outcome.h"
#include "owned_buffer.h"
#include "transfer/volume_transfer.h"

// Told of each volume saved, as a read-back says it: the volume, the card, what it holds, the
// file it went into and how it was trimmed.
using VolumeSaved = void (*)(const Outcome& saved);

struct BackupDone {
    uint32_t saved = 0;
    uint32_t empty = 0;
};

// Saves volumes first to last (0: to the card's end) into folder, which is made where missing,
// through one open of the card; an empty volume is counted, not saved. A first volume past the
// card's end is refused as LIST refuses it; a volume that cannot be read or saved stops the run.
// With trim, each TI disk is saved at its own size, as a read-back trims it.
Outcome backup_volumes(const Card& card, uint32_t first, uint32_t last, const char* folder,
                       bool trim, VolumeSaved on_saved, BackupDone& done);

// Told of each file of the folder whose name is not a backup's, which is skipped.
using FileSkipped = void (*)(const char* folder, const char* name);

// A restore's backup files, which its outcome may name, and how far it came.
struct Restore {
    Owned<char> paths;
    Owned<const char*> files;
    Owned<uint32_t> volumes;
    uint32_t found = 0;  // backup files; none found is no failure
    uint32_t written = 0;
};

// Writes each backup file of folder back into its volume, as one run of many volumes
// (write_volume_list).
Outcome restore_volumes(const Card& card, const char* folder, VolumeWritten on_written,
                        FileSkipped on_skipped, Restore& restore);
