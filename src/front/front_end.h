// The process entry: the command line read by the table of commands, the card settled once
// (named, stored in the drive-choice file, or chosen), the command run and its failure said.
#pragma once

#include <cstdint>

#include "owned_buffer.h"

// The whole run; returns the process exit status.
int slotpush_main(int argc, char** argv);

// The run as the process makes it: its output unbuffered, so that each line reaches a file or a
// pipe as it is said; a Ctrl-C held until the step under way is done; and output that could not
// be written a failure of its own (STATUS_OUTPUT_LOST).
int slotpush_process(int argc, char** argv);

// The drive-choice file's name: the program path with its last three characters replaced by CFG
// (all of a shorter path). None when no memory is left for it.
Owned<char> drive_choice_file_name(const char* program_path);

// The physical drive number stored in the drive-choice file, NO_DRIVE where none is. A stored
// number that names no physical drive the tool can use (0 to 15; -1 asks) is refused with one
// line naming the file and the number: false.
bool load_drive_choice(const char* typed_path, int32_t& stored_drive);
