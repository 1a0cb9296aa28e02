// Files added to a disk: PUT from PC files, as they are (TIFILES, or the older form) or made from
// PC text (DIS/VAR 80 records, or a BASIC program from its listing), and COPY from another disk.
// Each is a change of the disk (file_change.h), all or nothing.
#pragma once

#include <cstdint>

#include "transfer/file_change.h"

// How PUT reads a PC file: as a TI file, as text, or as a BASIC listing.
enum class PutForm : uint8_t { as_is, text, basic };

struct PutRequest {
    const char* const* paths = nullptr;
    uint32_t count = 0;
    PutForm form = PutForm::as_is;
    // The TI name for the one file put (blank-padded, valid); nullptr: its own.
    const uint8_t* name = nullptr;
    bool force = false;  // a file of that name, not protected, is replaced
};

// PUT: the PC files onto the disk at place, each under the name its header holds where that is
// a valid one (made from PC text: its file name without its extension, in upper case), else
// its file name without its extension, or the name asked for. Told of each file once all are
// written.
Result put_files(const DiskPlace& place, const PutRequest& request, FileLine on_put,
                 ChangeDone& done);

// COPY: the files named (every file where none is) from the disk at from onto the disk at to,
// each byte for byte what GET and then PUT would make of it; with force a file of that name on
// to, not protected, is replaced. from and to are never one disk.
Result copy_files(const DiskPlace& from, const DiskPlace& to, const char* const* names,
                  uint32_t count, bool force, FileLine on_copied, ChangeDone& done);
