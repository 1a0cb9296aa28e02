// Raw slot access on the NT family: a whole physical drive, read or written at a byte offset.
#pragma once

#include <cstdint>
#include <span>

#include "device/outcome.h"

// "\\.\PHYSICALDRIVE<n>", the device path of physical drive n.
struct DevicePath {
    char text[32];
};
DevicePath physical_drive_path(int32_t drive);

// Reads buffer.size() bytes from byte_offset of the drive: NO_ERROR, or the reason it failed.
DWORD read_physical(const char* path, std::span<uint8_t> buffer, uint64_t byte_offset);

// Writes the buffer at byte_offset of physical drive drive_number with one write call, its
// volumes locked and dismounted around it, and reads it back from the card. Success, or a
// failure with status RESULT_DRIVE_NOT_OPENED or RESULT_WRITE_FAILED.
Outcome write_physical(int32_t drive_number, std::span<const uint8_t> buffer, uint64_t byte_offset);
