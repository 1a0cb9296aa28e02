// Raw slot access on the 9x family: whole 512-byte sectors of a drive letter's volume through
// the VWIN32 driver's absolute disk read/write service.
#pragma once

#include <cstdint>
#include <span>

#include "device/card.h"
#include "device/outcome.h"
#include "winapi.h"

// Writes the runs in order with the logical volume locked around the requests, each run one
// request and the read-back that checks it. Success, or a failure with status RESULT_NO_DRIVER
// or RESULT_WRITE_FAILED (a refused lock, or a run the service cannot describe, among them:
// that run is not written).
Outcome write_runs_vwin32(int32_t drive_index, const WriteSource& runs);
// The same of one run.
Outcome write_sectors_vwin32(int32_t drive_index, std::span<const uint8_t> buffer,
                             uint64_t byte_offset);

// A drive letter's volume as a card: the driver opened once for reading, the logical volume
// locked around a write.
extern const CardAccess LETTER_ACCESS;
