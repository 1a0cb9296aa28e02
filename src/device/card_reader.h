// The card opened once for reading, through its family: runs of bytes read at any offset, and
// whole aligned sectors one at a time for its catalogue. Nothing is claimed, locked or written,
// so that it reads while the card is mounted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "device/card.h"
#include "device/handle_io.h"
#include "function_ref.h"
#include "owned_buffer.h"
#include "slotpush.h"

// How a walk over the card's volumes ended: at its last volume; where the card ends, after the
// volume before `volume`; at its first volume, which lies past the card's end; where the walker
// stopped it; or at a Ctrl-C between two volumes.
struct WalkEnd {
    enum class Kind : uint8_t { last, card_end, first_past_end, stopped, interrupted } kind;
    uint32_t volume = 0;
};

class CardReader {
  public:
    explicit CardReader(const Card& card);

    // Whether the card opened for reading: nothing, or why not, said of the card (status
    // RESULT_NO_SOURCE).
    Result opened() const;
    // The card's length in bytes, where the system tells it.
    std::optional<uint64_t> size() const { return size_; }
    // The card's whole volumes where its size is known: every volume from 1 to this one.
    std::optional<uint32_t> whole_volumes() const;
    // Whether the card is a PC's own disk, asked through this reader (and false where it cannot
    // say): a write refuses such a disk before it claims anything.
    bool is_pc_disk() const;

    // The refusal of a volume past the card's end, naming its last whole volume where the card
    // tells it: "volume 5 is past the card's end; its last whole volume is 4.", or, as a listing
    // says it in a line of its own, "Volume 5 is ...".
    Failure past_end(uint32_t volume, bool own_line = false) const;

    // Walks volumes first to last (0: to the card's end), reading each one's first sector into
    // sector(): visit is told of each, with NO_ERROR or why its sector could not be read, and
    // stops the walk by returning false.
    WalkEnd for_each_volume(uint32_t first, uint32_t last,
                            FunctionRef<bool(uint32_t volume, DWORD error)> visit);

    // Reads buffer.size() bytes at byte_offset: NO_ERROR, or why they could not be read.
    DWORD read(std::span<uint8_t> buffer, uint64_t byte_offset);
    // Reads the sector at byte_offset into sector(): NO_ERROR, or why it could not be read.
    DWORD read_sector(uint64_t byte_offset);
    std::span<const uint8_t, DEVICE_SECTOR_BYTES> sector() const {
        return std::span<const uint8_t, DEVICE_SECTOR_BYTES>{page_.get(), DEVICE_SECTOR_BYTES};
    }

  private:
    // Reads the first sector of volume into sector(), error saying how that went; false where the
    // card ends before the volume: past its whole volumes, or, where it tells no size, where a
    // read there finds nothing. Nothing is read past a known end.
    bool read_volume_start(uint32_t volume, DWORD& error);

    const Card& card_;
    ScopedHandle device_;
    Pages page_;
    DWORD open_error_ = NO_ERROR;
    std::optional<uint64_t> size_;
};
