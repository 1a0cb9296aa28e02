// The lines a run says as it goes and when it ends: what moved and where, or what failed.
#pragma once

#include <charconv>
#include <cstdint>

#include "device/card.h"
#include "device/failure.h"
#include "transfer/file_change.h"
#include "transfer/file_transfer.h"
#include "transfer/volume_records.h"

// A number's decimal digits, for printf's %s: the C runtime of the oldest Windows has no
// 64-bit conversion of its own.
struct Decimal {
    explicit Decimal(uint64_t number) {
        *std::to_chars(text, text + sizeof text - 1, number).ptr = '\0';
    }
    char text[24] = {};
};

// Says the failure: its words after "slotpull failed: ", or as a line of their own, and, where a
// change was refused, that nothing was changed. Returns its status.
int32_t say_failure(const Failure& failure);

// "slotpull succeeded.", the end of a run that wrote or saved a volume.
void say_succeeded();

// "Volume 5 on /dev/sdb held GAMES-1; it now holds DM5.", and where the image's total lied, what
// stays marked used.
void say_volume_written(const Card& card, const VolumeWritten& written);

// "Volume 5 on /dev/sdb (DM5) saved as FLASH.", and how where it is trimmed or whole.
void say_volume_saved(const Card& card, const VolumeSaved& saved);

// GET's line for a file saved: "LOAD (PROGRAM, 34 sectors) from volume 5 on /dev/sdb saved as
// LOAD."
void say_saved_file(const SavedFile& saved, const DiskPlace& place);

// PUT's and DEL's lines for each file, and their closing line ("2 files put; 1200 sectors
// free."), verb being "put" or "deleted".
void say_put_file(const SavedFile& put, const DiskPlace& place);
void say_deleted_file(const SavedFile& deleted, const DiskPlace& place);
void say_change_done(const ChangeDone& done, const DiskPlace& place, const char* verb);

// COPY's, REN's, PROTECT's and UNPROTECT's lines for each file: "LOAD (PROGRAM, 34 sectors)
// copied from volume 5 on /dev/sdb to volume 7 on /dev/sdb.", "... on volume 5 on /dev/sdb
// renamed NEW.", "... on volume 5 on /dev/sdb protected."
void say_copied_file(const SavedFile& copied, const DiskPlace& from, const DiskPlace& to);
void say_renamed_file(const SavedFile& renamed, const DiskPlace& place);
void say_protected_file(const SavedFile& file, const DiskPlace& place, bool on);

// TYPE's dump of bytes that are not text: each line an offset in hex, 16 bytes in hex, and
// those of them that are printable ('.' for the others).
void say_dump(std::span<const uint8_t> bytes);
