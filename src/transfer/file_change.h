// PUT and DEL: TI files onto a disk and off it, the disk in a volume of the card or in an image
// file. Every file and name is checked and the whole new disk built in memory before anything
// is written; a change that cannot be made whole writes nothing. A volume gets only the sectors
// that changed, in the order that leaves it readable wherever the write is cut; an image file
// is written whole beside itself and renamed over itself, at its own size.
#pragma once

#include <cstdint>

#include "device/failure.h"
#include "transfer/file_transfer.h"

// What a valid TI name is, as a refusal says it.
inline constexpr char TI_NAME_RULE[] = "(1 to 10 characters; no blank, '.' or control byte)";

// What a change came to, for its closing line.
struct ChangeDone {
    uint32_t files = 0;
    uint32_t free = 0;                  // the disk's free sectors after it
    bool saved_as_sector_dump = false;  // the image file was a track dump
};

// PUT: the TIFILES (or older-form) files at paths onto the disk at place, each under the name
// its header holds where that is a valid one, else its file name without its extension. Told of
// each file once all are written.
Result put_files(const DiskPlace& place, const char* const* paths, uint32_t count, FileLine on_put,
                 ChangeDone& done);

// DEL: the files named (byte for byte) off the disk at place; a protected file is not deleted.
Result delete_files(const DiskPlace& place, const char* const* names, uint32_t count,
                    FileLine on_deleted, ChangeDone& done);
