// A disk's files, the disk in a volume of the card or in an image file: where it lies, how the
// lines name it and its files, and the disk loaded for reading.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/failure.h"
#include "disk/directory.h"
#include "disk/volume_header.h"
#include "function_ref.h"
#include "transfer/file_save.h"
#include "transfer/pc_file_names.h"
#include "transfer/volume_records.h"
#include "transfer/volume_transfer.h"

// Where a disk lies: volume `volume` of the card, or the image file `file` where that is named.
struct DiskPlace {
    const Card* card = nullptr;
    uint32_t volume = 0;
    const char* file = nullptr;
};

// What GET saved: the file as the catalogue shows it, and the PC file it went into, with why
// that file's name is more than the TI name.
struct SavedFile {
    char name[TI_NAME_BYTES + 1] = {};
    char type[12] = {};
    uint32_t sectors = 0;  // the file's data and its record, as DIR counts them
    const char* path = nullptr;
    Renamed renamed = Renamed::no;
    char was[TI_NAME_BYTES + 1] = {};  // its name before REN, or the file a PUT replaced
    uint32_t lines = 0;                // of text, where it went as text
    bool listing = false;              // of a BASIC program
};

// Where the disk lies, as a line names it: "volume 5 on /dev/sdb", "the image file 'games.dsk'".
Text place_words(const DiskPlace& place);

// Told of each file as it is saved, put or deleted, so that its line comes before the next is
// read.
using FileLine = FunctionRef<void(const SavedFile& file)>;

// Told of a failure that does not stop the run, at once, so that its line comes in its place.
using FailureLine = FunctionRef<void(const Failure& failure)>;

// The disk at place, loaded whole for reading: a volume's 1600 sectors, or an image file as a
// write would read it; image.present tells the bytes the disk holds, past which no file lies.
Result load_disk(const DiskPlace& place, PreparedImage& image);

// DIR: the directory of the disk at place: a volume's, read through one open of the card and one
// read of its slot, or an image file's, read as a write would read it (a track dump as its
// sector dump, the volume widened to 1600 sectors), so that the disk is seen before it is
// written.
Result read_directory_at(const DiskPlace& place, Directory& directory);

// "There is no file 'load' on volume 5 on /dev/sdb; did you mean LOAD?", or, of a disk that is
// none, "There is no TI disk in volume 5 on /dev/sdb: it is empty.", with status.
Failure no_such_file(int32_t status, const DiskPlace& place, const char* name,
                     const DiskLabel& holds, const char* other_case = "");
