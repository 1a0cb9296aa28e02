// Raw slot access on the 9x family: whole 512-byte sectors of a drive letter's volume through
// the VWIN32 driver's absolute disk read/write service.
#pragma once

#include <cstdint>
#include <span>

#include "device/card.h"
#include "device/outcome.h"
#include "winapi.h"

// The VWIN32 driver opened for reading, and reads through it, for whoever reads many runs.
HANDLE open_vwin32_reader();
DWORD read_sectors_through(HANDLE vwin32, int32_t drive_index, std::span<uint8_t> buffer,
                           uint64_t byte_offset);

// Writes the buffer at byte_offset with the logical volume locked around the one request and the
// read-back that checks it. Success, or a failure with status RESULT_NO_DRIVER or
// RESULT_WRITE_FAILED.
Outcome write_sectors_vwin32(int32_t drive_index, std::span<const uint8_t> buffer,
                             uint64_t byte_offset);

// Locks or unlocks the drive's logical volume on an open VWIN32 handle. 1 when granted, else 0.
int32_t lock_logical_volume(HANDLE vwin32, uint8_t drive_number, uint8_t lock_level,
                            uint16_t permissions);
int32_t unlock_logical_volume(HANDLE vwin32, uint8_t drive_number);

// A drive letter's volume as a card: the driver opened once for reading, the logical volume
// locked around a write.
extern const CardAccess LETTER_ACCESS;
