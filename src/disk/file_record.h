// A file's descriptor record: its name (bytes 0-9), flags (12: bit 0 program, bit 1 internal,
// bit 3 protected, bit 7 variable), records per sector (13), data sectors allocated (14-15,
// big-endian), the end-of-file offset in its last sector (16), its record length (17), its
// level-3 record count (18-19, little-endian), and from byte 28 up to 76 three-byte entries of
// its data chain, ended by an all-zero entry. An entry b0 b1 b2 is a run that starts at sector
// b0 | (b1 & 0x0F) << 8 and ends at the file's own sector (b2 << 4 | b1 >> 4), counted from 0
// over the whole file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "disk/volume_header.h"

inline constexpr uint32_t MOST_RUNS = 76;

// Where a record holds its flags.
inline constexpr size_t RECORD_FLAGS = 12;

namespace file_flags {
inline constexpr uint8_t PROGRAM = 0x01;
inline constexpr uint8_t INTERNAL = 0x02;
inline constexpr uint8_t PROTECTED = 0x08;
inline constexpr uint8_t VARIABLE = 0x80;
}  // namespace file_flags

// A run of consecutive data sectors.
struct Run {
    uint32_t first = 0;
    uint32_t length = 0;
};

// The record's fields that a file carries with it off the disk (a TIFILES header holds the
// same), and where its data lies on the disk.
struct FileRecord {
    uint8_t name[TI_NAME_BYTES] = {};
    uint8_t flags = 0;
    uint8_t records_per_sector = 0;
    uint32_t allocated = 0;  // data sectors
    uint8_t eof_offset = 0;
    uint8_t record_length = 0;
    uint32_t level3_records = 0;
    Run runs[MOST_RUNS];
    uint32_t run_count = 0;
    // False when the chain is not one: a run's end at or before the one before it, or more
    // entries than fit without an ending one (the record's 76 are all runs: that is allowed).
    bool chain_sound = true;
};

FileRecord decode_record(Sector record);
// The record's sector as the TI writes it: the fields, the chain, zeros elsewhere.
void encode_record(const FileRecord& file, WritableSector record);

// A name as typed (length bytes of text) as the disk holds names: blank-padded to 10 bytes;
// false for a longer one.
bool pad_name(const char* text, size_t length, uint8_t (&bytes)[TI_NAME_BYTES]);

// Whether a file may be called so on a disk: 1 to 10 characters, then blanks to the end, none
// of them a blank, a '.' (the TI's separator of device and file) or other than printable ASCII.
bool valid_file_name(const uint8_t* bytes);

// "PROGRAM", or the record format and length: "DIS/VAR 80".
void describe_type(const FileRecord& file, char (&type)[12]);
