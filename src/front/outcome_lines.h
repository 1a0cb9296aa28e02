// The lines that say how a run ended: what moved and where, or what failed and why.
#pragma once

#include <charconv>
#include <cstdint>

#include "device/card.h"
#include "device/outcome.h"
#include "transfer/file_change.h"
#include "transfer/file_transfer.h"

// A number's decimal digits, for printf's %s: the C runtime of the oldest Windows has no
// 64-bit conversion of its own.
struct Decimal {
    explicit Decimal(uint64_t number) {
        *std::to_chars(text, text + sizeof text - 1, number).ptr = '\0';
    }
    char text[24] = {};
};

// The outcome line of a run, or the refusal of its image; card is the card the run used, where
// one was settled. A success first says what moved and where.
void report_outcome(const Outcome& outcome, const Card* card);

// "Volume 5 on /dev/sdb (DM5) saved as FLASH.": a read-back's line, of volume, card_name, holds
// and path.
void report_volume_saved(const Outcome& saved);

// "Volume 5 on /dev/sdb held GAMES-1; it now holds DM5.": a write's line for a volume.
void report_volume_written(uint32_t volume, const char* card_name, const DiskLabel& held,
                           const DiskLabel& holds);

// GET's line for a file saved: "LOAD (PROGRAM, 34 sectors) from volume 5 on /dev/sdb saved as
// LOAD."
void report_saved_file(const SavedFile& saved, const DiskPlace& place);

// PUT's and DEL's lines for each file, and their closing line ("2 files put; 1200 sectors
// free."), verb being "put" or "deleted".
void report_put_file(const SavedFile& put, const DiskPlace& place);
void report_deleted_file(const SavedFile& deleted, const DiskPlace& place);
void report_change_done(const ChangeDone& done, const DiskPlace& place, const char* verb);

// A catalogue that starts past the card's end: "Volume 7 is past the card's end; its last whole
// volume is 4."
void report_list_past_end(const Outcome& outcome);
