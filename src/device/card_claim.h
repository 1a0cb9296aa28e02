// A card claimed for a change: taken before the change reads what it changes and held until its
// last write is read back, so that no other writer (another slotpush, or any program that
// honours the same claim) writes the card meanwhile. Each family claims its own way:
// - a physical drive of the NT family: the volumes Windows has mounted on it locked and
//   dismounted (VolumeClaim), and the drive opened past the system's cache;
// - a named path: opened past the cache, a card file with a share mode that lets no one else
//   open it for writing (on Linux the file's flock), a disk as the system claims it for its
//   first write (on Linux exclusively, taken at once by a write of no bytes);
// - a drive letter of the 9x family: its logical volume locked through VWIN32.
// A claim another program holds is asked for again for a short while, then refused.
#pragma once

#include <optional>

#include "device/card.h"
#include "device/handle_io.h"
#include "device/volume_claim.h"
#include "owned_buffer.h"

// Runs claim until it succeeds, or fails for a reason other than another program holding what
// it claims, which is asked for again for a short while; let_go runs before each new try.
Result claim_while_held(FunctionRef<Result()> claim, FunctionRef<void()> let_go);

class CardClaim {
  public:
    explicit CardClaim(const Card& card) : card(card) {}
    CardClaim(const CardClaim&) = delete;
    CardClaim& operator=(const CardClaim&) = delete;
    ~CardClaim() {
        if (taken) card.access->release(*this);
    }

    // Takes the claim, waiting a short while where another holds it: success, or why not.
    Result take();
    // Reads whole sectors into pages through the claim: NO_ERROR, or why not.
    DWORD read(std::span<uint8_t> buffer, uint64_t byte_offset) {
        return card.access->read_claimed(*this, buffer, byte_offset);
    }
    // Writes the runs through the card's family, each step flushed and read back; where the
    // card keeps its changes, what they replace is kept first (kept_write.cpp).
    Result write(const WriteSource& runs);

    // What the family holds while the claim lasts; the volumes are let go after the handle.
    const Card& card;
    std::optional<VolumeClaim> volumes;         // NT: the drive's volumes, locked and dismounted
    ScopedHandle handle{INVALID_HANDLE_VALUE};  // the card's writer, or the VWIN32 driver (9x)
    bool locked = false;                        // 9x: the logical volume is locked
    bool taken = false;
    Pages back;  // what a run is read back into
    size_t back_bytes = 0;
};
