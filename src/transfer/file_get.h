// Files taken off a disk onto the PC: GET, as TIFILES files or as the PC's own text, and TYPE,
// which shows one on the console.
#pragma once

#include <cstdint>
#include <span>

#include "transfer/file_transfer.h"

// What GET is asked: the file `name` (a pattern chooses those it matches; nullptr: every file
// of the disk) into the PC file `path` (a folder there: into it under names of their own;
// nullptr: names of their own; with text, "-": the console), replacing a file there as
// may_replace says; with text, a DISPLAY file's records as lines, a BASIC program as its
// listing.
struct GetRequest {
    const char* name = nullptr;
    const char* path = nullptr;
    const MayReplace* may_replace = nullptr;
    bool text = false;
};

// The console, as GET's "-" and TYPE's text: the console's own line ends, "\n".
inline constexpr char CONSOLE[] = "-";

// Told of each file as it is saved, of each that is not, with why, while the names its lines
// need are still there, and of the text a file gives the console.
struct GetLines {
    FileLine saved;
    FailureLine left;
    FunctionRef<void(std::span<const uint8_t> text)> console;
};

struct GetDone {
    uint32_t saved = 0;
    uint32_t left = 0;  // not saved: refused, damaged, or not reached before a Ctrl-C
};

// GET: the files asked for off the disk at place. A file is never saved over the disk read, the
// card, or a file this run saved, and over another file only where may_replace lets it
// (save_whole_file). A name of the file's own is made safe on a PC: where it is taken by this
// run or the disk read, it gets a number ("A_B~2"); a file saved as text gets .txt after it, a
// listing .bas. Every file chosen is tried, whatever became of the one before, until a Ctrl-C.
// Success; else the disk's own failure, the one file's, or, each file's already said,
// RESULT_FILES_LEFT or RESULT_INTERRUPTED.
Result get_files(const DiskPlace& place, const GetRequest& request, const GetLines& lines,
                 GetDone& done);

// What TYPE shows: a file's text (a DISPLAY file's records or a BASIC listing, as GET --text
// gives it), else its bytes for a dump.
struct TypeLines {
    FunctionRef<void(std::span<const uint8_t> text)> text;
    FunctionRef<void(std::span<const uint8_t> bytes)> dump;
};

// TYPE: the one file name (or a pattern that matches one) chooses on the disk at place.
Result type_file(const DiskPlace& place, const char* name, const TypeLines& lines);
