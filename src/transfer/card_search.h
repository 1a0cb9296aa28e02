// FIND: the volumes whose disk, or one of whose files, has a name that holds a text, read with
// as little of each volume as tells it: sector 0, and for a TI disk its first 34 sectors in one
// read (the index and the records that lie there) and each record past them.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/failure.h"
#include "disk/directory.h"
#include "function_ref.h"

// A volume found: its disk's name and, where a file's name holds the text, that file's entry
// (nullptr where the disk's name does); or a volume that could not be read, and why (error).
struct Found {
    uint32_t volume = 0;
    const char* disk = nullptr;
    const DirectoryEntry* file = nullptr;
    DWORD error = NO_ERROR;
};
using FoundLine = FunctionRef<void(const Found& found)>;

// What a search came to: the matches, the volumes that could not be read, and the bytes read
// from the card.
struct Search {
    uint32_t found = 0;
    uint32_t unread = 0;
    uint64_t read_bytes = 0;
};

// Reads every volume of the card through one open and says each match. A volume that cannot be
// read is said too, and the search goes on. Fails where the card does not open, or a Ctrl-C
// stops it.
Result find_on_card(const Card& card, const char* text, FoundLine on_found, Search& search);
