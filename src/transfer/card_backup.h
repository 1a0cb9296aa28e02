// Backups of the card: every volume that holds something saved into a folder, a file each named
// for its volume and disk ("0005-GAMES.dsk", "0007.dsk" for a disk without a name), and such a
// folder written back, each file into its volume, exactly as it was saved.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/failure.h"
#include "function_ref.h"
#include "owned_buffer.h"
#include "transfer/volume_transfer.h"

// Volumes first to last; last 0: to the card's end.
struct VolumeRange {
    uint32_t first = 1;
    uint32_t last = 0;
    bool holds(uint32_t volume) const { return volume >= first && (last == 0 || volume <= last); }
};

// A backup's lines, each said as it happens: a volume saved (as a read-back says it), and an
// earlier file of the folder removed because its volume is empty now or saved under another
// name.
struct BackupLines {
    SavedLine saved;
    FunctionRef<void(uint32_t volume, const char* path, bool empty)> removed;
};

struct BackupDone {
    uint32_t saved = 0;
    uint32_t empty = 0;
};

// Saves the volumes of range into folder, which is made where missing, through one open of the
// card: of each volume its first sector is read, and of one that is not empty its whole slot,
// saved as its disk (trimmed where asked), or as the whole slot where its odd bytes are not all
// the filler. A folder that holds an earlier backup is brought up to date: each volume of the
// range keeps one file, and a volume that is empty now loses its file; files that are not
// backups', and volumes outside the range, are left alone. A first volume past the card's end
// is refused as LIST refuses it; a volume that cannot be read or saved stops the run, as does a
// Ctrl-C once the volume under way is saved (RESULT_INTERRUPTED).
Result backup_volumes(const Card& card, VolumeRange range, const char* folder, bool trim,
                      const BackupLines& lines, BackupDone& done);

// Told of each entry of the folder that is not a backup's file, which is skipped.
using FileSkipped = FunctionRef<void(const char* folder, const char* name, bool is_folder)>;

// How far a restore came: the backup files of the range it found (none found is no failure),
// and the run of many that wrote them.
struct Restore {
    uint32_t found = 0;
    RunProgress run;
};

// Writes each backup file of folder whose volume lies in range back into its volume, as one run
// of many volumes (write_volume_run): a slot's disk, or a whole slot, as it was saved.
Result restore_volumes(const Card& card, const char* folder, VolumeRange range,
                       WrittenLine on_written, FileSkipped on_skipped, Restore& restore);
