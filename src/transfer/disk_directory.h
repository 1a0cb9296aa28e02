// The files a TI disk holds, as the TI's own disk catalogue shows them: the file descriptor
// index in sector 1 (up to 127 big-endian sector numbers, ended by 0) and the file descriptor
// record each entry points at.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/outcome.h"
#include "transfer/image_rules.h"

// One entry of the index, as read: a file, or the reason it names none.
struct DirectoryEntry {
    enum class Kind : uint8_t {
        file,            // name, sectors, type and protection from its record
        the_index,       // it points at sector 1, the index itself
        past_the_end,    // it points past the disk's end (or the volume's slot)
        listed_already,  // an earlier entry points at the same record
        not_a_record,    // the record's name is not printable text
    } kind = Kind::file;
    uint32_t sector = 0;   // of its record
    char name[11] = {};    // as the catalogue shows names
    uint32_t sectors = 0;  // the allocated sectors and the record itself
    char type[12] = {};    // "PROGRAM", "DIS/FIX 80", "INT/VAR 254"
    bool is_protected = false;
};

inline constexpr uint32_t MOST_FILES = 127;

struct Directory {
    VolumeSummary disk;
    DirectoryEntry entries[MOST_FILES];
    uint32_t count = 0;  // entries read, up to the index's end
    uint32_t files = 0;  // of them, files
    uint32_t used = 0;   // sectors the files use
};

// Reads the directory of a disk image; when it holds no TI disk, disk says so and there are no
// entries. Never reads outside the image, and every text is printable.
Directory read_directory(ConstImageView image);

// DIR: prints the directory of volume volume_number of the card, read with one open of the card
// and one read of the volume's slot. An empty or non-TI volume gets the catalogue's word for it
// and fails with RESULT_NO_SOURCE.
Outcome list_volume_files(const Card& card, uint32_t volume_number);

// DIR of an image file, read as a write would read it (a track dump as its sector dump, the
// volume widened to 1600 sectors), so that the disk is seen before it is written.
Outcome list_image_files(const char* path);
