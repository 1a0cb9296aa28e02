// The functions of the command table's rows, one a command, and the checks some make before the
// card is settled. Each says its lines as it goes and returns its failure, whose words the front
// end says.
#pragma once

#include "front/command_table.h"

// <DSK file> <volume#>, and <DSK file>... <first>[-<last>]: images written into volumes.
Result write_one(const CommandRun& run);
Result check_write_many(const Args& args, const Options& options);
Result write_many(const CommandRun& run);

// FLASH <volume#> [<file>]: a volume read back.
Result read_back(const CommandRun& run);

// NAME, FORMAT and CLEAR: a volume's own housekeeping.
Result name_disk(const CommandRun& run);
Result format_disk(const CommandRun& run);
Result clear_volume(const CommandRun& run);

// FLASH <first>-[<last>] <folder> and RESTORE <folder> [<range>].
Result check_back_up(const Args& args, const Options& options);
Result back_up(const CommandRun& run);
Result restore(const CommandRun& run);

// LIST, DIR and FIND: what the card and its disks hold.
Result list(const CommandRun& run);
Result dir(const CommandRun& run);
Result find(const CommandRun& run);

// GET, PUT, DEL, TYPE, COPY, REN, PROTECT and UNPROTECT: a disk's files.
Result get(const CommandRun& run);
Result check_put(const Args& args, const Options& options);
Result put(const CommandRun& run);
Result del(const CommandRun& run);
Result type(const CommandRun& run);
Result copy(const CommandRun& run);
Result ren(const CommandRun& run);
Result protect(const CommandRun& run);
Result unprotect(const CommandRun& run);

// UNDO and UNDO LIST: the changes kept for the card.
Result undo(const CommandRun& run);
Result undo_list(const CommandRun& run);
