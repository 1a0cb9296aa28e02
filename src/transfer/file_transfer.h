// Single TI files taken off a disk, which lies in a volume of the card or in an image file, and
// saved on the PC as TIFILES files.
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

// Where the disk lies, as a line names it: "volume 5 on /dev/sdb", "the image file 'games.dsk'".
Text place_words(const DiskPlace& place);

// Told of each file as it is saved, put or deleted, so that its line comes before the next is
// read.
using FileLine = FunctionRef<void(const SavedFile& file)>;

// Told of a failure that does not stop the run, at once, so that its line comes in its place.
using FailureLine = FunctionRef<void(const Failure& failure)>;

// DIR: the directory of the disk at place: a volume's, read through one open of the card and one
// read of its slot, or an image file's, read as a write would read it (a track dump as its
// sector dump, the volume widened to 1600 sectors), so that the disk is seen before it is
// written.
Result read_directory_at(const DiskPlace& place, Directory& directory);

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
    FileLine saved;
    FailureLine left;
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
// failure, the one file's, or, each file's already said, RESULT_FILES_LEFT or
// RESULT_INTERRUPTED.
Result get_files(const DiskPlace& place, const GetRequest& request, const GetLines& lines,
                 GetDone& done);

// "There is no file 'load' on volume 5 on /dev/sdb; did you mean LOAD?", or, of a disk that is
// none, "There is no TI disk in volume 5 on /dev/sdb: it is empty.", with status.
Failure no_such_file(int32_t status, const DiskPlace& place, const char* name,
                     const DiskLabel& holds, const char* other_case = "");
