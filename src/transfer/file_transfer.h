// Single TI files taken off a disk, which lies in a volume of the card or in an image file, and
// saved on the PC as TIFILES files.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/outcome.h"
#include "disk/volume_header.h"

// Where a disk lies: volume `volume` of the card, or the image file `file` where that is named.
struct DiskPlace {
    const Card* card = nullptr;
    uint32_t volume = 0;
    const char* file = nullptr;
};

// What GET saved: the file as the catalogue shows it, and the PC file it went into.
struct SavedFile {
    char name[TI_NAME_BYTES + 1] = {};
    char type[12] = {};
    uint32_t sectors = 0;  // the file's data and its record, as DIR counts them
    const char* path = nullptr;
};

// The outcome said of the disk at place and of the file name (the TI name typed, or the PC
// file read).
Outcome said_of_file(Outcome outcome, const DiskPlace& place, const char* name);

// Told of each file as it is saved, so that its line comes before the next is read.
using FileSaved = void (*)(const SavedFile& saved, const DiskPlace& place);

// GET: the file `name` of the disk at place into the PC file `path` (where that is nullptr, the
// file's TI name with what a PC's file systems refuse replaced by '_'); every file of the disk,
// each under its own name, where name is nullptr. An output file that names a device or the card
// is refused. saved counts the files saved, the last failure stops the run.
Outcome get_files(const DiskPlace& place, const char* name, const char* path, FileSaved on_saved,
                  uint32_t& saved);

// A TI name as a PC file's name: '_' for what a PC's file systems refuse (/ \ : * ? " < > |, a
// byte other than printable ASCII, a name of dots alone).
void pc_file_name(const char* shown, char (&file)[TI_NAME_BYTES + 1]);
