// Changes of a disk's files, the disk in a volume of the card or in an image file: every file
// and name is checked and the whole new disk built in memory before anything is written, and a
// change that cannot be made whole writes nothing. A volume gets only the sectors that changed,
// in the order that leaves it readable wherever the write is cut; an image file is written whole
// beside itself and renamed over itself, at its own size. PUT and COPY add files (file_put.h);
// DEL, REN, PROTECT and UNPROTECT act on the files in place.
#pragma once

#include <cstdint>

#include "device/failure.h"
#include "disk/disk_change.h"
#include "transfer/file_transfer.h"

// What a valid TI name is, as a refusal says it.
inline constexpr char TI_NAME_RULE[] = "(1 to 10 characters; no blank, '.' or control byte)";

// What a change came to, for its closing line.
struct ChangeDone {
    uint32_t files = 0;
    uint32_t free = 0;                  // the disk's free sectors after it
    bool saved_as_sector_dump = false;  // the image file was a track dump
};

// The files a change has changed, said once it is written.
struct ChangedFiles {
    SavedFile files[MOST_FILES];
    uint32_t count = 0;
};

// Builds a change of the disk loaded for it (checked sound), telling each file it changes.
using ChangeBuild = FunctionRef<Result(DiskBytes disk, const Directory& directory,
                                       DiskChange& change, ChangedFiles& changed)>;

// Loads the disk at place under its claim and checks it; build then changes it in memory, and
// only a change built whole is written and its files told to on_done, in their order.
Result change_disk(const DiskPlace& place, ChangeBuild build, FileLine on_done, ChangeDone& done);

// A change refused, its words given; nothing was written.
Failure change_refused(const Text& words);

// Why the file called name (from the PC file path, where there is one) cannot be put or
// deleted, by ChangeFault; free and needed in sectors.
Failure cannot_change(const DiskPlace& place, ChangeFault fault, const char* name, const char* path,
                      uint32_t free = 0, uint32_t needed = 0);

// The file's line: its name, type and sectors, from its record.
void describe_file(const FileRecord& file, SavedFile& line);

// DEL: the files named (byte for byte, or by patterns) off the disk at place; a protected
// file is not deleted.
Result delete_files(const DiskPlace& place, const char* const* names, uint32_t count,
                    FileLine on_deleted, ChangeDone& done);

// PROTECT and UNPROTECT: the files named set protected, or not.
Result protect_files(const DiskPlace& place, const char* const* names, uint32_t count, bool protect,
                     FileLine on_done, ChangeDone& done);

// REN: the file called old (byte for byte) given the new name (blank-padded, valid), which no
// other file of the disk has; the index stays in name order.
Result rename_file(const DiskPlace& place, const char* old, const uint8_t (&name)[TI_NAME_BYTES],
                   FileLine on_renamed, ChangeDone& done);
