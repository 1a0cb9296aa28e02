// A change of the card's volumes made under its claim (card_claim.h): the card looked at first
// (its end, whether it is a PC's disk), then claimed, and only then read for what the change
// needs and written, each step read back, before the claim is let go.
#pragma once

#include <cstdint>
#include <span>

#include "device/card.h"
#include "device/card_claim.h"
#include "device/failure.h"
#include "disk/disk_change.h"
#include "function_ref.h"
#include "transfer/volume_records.h"

// Reads buffer.size() bytes of the card at byte_offset: NO_ERROR, or why not.
using SlotRead = FunctionRef<DWORD(std::span<uint8_t> buffer, uint64_t byte_offset)>;

// Looks at the card through a reader of its own, then claims it for a change of volumes up to
// last: a volume past its end (where it tells its size) is refused, as is a PC's own disk,
// before anything is claimed; a card that does not answer is left to the claim to report.
Result claim_card(const Card& card, uint32_t last, CardClaim& claim);

// What the volume held before a change, as its first sector, read through the claim, says;
// unknown where it cannot be read.
DiskLabel label_through(CardClaim& claim, uint32_t volume);

// The device sectors the first 34 of a disk take in a slot, which hold its index and most of
// its records.
inline constexpr uint32_t FIRST_SECTORS = FIRST_DATA_SECTOR;

// Reads what a disk's catalogue and a change of its files need from a volume's slot, into disk
// (IMAGE_BYTES, its other sectors left as they are): its sectors from `from` to 33 in one read,
// then the record of each index entry past them that lies on the disk. raw holds FIRST_SECTORS
// device sectors, in pages where the read needs them; sector 0 must be in disk already where
// from is 1. NO_ERROR, or why not; read_bytes counts what was read.
DWORD read_disk_records(const SlotRead& read, uint32_t volume, uint32_t from, uint8_t* raw,
                        uint8_t* disk, uint64_t& read_bytes);

// Reads a volume's disk, as read_disk_records does, through the claim into disk.
Result read_claimed_records(CardClaim& claim, uint32_t volume, uint8_t* disk);

// Writes the disk's sectors named in order, in that order, into the volume's slot through the
// claim: the sectors of one step that follow one another there in one write, each step flushed
// and read back before the next. Success, or the write's failure.
Result write_volume_sectors(CardClaim& claim, uint32_t volume, std::span<const uint8_t> disk,
                            std::span<const ChangedSector> order);

// A failure to read volume's slot, in words that name the volume and the card.
Failure volume_read_failure(const Card& card, uint32_t volume, DWORD error);
