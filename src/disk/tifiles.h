// A TI file on a PC in the TIFILES form: a 128-byte header ("\x07TIFILES" 0-7, data sectors 8-9,
// flags 10, records per sector 11, end-of-file offset 12, record length 13, level-3 record
// count 14-15, big-endian; the TI name at 16-25, blank-padded, and zeros after it), then the
// file's sectors, 256 bytes each. Older programs wrote the file's descriptor record's first 128
// bytes in place of the header, then the sectors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "disk/file_record.h"

inline constexpr size_t TIFILES_HEADER_BYTES = 128;

// The header a file carries off the disk, from its record.
void encode_tifiles_header(const FileRecord& file, std::span<uint8_t, TIFILES_HEADER_BYTES> header);

// A TI file as a PC holds it, read.
struct TiFileRead {
    enum class Form : uint8_t {
        tifiles,
        record_first,  // the older form
        cut_short,     // a TIFILES header whose sectors the file does not hold: file.allocated
        neither,
    } form = Form::neither;
    // The fields of the file's record (no runs: those are the disk's), its name where named.
    FileRecord file;
    bool named = false;             // the header (or record) holds a valid name, in file.name
    std::span<const uint8_t> body;  // file.allocated sectors
};
TiFileRead read_ti_file(std::span<const uint8_t> bytes);
