#include "front/outcome_lines.h"

#include <cstdio>
#include <cstring>

#include "device/system_text.h"
#include "disk/disk_change.h"
#include "disk/disk_check.h"
#include "disk/tifiles.h"
#include "winapi.h"

namespace {

// The mounts of a disk in use, as the system names them.
constexpr size_t MOUNTS_TEXT_BYTES = 512;

// What a failure line names before the system's reason: the file, the card, or its volume.
void print_subject(const Outcome& outcome) {
    using Where = Outcome::Where;
    switch (outcome.where) {
        case Where::nothing_named:
            return;
        case Where::image_file:
            std::printf("the image file '%s': ", outcome.path);
            return;
        case Where::output_file:
            std::printf("the output file '%s': ", outcome.path);
            return;
        case Where::input_file:
            std::printf("the file '%s': ", outcome.path);
            return;
        case Where::card:
            std::printf("%s: ", outcome.card_name);
            return;
        case Where::card_volume:
            std::printf("volume %s on %s: ", Decimal(outcome.volume).text, outcome.card_name);
            return;
    }
}

// The system's reason, or where the card's own system can say more of a disk in use (which of
// its partitions are mounted where), that.
void print_reason(DWORD error, const Card* card) {
    char mounts[MOUNTS_TEXT_BYTES] = {};
    if (error == ERROR_BUSY && card != nullptr &&
        native_disk_mounts(card->path, mounts, sizeof mounts) && mounts[0] != '\0') {
        std::printf("The disk is in use: %s.\n", mounts);
        return;
    }
    print_system_text(error);
    std::printf("\n");
}

// The card's name, where the outcome knows it.
const char* card_name(const Outcome& outcome) {
    return outcome.card_name != nullptr ? outcome.card_name : "the card";
}

// "Volume E: on \\.\PHYSICALDRIVE1 could not be locked: ", or on the 9x family, where the
// card is the letter's volume itself, "Volume E: could not be locked: ".
void print_locked_volume(const Outcome& outcome) {
    const char letter[] = {outcome.letter, ':', '\0'};
    const char* card = card_name(outcome);
    std::printf("slotpull failed: Volume %s", letter);
    if (std::strcmp(card, letter) != 0) std::printf(" on %s", card);
    std::printf(" could not be locked: ");
}

// "<lead> 5 is past the card's end; its last whole volume is 4."
void print_past_end(const char* lead, const Outcome& outcome) {
    std::printf("%s %s is past the card's end", lead, Decimal(outcome.volume).text);
    if (outcome.last_volume == 0u) {
        std::printf("; the card holds no whole volume");
    } else if (outcome.last_volume) {
        std::printf("; its last whole volume is %s", Decimal(*outcome.last_volume).text);
    }
    std::printf(".\n");
}

// Where a disk lies: "volume 5 on /dev/sdb", "the image file 'games.dsk'".
void print_place(uint32_t volume, const char* card_name, const char* file) {
    if (file != nullptr) {
        std::printf("the image file '%s'", file);
    } else {
        std::printf("volume %s on %s", Decimal(volume).text, card_name);
    }
}

// Why a file cannot be read, by FileFault.
const char* const FILE_FAULTS[] = {
    "",
    "the runs of its data chain go backwards",
    "a run of its data lies outside the disk",
    "its runs hold another number of sectors than its record allocates",
    "two of its runs share a sector",
};

// What is wrong with a disk that PUT and DEL do not change, by FileFault: said of the file's
// name, then of the sector or entry.
void print_disk_fault(const Outcome& outcome) {
    const char* name = outcome.ti_name;
    const Decimal sector(outcome.sector);
    switch (static_cast<FileFault>(outcome.fault)) {
        case FileFault::index_out_of_range:
            std::printf("index entry %s points at sector %s, outside the disk",
                        Decimal(outcome.entry).text, sector.text);
            return;
        case FileFault::listed_twice:
            std::printf("two index entries point at the record of %s", name);
            return;
        case FileFault::index_hole:
            std::printf("index entry %s is empty and entries follow it, which the TI never reads",
                        Decimal(outcome.entry).text);
            return;
        case FileFault::runs_overlap:
            std::printf("sector %s of %s belongs to another file too", sector.text, name);
            return;
        case FileFault::not_marked_used:
            std::printf("sector %s of %s is not marked used", sector.text, name);
            return;
        case FileFault::none:
        case FileFault::broken_chain:
        case FileFault::leaves_disk:
        case FileFault::count_differs:
            std::printf("%s: %s", name, FILE_FAULTS[outcome.fault]);
            return;
    }
}

// Why a PUT or DEL cannot be made, by ChangeFault.
void print_change_fault(const Outcome& outcome) {
    const char* name = outcome.ti_name;
    std::printf("slotpull failed: ");
    switch (static_cast<ChangeFault>(outcome.fault)) {
        case ChangeFault::name_taken:
            std::printf("%s (from '%s') is on ", name, outcome.file_name);
            print_place(outcome.volume, outcome.card_name, outcome.path);
            std::printf(" already; DEL it first.\n");
            return;
        case ChangeFault::disk_full:
            std::printf("%s (from '%s') needs %s sectors; ", name, outcome.file_name,
                        Decimal(outcome.sectors_needed).text);
            print_place(outcome.volume, outcome.card_name, outcome.path);
            std::printf(" has %s free.\n", Decimal(outcome.sectors_free).text);
            return;
        case ChangeFault::index_full:
            std::printf("the index of ");
            print_place(outcome.volume, outcome.card_name, outcome.path);
            std::printf(" holds %s files, all it can; %s (from '%s') was not put.\n",
                        Decimal(MOST_FILES).text, name, outcome.file_name);
            return;
        case ChangeFault::too_many_runs:
            std::printf("the free sectors of ");
            print_place(outcome.volume, outcome.card_name, outcome.path);
            std::printf(
                " lie in more than %s runs, more than a file can take; %s (from '%s') "
                "was not put.\n",
                Decimal(MOST_RUNS).text, name, outcome.file_name);
            return;
        case ChangeFault::is_protected:
        case ChangeFault::none:
            std::printf("%s on ", name);
            print_place(outcome.volume, outcome.card_name, outcome.path);
            std::printf(" is protected, and the TI deletes no protected file.\n");
            return;
    }
}

// Why a PC file cannot be put.
void print_not_a_ti_file(const Outcome& outcome) {
    if (outcome.about == Outcome::About::no_valid_name) {
        std::printf(
            "slotpull failed: '%s' gives no valid TI name, neither in its header nor as its file "
            "name (1 to 10 characters; no blank, '.' or control byte).\n",
            outcome.file_name);
    } else if (static_cast<TiFileRead::Form>(outcome.fault) == TiFileRead::Form::cut_short) {
        std::printf(
            "slotpull failed: '%s' is not a whole TIFILES file: its header says %s sectors, "
            "which it does not hold.\n",
            outcome.file_name, Decimal(outcome.sectors_needed).text);
    } else {
        std::printf(
            "slotpull failed: '%s' is not a TI file: neither a TIFILES file nor a descriptor "
            "record and its sectors.\n",
            outcome.file_name);
    }
}

const char* disk_text(const DiskLabel& label);

// A file the tool would not write over, and why: "slotpull failed: the output file 'LOAD' is
// there already; it is kept (--force replaces it)."
void print_kept_file(const Outcome& outcome) {
    using About = Outcome::About;
    std::printf("slotpull failed: the %s file '%s' ",
                outcome.where == Outcome::Where::image_file ? "image" : "output", outcome.path);
    switch (outcome.about) {
        case About::output_no_file:
            std::printf("is a device, not a file");
            break;
        case About::output_is_card:
            std::printf("is the card itself");
            break;
        case About::output_is_source:
            std::printf("is the disk being read");
            break;
        case About::output_linked:
            std::printf("is one file under %s names (hard links), which a new file would part",
                        Decimal(outcome.length).text);
            break;
        case About::output_read_only:
            std::printf("may only be read");
            break;
        default:
            std::printf("is there already; it is kept (--force replaces it).\n");
            return;
    }
    std::printf("; nothing was written.\n");
}

// "There is no file 'load' on volume 5 on /dev/sdb; did you mean LOAD?", or, where the disk is
// none, what the volume holds instead.
void print_missing_file(const Outcome& outcome) {
    if (outcome.holds.kind != DiskLabel::Kind::disk) {
        std::printf("There is no TI disk in ");
        print_place(outcome.volume, outcome.card_name, outcome.path);
        std::printf(": it is %s.\n", disk_text(outcome.holds));
        return;
    }
    std::printf("There is no file '%s' on ", outcome.file_name);
    print_place(outcome.volume, outcome.card_name, outcome.path);
    if (outcome.other_name[0] != '\0') {
        std::printf("; did you mean %s?\n", outcome.other_name);
    } else {
        std::printf(".\n");
    }
}

// A disk as the catalogue names it, for a line that is not the catalogue's.
const char* disk_text(const DiskLabel& label) {
    switch (label.kind) {
        case DiskLabel::Kind::empty:
            return "empty";
        case DiskLabel::Kind::not_a_disk:
            return "not a TI disk";
        case DiskLabel::Kind::disk:
            return label.name[0] != '\0' ? label.name : "a disk without a name";
        case DiskLabel::Kind::unknown:
            break;
    }
    return "";
}

// What a successful write replaced and a read-back saved, and where, before the success line:
// "Volume 5 on /dev/sdb held GAMES-1; it now holds DM5.", "Volume 5 on /dev/sdb (DM5) saved as
// FLASH."
void report_success(const Outcome& outcome) {
    if (outcome.path != nullptr) {
        report_volume_saved(outcome);
    } else if (outcome.holds.kind != DiskLabel::Kind::unknown) {
        report_volume_written(outcome.volume, outcome.card_name, outcome.held, outcome.holds);
    }
    if (outcome.reach != 0) {
        std::printf(
            "Its sector 0 said %s sectors, fewer than the %s its files use: those stay marked "
            "used.\n",
            Decimal(outcome.said_total).text, Decimal(outcome.reach).text);
    }
    std::printf("slotpull succeeded.\n");
}

void report_failure(const Outcome& outcome, const Card* card) {
    using About = Outcome::About;
    switch (outcome.about) {
        case About::not_an_image:
            std::printf("Not a supported TI/99-4A format: '%s' has no DSK signature.\n",
                        outcome.path);
            return;
        case About::image_too_large:
            std::printf(
                "The image file '%s' holds %s bytes; a disk image holds at most %s bytes.\n",
                outcome.path, Decimal(outcome.length).text, Decimal(IMAGE_BYTES).text);
            return;
        case About::slot_differs:
            std::printf(
                "slotpull failed: volume %s on %s does not hold what was written; the first "
                "difference is at byte %s of its slot.\n",
                Decimal(outcome.volume).text, card_name(outcome), Decimal(outcome.byte).text);
            return;
        case About::past_card_end:
            print_past_end("slotpull failed: volume", outcome);
            return;
        case About::not_a_card:
            std::printf("slotpull failed: %s is neither a disk nor a file.\n", outcome.card_name);
            return;
        case About::output_no_file:
        case About::output_is_card:
        case About::output_is_source:
        case About::output_linked:
        case About::output_read_only:
        case About::output_exists:
            print_kept_file(outcome);
            return;
        case About::no_folder:
            std::printf("There is no folder '%s'; nothing was written.\n", outcome.path);
            return;
        case About::not_a_folder:
            std::printf("'%s' is not a folder; nothing was written.\n", outcome.path);
            return;
        case About::interrupted:
            std::printf("Stopped by Ctrl-C.\n");
            return;
        case About::pc_disk:
            std::printf(
                "slotpull failed: %s is a fixed disk with partitions, not a card; nothing was "
                "written.\n",
                outcome.card_name);
            return;
        case About::not_one_disk:
            std::printf(
                "slotpull failed: no single physical drive holds %s; name the drive as "
                "\\\\.\\PHYSICALDRIVEn.\n",
                outcome.card_name);
            return;
        case About::listed:
            return;  // the catalogue's lines have said why
        case About::no_such_file:
            print_missing_file(outcome);
            return;
        case About::file_damaged:
            std::printf("slotpull failed: the file %s on ", outcome.file_name);
            print_place(outcome.volume, outcome.card_name, outcome.path);
            std::printf(" cannot be read: %s.\n", FILE_FAULTS[outcome.fault]);
            return;
        case About::disk_damaged:
            std::printf("slotpull failed: the disk in ");
            print_place(outcome.volume, outcome.card_name, outcome.path);
            std::printf(" is damaged, so it is not changed: ");
            print_disk_fault(outcome);
            std::printf(".\n");
            return;
        case About::change_refused:
            print_change_fault(outcome);
            return;
        case About::not_a_ti_file:
        case About::no_valid_name:
            print_not_a_ti_file(outcome);
            return;
        case About::two_backups:
            std::printf(
                "slotpull failed: '%s' and '%s' are both for volume %s; nothing was "
                "written.\n",
                outcome.path, outcome.file_name, Decimal(outcome.volume).text);
            return;
        case About::not_a_backup:
            std::printf(
                "slotpull failed: '%s' holds %s bytes, neither a slot's disk of %s nor the whole "
                "slot's %s; nothing was written.\n",
                outcome.path, Decimal(outcome.length).text, Decimal(IMAGE_BYTES).text,
                Decimal(SLOT_BYTES).text);
            return;
        case About::card_volume:
            print_locked_volume(outcome);
            break;
        case About::system:
            std::printf("slotpull failed: ");
            print_subject(outcome);
            break;
    }
    print_reason(outcome.error, card);
}

}  // namespace

void report_outcome(const Outcome& outcome, const Card* card) {
    if (!outcome.failed()) {
        report_success(outcome);
        return;
    }
    report_failure(outcome, card);
    if (outcome.status == RESULT_CHANGE_REFUSED) std::printf("Nothing was changed.\n");
}

// Why a trimmed read-back kept 1600 sectors, by Trimmed::Why.
const char* const TRIM_WHY[] = {
    "it uses sectors past its own end",
    "a file of it lies past its own end, whatever its bitmap says",
    "its own geometry gives more sectors than a slot holds",
};

void report_volume_saved(const Outcome& saved) {
    std::printf("Volume %s on %s (%s) saved as %s", Decimal(saved.volume).text, saved.card_name,
                disk_text(saved.holds), saved.path);
    switch (static_cast<Trimmed::Kind>(saved.trim)) {
        case Trimmed::Kind::whole:
            break;
        case Trimmed::Kind::cut:
            std::printf(", cut to its own %s sectors", Decimal(saved.disk_sectors).text);
            break;
        case Trimmed::Kind::regeometried:
            std::printf(
                ", 1600 sectors with its geometry made 2 sides x 40 tracks x 20 sectors: %s",
                TRIM_WHY[saved.trim_why]);
            break;
    }
    if (saved.whole_slot) std::printf(", the whole slot: its odd bytes are not all the filler");
    std::printf(".\n");
}

void report_volume_written(uint32_t volume, const char* card_name, const DiskLabel& held,
                           const DiskLabel& holds) {
    using Kind = DiskLabel::Kind;
    std::printf("Volume %s on %s ", Decimal(volume).text, card_name);
    switch (held.kind) {
        case Kind::empty:
            std::printf("was empty; it ");
            break;
        case Kind::not_a_disk:
            std::printf("held something that is not a TI disk; it ");
            break;
        case Kind::disk:
            std::printf("held %s; it ", disk_text(held));
            break;
        case Kind::unknown:
            break;  // what it held could not be read
    }
    if (holds.kind == Kind::empty) {
        std::printf("is now empty.\n");
    } else {
        // A backup written back may hold something else.
        const bool disk = holds.kind != Kind::not_a_disk;
        std::printf("now holds %s.\n", disk ? disk_text(holds) : "something that is not a TI disk");
    }
}

// Why a file was saved under a name other than its own, after "saved as NAME".
const char* const RENAMED[] = {
    "",
    ", as its own names a device on a PC",
    ", as a name that starts with '.' is hidden on a PC",
    ", as its own is not text",
    ", as another file of this run has its own",
    ", as its own names the card or the disk being read",
};

void report_saved_file(const SavedFile& saved, const DiskPlace& place) {
    std::printf("%s (%s, %s sectors) from ", saved.name, saved.type, Decimal(saved.sectors).text);
    print_place(place.volume, place.card != nullptr ? place.card->shown : nullptr, place.file);
    std::printf(" saved as %s%s.\n", saved.path, RENAMED[static_cast<size_t>(saved.renamed)]);
}

// "LOAD (PROGRAM, 34 sectors) from LOAD.tfi put on volume 5 on /dev/sdb."
void report_put_file(const SavedFile& put, const DiskPlace& place) {
    std::printf("%s (%s, %s sectors) from %s put on ", put.name, put.type,
                Decimal(put.sectors).text, put.path);
    print_place(place.volume, place.card != nullptr ? place.card->shown : nullptr, place.file);
    std::printf(".\n");
}

void report_deleted_file(const SavedFile& deleted, const DiskPlace& place) {
    std::printf("%s (%s, %s sectors) deleted from ", deleted.name, deleted.type,
                Decimal(deleted.sectors).text);
    print_place(place.volume, place.card != nullptr ? place.card->shown : nullptr, place.file);
    std::printf(".\n");
}

void report_change_done(const ChangeDone& done, const DiskPlace& place, const char* verb) {
    if (done.saved_as_sector_dump) {
        std::printf("The image file '%s' was a track dump; it is saved as its sector dump.\n",
                    place.file);
    }
    std::printf("%s file%s %s; %s sectors free.\n", Decimal(done.files).text,
                done.files == 1 ? "" : "s", verb, Decimal(done.free).text);
}

void report_list_past_end(const Outcome& outcome) {
    print_past_end("Volume", outcome);
}
