// What a change of the card replaces, kept in the user's own folder before the card is touched,
// so that UNDO can put it back byte for byte.
//
// A record is one file: a header (when, which card, which command), then entries, each whole or
// not at all (it ends in its own checksum, and a record is read up to its first entry that is not
// whole). A kept entry holds the bytes a run of the change will replace, or one byte where they
// are all that value; a left entry holds the digest of each device sector a run leaves. Every
// kept entry is written and flushed before the card's first write, and each run's left entry
// before that run is written: wherever a cut falls, what the card lost is in the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "device/failure.h"
#include "device/handle_io.h"
#include "owned_buffer.h"
#include "winapi.h"

struct Card;

// The store is bounded: at most this many bytes of records, and this many changes, the oldest
// let go first; a change that would keep more than the bytes alone is refused.
inline constexpr uint64_t KEPT_BYTES_BOUND = uint64_t{64} << 20;
inline constexpr uint32_t KEPT_CHANGES_BOUND = 20;
inline constexpr size_t KEPT_COMMAND_BYTES = 240;
inline constexpr size_t KEPT_WHEN_BYTES = 20;  // "2026-12-10 16:45:12"
inline constexpr char RECORD_SUFFIX[] = ".undo";
inline constexpr int RECORD_NUMBER_DIGITS = 8;

// How the changes of this run are kept: the record to make and what its header says.
struct ChangeKeeping {
    char folder[MAX_PATH] = {};
    uint32_t number = 0;  // the record's: one more than the store's newest
    char when[KEPT_WHEN_BYTES] = {};
    char command[KEPT_COMMAND_BYTES] = {};  // the change's words, as typed
};

// "folder/00000012.undo" into path (MAX_PATH bytes).
void record_path(const char* folder, uint32_t number, char* path);

// The digest of bytes: 64-bit FNV-1a.
uint64_t digest_of(std::span<const uint8_t> bytes);

// A record being written.
class RecordWriter {
  public:
    RecordWriter() = default;
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // Makes the record (the next free number from keeping's) and writes its header.
    Result open(const ChangeKeeping& keeping, const Card& card);
    // A kept entry: the bytes at byte_offset that a run will replace.
    Result keep(uint64_t byte_offset, std::span<const uint8_t> old_bytes);
    // A left entry: the digests of what the run at byte_offset leaves, a device sector each.
    Result left(uint64_t byte_offset, std::span<const uint8_t> new_bytes);
    // What is written so far reaches the user's disk.
    Result flush();
    // Lets the record go; removed where nothing it keeps was ever written.
    void close(bool remove);

    // The bytes kept entries have written.
    uint64_t kept_bytes() const { return kept_; }
    const char* path() const { return path_; }

  private:
    Result put(std::span<const uint8_t> bytes);
    Result entry(uint8_t tag, uint64_t byte_offset, uint32_t length, std::span<const uint8_t> body,
                 uint8_t uniform, uint8_t value);

    ScopedHandle file_{INVALID_HANDLE_VALUE};
    char path_[MAX_PATH] = {};
    uint64_t kept_ = 0;
};

// The failure of a record's own file: "the undo record 'path': " and the system's reason.
Failure record_failure(int32_t status, DWORD error, const char* path);

// A record as it was read back: its header and its whole entries.
struct RecordHeader {
    char card_path[MAX_PATH] = {};
    char card_shown[MAX_PATH] = {};
    bool has_file = false;
    FileIdentity file;
    char when[KEPT_WHEN_BYTES] = {};
    char command[KEPT_COMMAND_BYTES] = {};
};

struct RecordEntry {
    bool kept = false;  // a kept entry, else a left one
    uint64_t byte_offset = 0;
    uint32_t length = 0;            // the run's bytes on the card
    bool uniform = false;           // kept: every byte is value
    uint8_t value = 0;              // kept and uniform
    const uint8_t* body = nullptr;  // kept: the bytes; left: the digests, 8 bytes a sector
    // Left: the digest of the run's sector-th device sector.
    uint64_t sector_digest(uint32_t sector) const;
};

class RecordReader {
  public:
    // Reads the record at path: its header and its entries up to the first that is not whole.
    Result load(const char* path);

    const RecordHeader& header() const { return header_; }
    std::span<const RecordEntry> entries() const { return {entries_.get(), count_}; }
    // Whether any run of it was written (it holds a left entry).
    bool wrote() const { return wrote_; }
    // Whether it is of this card: its file's identity, or a device's path.
    bool of(const Card& card) const;

  private:
    Owned<uint8_t> bytes_;
    Owned<RecordEntry> entries_;
    size_t count_ = 0;
    bool wrote_ = false;
    RecordHeader header_;
};
