// What a step of a transfer came to, carried back to the front end as a value: its status, the
// system's code for why it failed (taken where the failing call returned), what failed and
// where, and what the failure was about where the code alone does not say. The front end
// prints the outcome line from it.
#pragma once

#include <cstdint>
#include <optional>

#include "slotpush.h"
#include "winapi.h"

// A volume's disk as the catalogue names it.
struct DiskLabel {
    // unknown: its first sector could not be read.
    enum class Kind : uint8_t { unknown, empty, not_a_disk, disk } kind = Kind::unknown;
    char name[11] = {};  // of a disk, as the console shows it
};

struct Outcome {
    enum class About : uint8_t {
        system,            // the system's reason for what `where` names
        card_volume,       // a volume on the card could not be locked: letter, card_name
        slot_differs,      // the card does not hold what was written: volume, byte
        not_an_image,      // the image carries no volume signature
        image_too_large,   // the image file is longer than a disk image: length
        past_card_end,     // volume lies past the card's end: volume, last_volume
        listed,            // the catalogue's own lines have said all there is
        not_a_card,        // the named path is neither a disk nor a file: card_name
        not_one_disk,      // no single physical drive holds the named letter's volume: card_name
        pc_disk,           // a fixed disk with partitions, not a card: card_name
        output_no_file,    // the read-back's output names a device, not a file: path
        output_is_card,    // the read-back's output is the card file itself: path
        no_such_file,      // the disk holds no file of that name: file_name, other_name
        file_damaged,      // the file's record does not say where its data is whole: fault
        disk_damaged,      // the disk is not changed: fault (FileFault), entry, sector, ti_name
        change_refused,    // the change cannot be made: fault (ChangeFault), ti_name, file_name;
                           // sectors_free and sectors_needed where the disk is full
        not_a_ti_file,     // the PC file is no TI file: file_name, fault (TiFileRead::Form)
        no_valid_name,     // the PC file gives no valid TI name: file_name
        not_a_backup,      // a backup's file is not a whole slot's bytes: path, length
        two_backups,       // two backup files are for one volume: path, file_name, volume
        output_is_source,  // the file to save into is the disk being read: path
        output_exists,     // a file is there already and may not be replaced: path
        output_read_only,  // the file to replace may only be read: path
        output_linked,     // the file to replace has other names (hard links): path, length
        no_folder,         // a folder named is not there: path
        not_a_folder,      // a folder named is something else: path
        interrupted,       // a Ctrl-C stopped the run between two of its steps
    };
    // What failed.
    enum class Where : uint8_t {
        nothing_named,  // memory, or a step that names nothing of the user's
        image_file,     // the image file being written to the card: path
        card,           // the card as a whole, opening or claiming it: card_name
        card_volume,    // volume `volume` of the card: card_name
        output_file,    // the file a read-back saves into: path
        input_file,     // a PC file a change reads: path
    };
    int32_t status = RESULT_SUCCESS;
    DWORD error = NO_ERROR;
    About about = About::system;
    Where where = Where::nothing_named;
    const char* path = nullptr;       // the image or output file
    const char* card_name = nullptr;  // the card, as the console shows it
    uint32_t volume = 0;              // the card's volume the transfer concerns
    char letter = 0;                  // the drive letter of a volume that could not be locked
    uint64_t length = 0;              // the image file's length
    uint64_t byte = 0;                // the first byte of a slot that differs from what was written
    // The card's last whole volume: 0 where it has none, none where its size is not known.
    std::optional<uint32_t> last_volume;
    DiskLabel held;   // what the volume held before a write
    DiskLabel holds;  // what the volume holds after a write, or a read-back saved
    // A read-back saved at the disk's own size: 1 cut to disk_sectors, 2 kept at 1600 sectors
    // with the card's geometry (Trimmed::Kind); 0 saved as the slot holds it.
    uint8_t trim = 0;
    uint32_t disk_sectors = 0;
    bool whole_slot = false;  // a backup saved the slot's every byte, its odd ones included
    uint8_t trim_why = 0;     // why a trim kept 1600 sectors (Trimmed::Why)
    // A write's image whose total said fewer sectors (said_total) than its files use (reach):
    // those keep their marks in the bitmap widened to 1600 sectors.
    uint32_t said_total = 0;
    uint32_t reach = 0;
    // A file of a disk, which lies in volume `volume` of the card or in the image file `path`.
    const char* file_name = nullptr;  // as the user typed it, or the PC file PUT reads
    char other_name[11] = {};         // a name on the disk that differs from it only in case
    char ti_name[11] = {};            // the name of the file concerned, as the console shows it
    uint8_t fault = 0;                // why, as the About says
    uint32_t entry = 0;               // the index entry at fault, from 1
    uint32_t sector = 0;              // the disk's sector at fault
    uint32_t sectors_free = 0;
    uint32_t sectors_needed = 0;
    bool failed() const { return status != RESULT_SUCCESS; }
};

inline Outcome succeeded() {
    return {};
}

inline Outcome failed(int32_t status, DWORD error, Outcome::About about = Outcome::About::system) {
    Outcome outcome;
    outcome.status = status;
    outcome.error = error;
    outcome.about = about;
    return outcome;
}

// A failure whose system call has just returned: the thread's last error is taken at once.
inline Outcome failed_with_last_error(int32_t status) {
    return failed(status, GetLastError());
}

// A failure of the card as a whole, or of its volume whose slot starts at byte_offset; the
// card's name is filled in where the card is known.
inline Outcome card_failed(int32_t status, DWORD error) {
    Outcome outcome = failed(status, error);
    outcome.where = Outcome::Where::card;
    return outcome;
}
inline Outcome volume_failed(int32_t status, DWORD error, uint64_t byte_offset) {
    Outcome outcome = failed(status, error);
    outcome.where = Outcome::Where::card_volume;
    outcome.volume = volume_at(byte_offset);
    return outcome;
}

// The same outcome, its failure said of the named file where nothing else was named.
inline Outcome said_of(Outcome outcome, Outcome::Where where, const char* path) {
    if (outcome.failed() && outcome.where == Outcome::Where::nothing_named) {
        outcome.where = where;
        outcome.path = path;
    }
    return outcome;
}

// The same outcome, said of the card by its name.
inline Outcome said_of_card(Outcome outcome, const char* card_name) {
    outcome.card_name = card_name;
    return outcome;
}
