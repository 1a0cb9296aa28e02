// Image files on the PC: loading a disk image for writing, saving a slot read back.
#pragma once

#include <cstdint>
#include <span>

#include "transfer/slot_layout.h"

// Reads the whole file into an IMAGE_BYTES buffer that starts as FILL_BYTE everywhere, so the
// bytes past a short file's end are defined. Stores the file's length in size_out as soon as it
// is known; a file longer than IMAGE_BYTES is never read and gives none.
Buffer load_image_file(const char* path, uint64_t& size_out);

// Creates (or truncates) path and writes byte_count bytes taken from the even positions of
// raw_slot. Returns RESULT_SUCCESS, RESULT_NO_OUTPUT_BUFFER, RESULT_CREATE_FAILED or
// RESULT_SAVE_FAILED.
int32_t save_image_file(const char* path, std::span<const uint8_t> raw_slot, uint32_t byte_count);
