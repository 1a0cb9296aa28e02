// Image files on the PC: loading a disk image for writing, saving a slot read back.
#pragma once

#include <cstdint>
#include <span>

#include "device/card.h"
#include "device/outcome.h"
#include "disk/volume_header.h"
#include "transfer/slot_layout.h"

// Whether a file (or anything the system opens for reading) is there by that name.
bool file_exists(const char* path);

// Reads the whole file into a buffer of capacity bytes that starts as FILL_BYTE everywhere, its
// length in length. None when it cannot, with outcome saying why, as load_image_file says it.
Buffer load_file(const char* path, size_t capacity, size_t& length, Outcome& outcome);

// Reads the whole file into an IMAGE_BYTES buffer that starts as FILL_BYTE everywhere, so the
// bytes past a short file's end are defined. None when it cannot, with outcome saying why:
// RESULT_NO_SOURCE with the system's reason, or RESULT_IMAGE_TOO_LARGE with the file's length
// (a file longer than IMAGE_BYTES is never read).
Buffer load_image_file(const char* path, Outcome& outcome);

// Creates (or truncates) path and writes bytes into it: refused, before anything is opened for
// writing, where path names a device or the card. A file that could not be written whole is
// removed. Success, or a failure with status RESULT_CREATE_FAILED or RESULT_SAVE_FAILED.
Outcome save_file_bytes(const char* path, const Card& card, std::span<const uint8_t> bytes);

// What a file being replaced is called while it is: the new one is written whole and flushed
// beside the old one under NEW_SUFFIX, the old one steps aside under OLD_SUFFIX, the new one
// takes its name, and the old one is deleted. A file left under either name by a cut run is
// whole.
inline constexpr char NEW_SUFFIX[] = ".slotpush-new";
inline constexpr char OLD_SUFFIX[] = ".slotpush-old";

// Replaces the file at path by one that holds bytes, as above. Success, or a failure with status
// RESULT_CREATE_FAILED or RESULT_SAVE_FAILED that leaves the old file at path.
Outcome replace_file_bytes(const char* path, std::span<const uint8_t> bytes);

// Creates (or truncates) path and writes the disk image held in the even positions of raw_slot;
// where trimmed is given, a TI disk is saved at its own size (trim_to_geometry), and trimmed
// says how. Refused, before anything is opened for writing, where path names a device or the
// card read from. Success, or a failure with status RESULT_NO_OUTPUT_BUFFER,
// RESULT_CREATE_FAILED or RESULT_SAVE_FAILED.
Outcome save_image_file(const char* path, const Card& card, std::span<const uint8_t> raw_slot,
                        Trimmed* trimmed = nullptr);
