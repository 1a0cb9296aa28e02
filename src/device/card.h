// The card a run works on, settled once by the front end and handed down as a value: the name
// the system opens it by, the name the console shows, and the family of access that reaches it.
//
// Each family opens the card for reading, reads a run of bytes, tells the card's size where it
// can, and writes runs of sectors (claim, then write, flush and check each). Each has one home
// where the card is claimed for a write:
// - a physical drive of the NT family: VolumeClaim (volume_claim.h) locks and dismounts the
//   volumes Windows has mounted on it;
// - a drive letter of the 9x family: the VWIN32 driver's logical-volume lock, taken around the
//   write in vwin32_access.cpp;
// - a named path (a file, or a disk the system names its own way): the system's own claim at
//   the first write (on Linux the disk is opened exclusively and locked); a file needs none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "device/handle_io.h"
#include "device/outcome.h"
#include "winapi.h"

inline constexpr size_t CARD_NAME_BYTES = 512;

struct Card;

// A run of bytes a write puts on the card: whole device sectors, from memory obtained with
// obtain_pages (at a multiple of DEVICE_SECTOR_BYTES into it), as a write past the system's
// cache needs them.
struct CardWrite {
    std::span<const uint8_t> bytes;
    uint64_t byte_offset = 0;
};

// The runs of a write, made one at a time, so that a write of many volumes holds one of them in
// memory: prepare puts run i in place (a failure stops the write before it), and written, where
// set, is told once run i is written and checked.
struct WriteSource {
    size_t count = 0;
    Outcome (*prepare)(const void* context, size_t i, CardWrite& run) = nullptr;
    void (*written)(const void* context, size_t i) = nullptr;
    const void* context = nullptr;
};

// The source of runs that lie in memory already; runs must outlive it.
inline WriteSource runs_in_memory(const std::span<const CardWrite>& runs) {
    WriteSource source;
    source.count = runs.size();
    source.context = &runs;
    source.prepare = [](const void* context, size_t i, CardWrite& run) {
        run = (*static_cast<const std::span<const CardWrite>*>(context))[i];
        return succeeded();
    };
    return source;
}

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
    // Claims the card once and writes the source's runs in their order, each flushed to the
    // card and read back to compare before the next is written, so that a cut write leaves
    // every run before it whole. Success, or a failure that says what failed. A PC's disk is
    // refused before this is called (pc_disk).
    Outcome (*write)(const Card& card, const WriteSource& runs);
};

struct Card {
    const CardAccess* access = nullptr;
    int32_t drive = -1;                // the physical drive number, or the letter index (A = 0)
    char path[CARD_NAME_BYTES] = {};   // what the system opens
    char shown[CARD_NAME_BYTES] = {};  // what the console calls it
    // A card file (or a disk the system names as a file): what names it by any path, so that
    // nothing is ever saved over it.
    std::optional<FileIdentity> file;
};
