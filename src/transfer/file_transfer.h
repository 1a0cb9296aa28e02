// Single TI files taken off a disk, which lies in a volume of the card or in an image file, and
// saved on the PC as TIFILES files.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/outcome.h"
#include "disk/volume_header.h"
#include "function_ref.h"
#include "transfer/file_save.h"
#include "transfer/pc_file_names.h"

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
};

// The outcome said of the disk at place and of the file name (the TI name typed, or the PC
// file read).
Outcome said_of_file(Outcome outcome, const DiskPlace& place, const char* name);

// Told of each file as it is saved, so that its line comes before the next is read.
using FileSaved = void (*)(const SavedFile& saved, const DiskPlace& place);

// What GET is asked: the file `name` (nullptr: every file of the disk) into the PC file `path`
// (nullptr: a name of its own, from its TI name), replacing a file there as may_replace says.
struct GetRequest {
    const char* name = nullptr;
    const char* path = nullptr;
    const MayReplace* may_replace = nullptr;
};

// Told of each file as it is saved, and of each that is not, with why, while the names its
// lines need are still there.
struct GetLines {
    FunctionRef<void(const SavedFile& saved, const DiskPlace& place)> saved;
    FunctionRef<void(const Outcome& left)> left;
};

struct GetDone {
    uint32_t saved = 0;
    uint32_t left = 0;  // not saved: refused, damaged, or not reached before a Ctrl-C
};

// GET: the files asked for off the disk at place, as TIFILES files. A file is never saved over
// the disk read, the card, or a file this run saved, and over another file only where
// may_replace lets it (save_whole_file). A name of the file's own is made safe on a PC: where it
// is taken by this run or the disk read, it gets a number ("A_B~2"). Every file of the disk is
// tried, whatever became of the one before, until a Ctrl-C. Success; else the disk's own
// failure, or, each file's already said, RESULT_FILES_LEFT or RESULT_INTERRUPTED.
Outcome get_files(const DiskPlace& place, const GetRequest& request, const GetLines& lines,
                  GetDone& done);
