// Disk images and drive-choice files as the tests and the fuzzers' seeds need them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

// A sector dump of file_bytes bytes whose sector 0 names total_sectors, carries "DSK" and
// has a bitmap of all 0xFF; every other byte is a pattern that differs from FILL_BYTE.
std::vector<uint8_t> sector_dump(uint16_t total_sectors, size_t file_bytes);

// A full single-density track dump whose records hold the first 720 sectors of image, each
// record naming its own position.
std::vector<uint8_t> track_dump_of(const std::vector<uint8_t>& image);

// A file of the disk: its descriptor record's flags (bit 0 program, bit 1 internal, bit 3
// protected, bit 7 variable), record length and data sectors.
struct DiskFile {
    const char* name;
    uint8_t flags;
    uint8_t record_length;
    uint16_t data_sectors;
};

// A 720-sector sector dump named "FILES" holding these files: sector 1 indexes their
// descriptor records (sectors 2 on), and their data follows, each file's in one run; the bitmap
// marks what they use.
std::vector<uint8_t> disk_with_files(const std::vector<DiskFile>& files);

// The four bytes of a drive-choice file holding drive.
std::vector<uint8_t> drive_choice_bytes(int32_t drive);

}  // namespace testing_support
