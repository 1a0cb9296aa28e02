// The store of the changes kept for UNDO: the user's own folder for such state (never the
// current folder), its records numbered in the order they were made, bounded in bytes and in
// number, the oldest let go first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/change_record.h"
#include "function_ref.h"

// The store's folder, made where missing: the system's folder for the user's state. A failure
// where there is none, or it cannot be made.
Result store_folder(char (&folder)[MAX_PATH]);

// How the change of these words will be kept: the store's next record, the time, the words.
Result prepare_keeping(char* const* words, int count, ChangeKeeping& keeping);

// A record of the store: its number and its size.
struct StoredRecord {
    uint32_t number = 0;
    uint64_t bytes = 0;
};
inline constexpr size_t MOST_STORED = 256;

// The store's records, newest first, into records (each with its size, where sizes is true);
// how many there are.
size_t stored_records(const char* folder, StoredRecord (&records)[MOST_STORED], bool sizes = true);

// Lets the oldest records go while the store holds more than its bounds allow; the newest
// always stays.
void prune_store(const char* folder);
