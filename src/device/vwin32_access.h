// Raw slot access on the 9x family: whole 512-byte sectors of a drive letter's volume through
// the VWIN32 driver's absolute disk read/write service.
#pragma once

#include <cstdint>
#include <span>

#include "device/card.h"
#include "device/failure.h"
#include "winapi.h"

// Writes one run to the drive letter's card (letter_card) with its logical volume locked around
// the request and the read-back that checks it. Success, or a failure with status
// RESULT_DRIVE_NOT_OPENED or RESULT_WRITE_FAILED (a refused lock, or a run the service cannot
// describe, among them: that run is not sent).
Result write_sectors_vwin32(const Card& card, std::span<const uint8_t> buffer,
                            uint64_t byte_offset);

// A drive letter's volume as a card: the driver opened once for reading, the logical volume
// locked for a change (its claim).
extern const CardAccess LETTER_ACCESS;
