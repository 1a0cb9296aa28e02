// Every file the tool writes on the PC (a read-back, a backup's file, a file GET takes off a
// disk, an image file PUT or DEL changes) goes through here: it is written whole into a new file
// beside its target, one of its own that no other run can hold, flushed, and only then given the
// target's name. A failure removes the new file and leaves the old one as it was; a machine
// that stops at any moment leaves the old file or the new one under the name, whole.
//
// The name goes over in one step where the system has such a move (rename on Linux, MoveFileExA
// on the NT family). The 9x family has none: there the old file steps aside (the new file's name
// and ".old"), the new one takes the name and the old one is removed. A cut between those two
// moves leaves no file under the name but both files whole beside it, and the next save of that
// name on the 9x family finds them and finishes the move (or, where the new file is gone, puts
// the old one back) before anything else.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "device/card.h"
#include "device/failure.h"
#include "device/handle_io.h"
#include "function_ref.h"

// What a failure calls the PC files it names.
inline constexpr char IMAGE_FILE[] = "the image file";
inline constexpr char INPUT_FILE[] = "the file";
inline constexpr char OUTPUT_FILE[] = "the output file";

// "the image file 'games.dsk'": a PC file as a failure names it, called as above.
Text file_called(const char* called, const char* path);

// Whether a file that is there already may be replaced: asked with its name as given.
using MayReplace = FunctionRef<bool(const char* path)>;

// What a save never writes over, and what a failure calls the file.
struct SaveGuard {
    const Card* card = nullptr;               // the card, by any of its names
    std::optional<FileIdentity> source;       // the disk being read, by any of its names
    const MayReplace* may_replace = nullptr;  // nullptr: a file there is replaced
    const char* called = OUTPUT_FILE;         // the file to save, as a failure calls it
    // What lets go of the file the caller holds open to claim it, where the system moves no file
    // over one held open (Windows): called, and the move tried once more, where it refuses.
    // Another program that opens the old file meanwhile makes the move fail, never lose a change.
    const FunctionRef<void()>* let_go = nullptr;
};

// Saves bytes under path as above. Where path is a link, the file it names is replaced and the
// link stays. Refused, before anything is written, where path names a device, the card, the
// source, a file that may only be read or one of several names (hard links, which a new file
// would part), or a file the guard may not replace (RESULT_FILES_LEFT). Success, or a failure
// with status RESULT_CREATE_FAILED (nothing written) or RESULT_SAVE_FAILED.
Result save_whole_file(const char* path, std::span<const uint8_t> bytes, const SaveGuard& guard);

// Whether path names the card or the source the guard keeps, which no save writes over.
bool guards(const SaveGuard& guard, const char* path);

// What names the file at path whatever path reaches it; none where nothing opens there.
std::optional<FileIdentity> identity_at(const char* path);
