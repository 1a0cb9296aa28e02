// The card read a sector at a time, for its catalogue: the selected drive opened once, through
// the family use_vwin32 names, whole aligned sectors read, and nothing claimed, locked or
// written, so that it reads while the card is mounted.
#pragma once

#include <cstdint>
#include <span>

#include "device/handle_io.h"
#include "owned_buffer.h"
#include "slotpush.h"

class CardReader {
  public:
    CardReader();

    // NO_ERROR, or why the card could not be opened for reading.
    DWORD open_error() const { return open_error_; }
    // The card's size in bytes; 0 where the system does not tell (the 9x family).
    uint64_t size() const { return size_; }

    // Reads the sector at byte_offset into sector(): NO_ERROR, or why it could not be read.
    DWORD read_sector(uint64_t byte_offset);
    std::span<const uint8_t, DEVICE_SECTOR_BYTES> sector() const {
        return std::span<const uint8_t, DEVICE_SECTOR_BYTES>{page_.get(), DEVICE_SECTOR_BYTES};
    }

  private:
    ScopedHandle device_;
    Pages page_;
    DWORD open_error_ = NO_ERROR;
    uint64_t size_ = 0;
};
