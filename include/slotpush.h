// Shared declarations of slotpush: the card's sizes, the transfer result codes and the keywords.
#pragma once

#include <cstdint>

// No drive chosen or stored; else a physical drive number or a drive letter's index (A = 0).
inline constexpr int32_t NO_DRIVE = -1;
// \\.\PHYSICALDRIVE0 to 15: the physical drives the listing offers and a stored number names.
inline constexpr int32_t PHYSICAL_DRIVES = 16;

// A disk image is 1600 sectors of 256 bytes; its slot on the card is 1600 sectors of 512 bytes,
// image byte k at slot byte 2k and every odd slot byte the filler.
inline constexpr uint32_t IMAGE_SECTOR_BYTES = 256;
inline constexpr uint32_t IMAGE_SECTORS = 1600;
inline constexpr uint32_t IMAGE_BYTES = IMAGE_SECTORS * IMAGE_SECTOR_BYTES;  // 409600
inline constexpr uint32_t DEVICE_SECTOR_BYTES = 512;
inline constexpr uint32_t SLOT_BYTES = 2 * IMAGE_BYTES;  // 819200
inline constexpr uint8_t FILL_BYTE = 0xE5;

static_assert(SLOT_BYTES == IMAGE_SECTORS * DEVICE_SECTOR_BYTES);

// Volumes count from 1: volume N fills the slot from byte (N - 1) * SLOT_BYTES of the card, in 64
// bits so that every volume is reachable.
inline constexpr uint64_t volume_byte_offset(uint32_t volume) {
    return (uint64_t{volume} - 1) * SLOT_BYTES;
}
// The volume whose slot holds the card's byte at byte_offset.
inline constexpr uint32_t volume_at(uint64_t byte_offset) {
    return static_cast<uint32_t>(byte_offset / SLOT_BYTES + 1);
}

// The front end's own exit statuses, besides the transfer's result codes below.
inline constexpr int32_t STATUS_USAGE = 1;  // the command line is not understood: usage said
// Refused before anything is read or written: a volume text that names no volume, no card
// chosen or none that can be named, a volume past the card's end (whatever the command). Its
// value is the one the tool has always ended with for these.
inline constexpr int32_t STATUS_REFUSED = -1;

// Transfer result codes; 0 is success. Each means one thing.
inline constexpr int32_t RESULT_SUCCESS = 0;
inline constexpr int32_t RESULT_NO_SOURCE = -2;        // an image file or a slot unread; no memory
inline constexpr int32_t RESULT_WRITE_FAILED = -3;     // the device write failed
inline constexpr int32_t RESULT_NOT_AN_IMAGE = -4;     // no volume signature: refused, reported
inline constexpr int32_t RESULT_IMAGE_TOO_LARGE = -5;  // longer than IMAGE_BYTES: refused, reported
// The card did not open for writing: a physical drive or named path, or the 9x family's VWIN32
// driver.
inline constexpr int32_t RESULT_DRIVE_NOT_OPENED = -9;
inline constexpr int32_t RESULT_CREATE_FAILED = 4;  // read-back: the output file not created
inline constexpr int32_t RESULT_SAVE_FAILED = 8;    // read-back: the output file not written
// PUT, DEL: the change cannot be made whole (a name taken or missing, no room, a damaged disk, a
// file that is no TI file): refused, nothing written.
inline constexpr int32_t RESULT_CHANGE_REFUSED = 16;
// GET: some of the files asked for were not saved (a file there already, a damaged one); the
// others were, and each that was not is named.
inline constexpr int32_t RESULT_FILES_LEFT = 32;
// The run's own output could not be written (a full disk, a pipe no one reads).
inline constexpr int32_t STATUS_OUTPUT_LOST = 64;
// A Ctrl-C stopped the run once the step under way was done; what was done is said.
inline constexpr int32_t RESULT_INTERRUPTED = 130;

// The keyword that stands for the card in place of a file name.
inline constexpr const char* FLASH_KEYWORD = "FLASH";
// The keyword, in place of the image file, that lists what the card's volumes hold.
inline constexpr const char* LIST_KEYWORD = "LIST";
// The keyword, in place of the image file, that lists the files a volume's disk holds.
inline constexpr const char* DIR_KEYWORD = "DIR";
// The keyword that takes files off a disk, as TIFILES files.
inline constexpr const char* GET_KEYWORD = "GET";
// The keywords that put TIFILES files onto a disk and delete files from it.
inline constexpr const char* PUT_KEYWORD = "PUT";
inline constexpr const char* DEL_KEYWORD = "DEL";
// The keywords of a volume's housekeeping: its disk renamed, a new empty disk, the volume emptied.
inline constexpr const char* NAME_KEYWORD = "NAME";
inline constexpr const char* FORMAT_KEYWORD = "FORMAT";
inline constexpr const char* CLEAR_KEYWORD = "CLEAR";
// The keyword that finds disks and files by name.
inline constexpr const char* FIND_KEYWORD = "FIND";
// The keyword that writes a backup's folder back into its volumes.
inline constexpr const char* RESTORE_KEYWORD = "RESTORE";
// The keywords of a disk's files as the TI moves them: shown, copied between disks, renamed,
// protected and unprotected.
inline constexpr const char* TYPE_KEYWORD = "TYPE";
inline constexpr const char* COPY_KEYWORD = "COPY";
inline constexpr const char* REN_KEYWORD = "REN";
inline constexpr const char* PROTECT_KEYWORD = "PROTECT";
inline constexpr const char* UNPROTECT_KEYWORD = "UNPROTECT";
// UNDO puts back the newest change kept for the card; UNDO LIST lists what is kept.
inline constexpr const char* UNDO_KEYWORD = "UNDO";
// The option that names the card: a device or a file.
inline constexpr const char* CARD_OPTION = "--card";
// The option that saves a read-back's disk at its own size.
inline constexpr const char* TRIM_OPTION = "--trim";
// The option that lets GET replace a file that is there already, and PUT and COPY a file of the
// same name on the disk.
inline constexpr const char* FORCE_OPTION = "--force";
// The options that take a file's contents as the PC's own text, or a BASIC listing, and the one
// that gives a file PUT puts a name of the user's.
inline constexpr const char* TEXT_OPTION = "--text";
inline constexpr const char* BASIC_OPTION = "--basic";
inline constexpr const char* AS_OPTION = "--as";
// --no-undo: a change of the card keeps nothing for UNDO.
inline constexpr const char* NO_UNDO_OPTION = "--no-undo";
