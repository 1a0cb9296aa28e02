// A file taken off a TI disk: found by its name, its sectors gathered from its runs in order,
// after the TIFILES header that carries its record's fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "disk/directory.h"
#include "disk/disk_check.h"
#include "disk/tifiles.h"

// A name as the user typed it, matched byte for byte against the disks' blank-padded names.
struct FileSearch {
    enum class Kind : uint8_t { found, missing, other_case } kind = Kind::missing;
    uint32_t record = 0;                      // found: the record's sector
    char other_case[TI_NAME_BYTES + 1] = {};  // other_case: the name that differs only in case
};
FileSearch find_file(DiskBytes disk, const Directory& directory, const char* name);

// The most bytes a file of a disk can take as a TIFILES file.
inline constexpr size_t MOST_FILE_BYTES = TIFILES_HEADER_BYTES + IMAGE_BYTES;

// The file whose record is at sector record of the disk, as TIFILES
// bytes at the start of out (MOST_FILE_BYTES long), their count in length; nothing is written
// into out when a fault is found.
FileFault export_file(DiskBytes disk, uint32_t record, std::span<uint8_t, MOST_FILE_BYTES> out,
                      size_t& length);
