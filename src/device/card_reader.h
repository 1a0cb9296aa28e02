// The card opened once for reading, through its family: runs of bytes read at any offset, and
// whole aligned sectors one at a time for its catalogue. Nothing is claimed, locked or written,
// so that it reads while the card is mounted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "device/card.h"
#include "device/handle_io.h"
#include "owned_buffer.h"
#include "slotpush.h"

class CardReader {
  public:
    explicit CardReader(const Card& card);

    // NO_ERROR, or why the card could not be opened for reading.
    DWORD open_error() const { return open_error_; }
    // The card's length in bytes, where the system tells it.
    std::optional<uint64_t> size() const { return size_; }
    // The card's whole volumes where its size is known: every volume from 1 to this one.
    std::optional<uint32_t> whole_volumes() const;
    // Whether the card is a PC's own disk, asked through this reader (and false where it cannot
    // say): a write refuses such a disk before it claims anything.
    bool is_pc_disk() const;

    // Reads the first sector of volume into sector(), error saying how that went; false where the
    // card ends before the volume: past its whole volumes, or, where it tells no size, where a
    // read there finds nothing. Nothing is read past a known end.
    bool read_volume_start(uint32_t volume, DWORD& error);
    // The refusal, with status, of a volume past the card's end, naming its last whole volume
    // where the card tells it.
    Outcome past_end(uint32_t volume, int32_t status) const;

    // Reads buffer.size() bytes at byte_offset: NO_ERROR, or why they could not be read.
    DWORD read(std::span<uint8_t> buffer, uint64_t byte_offset);
    // Reads the sector at byte_offset into sector(): NO_ERROR, or why it could not be read.
    DWORD read_sector(uint64_t byte_offset);
    std::span<const uint8_t, DEVICE_SECTOR_BYTES> sector() const {
        return std::span<const uint8_t, DEVICE_SECTOR_BYTES>{page_.get(), DEVICE_SECTOR_BYTES};
    }

  private:
    const Card& card_;
    ScopedHandle device_;
    Pages page_;
    DWORD open_error_ = NO_ERROR;
    std::optional<uint64_t> size_;
};
