// Image files on the PC: loading a disk image for writing, saving a slot read back.
#pragma once

#include <cstdint>
#include <span>

#include "device/card.h"
#include "device/failure.h"
#include "device/handle_io.h"
#include "disk/volume_header.h"
#include "transfer/file_save.h"
#include "transfer/slot_layout.h"

// Whether a file (or anything the system opens for reading) is there by that name.
bool file_exists(const char* path);

// A PC file read whole: its bytes, in a buffer that starts as FILL_BYTE everywhere, so that the
// bytes past a short file's end are defined, and its length.
struct LoadedFile {
    Buffer bytes;
    size_t length = 0;
};

// Reads the whole file into loaded, in a buffer of capacity bytes. Success, or a failure that
// names the file as called: RESULT_NO_SOURCE with the system's reason, or RESULT_IMAGE_TOO_LARGE
// with the file's length (a file longer than capacity is never read).
Result load_file(const char* path, size_t capacity, LoadedFile& loaded,
                 const char* called = IMAGE_FILE);

// The same of a file open already, at handle.
Result load_from(HANDLE file, const char* path, size_t capacity, LoadedFile& loaded,
                 const char* called = IMAGE_FILE);

// An image file claimed for a change: opened so that no other program may open it for writing
// (its share mode; on Linux its flock, which any program that honours flock honours) until the
// change is saved, and read through that handle. Another's claim is waited for a short while; a
// file renamed over meanwhile is opened again by its name, so that the change reads the file
// the name holds. A file that may only be read is refused as a save would refuse it.
class ImageClaim {
  public:
    Result take(const char* path);
    HANDLE handle() const { return file_.get(); }
    // Lets the file go, where its new file cannot take its name while it is held (Windows).
    void release() { file_.reset(INVALID_HANDLE_VALUE); }

  private:
    ScopedHandle file_{INVALID_HANDLE_VALUE};
};

// Whether some odd byte of a slot is not the filler, which a save of the slot's disk (its even
// bytes) would lose.
bool odd_bytes_hold_data(std::span<const uint8_t> raw_slot);

// Saves the disk image held in the even positions of raw_slot into path (save_whole_file,
// guarded against the card read from); with trim, a TI disk at its own size
// (trim_to_geometry), trimmed saying how; with whole, the slot's every byte instead. Success, or
// a failure with status RESULT_NO_SOURCE, RESULT_CREATE_FAILED or RESULT_SAVE_FAILED.
Result save_image_file(const char* path, const Card& card, std::span<const uint8_t> raw_slot,
                       bool trim, bool whole, Trimmed& trimmed);
