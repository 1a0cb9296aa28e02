// The card a run works on, settled once by the front end and handed down as a value: the name
// the system opens it by, the name the console shows, and the family of access that reaches it.
//
// Each family opens the card for reading, reads a run of bytes, tells the card's size where it
// can, claims the card for a change (card_claim.h), reads through the claim, and writes runs of
// sectors through it (write, flush and check each step).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "device/failure.h"
#include "device/handle_io.h"
#include "function_ref.h"
#include "winapi.h"

inline constexpr size_t CARD_NAME_BYTES = 512;

struct Card;

// A run of bytes a write puts on the card: whole device sectors, from memory obtained with
// obtain_pages (at a multiple of DEVICE_SECTOR_BYTES into it), as a write past the system's
// cache needs them. The runs of one step are written one after another and then flushed once
// and read back together; ends_step closes a step.
struct CardWrite {
    std::span<const uint8_t> bytes;
    uint64_t byte_offset = 0;
    bool ends_step = true;
};

// Where a run of a write goes on the card, and how long it is.
struct CardSpan {
    uint64_t byte_offset = 0;
    size_t bytes = 0;
};

// The runs of a write, made one at a time, so that a write of many volumes holds one of them in
// memory: prepare puts run i in place (a failure stops the write before it; a run's bytes stay
// in place until its step is read back), and written is told once run i is written and checked.
//
// A source whose prepare of one run leaves the runs before it in place (every source but a run of
// many volumes) may have every run made before the first is written; one that does not tells,
// with place, where run i will go and how long it is without making it.
struct WriteSource {
    size_t count = 0;
    FunctionRef<Result(size_t i, CardWrite& run)> prepare;
    FunctionRef<void(size_t i)> written;
    std::optional<FunctionRef<CardSpan(size_t i)>> place = std::nullopt;
};

// Told of nothing.
inline void no_run_written(size_t) {}

class CardClaim;

struct ChangeKeeping;

struct CardAccess {
    // A handle that reads the card, or INVALID_HANDLE_VALUE with the last error set.
    HANDLE (*open_reader)(const Card& card);
    // Reads buffer.size() bytes at byte_offset through the reader: NO_ERROR, or why not.
    DWORD (*read)(const Card& card, HANDLE reader, std::span<uint8_t> buffer, uint64_t byte_offset);
    // The card's length in bytes, where the system tells it; nullptr where the family has no
    // way to ask.
    std::optional<uint64_t> (*size)(HANDLE reader);
    // Whether the reader's disk is a PC's own (a fixed disk with a partition table or boot
    // record), which is never written; nullptr where the family reaches no such disk.
    bool (*pc_disk)(HANDLE reader);
    // Claims the card for a change, into claim (card_claim.h): success, or why not. A PC's disk
    // is refused before this is called (pc_disk).
    Result (*claim)(CardClaim& claim);
    // Reads buffer.size() bytes (whole sectors, in pages) at byte_offset through the claim, from
    // the card itself: NO_ERROR, or why not.
    DWORD (*read_claimed)(CardClaim& claim, std::span<uint8_t> buffer, uint64_t byte_offset);
    // Writes the source's runs in their order through the claim, each step's runs flushed to
    // the card and read back to compare before the next step is written, so that a cut write
    // leaves every step before it whole. Success, or a failure that says which step failed.
    Result (*write)(CardClaim& claim, const WriteSource& runs);
    // Lets the card go, however the change ended.
    void (*release)(CardClaim& claim);
};

struct Card {
    const CardAccess* access = nullptr;
    int32_t drive = -1;                // the physical drive number, or the letter index (A = 0)
    char path[CARD_NAME_BYTES] = {};   // what the system opens
    char shown[CARD_NAME_BYTES] = {};  // what the console calls it
    // A card file (or a disk the system names as a file): what names it by any path, so that
    // nothing is ever saved over it.
    std::optional<FileIdentity> file;
    bool is_file = false;  // a card file, not a disk: claimed by its share mode
    // Where this run's change of the card keeps what it replaces (change_record.h); none for a
    // run that changes nothing, or keeps nothing (--no-undo, UNDO itself).
    const ChangeKeeping* keeping = nullptr;
};
