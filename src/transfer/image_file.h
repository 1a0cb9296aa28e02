// Image files on the PC: loading a disk image for writing, saving a slot read back.
#pragma once

#include <cstdint>
#include <span>

#include "device/card.h"
#include "device/handle_io.h"
#include "device/outcome.h"
#include "disk/volume_header.h"
#include "transfer/slot_layout.h"

// Whether a file (or anything the system opens for reading) is there by that name.
bool file_exists(const char* path);

// Reads the whole file into a buffer of capacity bytes that starts as FILL_BYTE everywhere, its
// length in length. None when it cannot, with outcome saying why, as load_image_file says it,
// the file called as where says.
Buffer load_file(const char* path, size_t capacity, size_t& length, Outcome& outcome,
                 Outcome::Where where = Outcome::Where::image_file);

// The same of a file open already, at handle.
Buffer load_from(HANDLE file, const char* path, size_t capacity, size_t& length, Outcome& outcome,
                 Outcome::Where where = Outcome::Where::image_file);

// An image file claimed for a change: opened so that no other program may open it for writing
// (its share mode; on Linux its flock, which any program that honours flock honours) until the
// change is saved, and read through that handle. Another's claim is waited for a short while; a
// file renamed over meanwhile is opened again by its name, so that the change reads the file
// the name holds. A file that may only be read is refused as a save would refuse it.
class ImageClaim {
  public:
    Outcome take(const char* path);
    HANDLE handle() const { return file_.get(); }
    // Lets the file go, where its new file cannot take its name while it is held (Windows).
    void release() { file_.reset(INVALID_HANDLE_VALUE); }

  private:
    ScopedHandle file_{INVALID_HANDLE_VALUE};
};

// Reads the whole file into an IMAGE_BYTES buffer that starts as FILL_BYTE everywhere, so the
// bytes past a short file's end are defined. None when it cannot, with outcome saying why:
// RESULT_NO_SOURCE with the system's reason, or RESULT_IMAGE_TOO_LARGE with the file's length
// (a file longer than IMAGE_BYTES is never read).
Buffer load_image_file(const char* path, Outcome& outcome);

// Whether some odd byte of a slot is not the filler, which a save of the slot's disk (its even
// bytes) would lose.
bool odd_bytes_hold_data(std::span<const uint8_t> raw_slot);

// Saves the disk image held in the even positions of raw_slot into path (save_whole_file,
// guarded against the card read from); with trim, a TI disk at its own size
// (trim_to_geometry), trimmed saying how; with whole, the slot's every byte instead. Success, or
// a failure with status RESULT_NO_SOURCE, RESULT_CREATE_FAILED or RESULT_SAVE_FAILED.
Outcome save_image_file(const char* path, const Card& card, std::span<const uint8_t> raw_slot,
                        bool trim, bool whole, Trimmed& trimmed);
