// The files of a disk that a command's names choose, every one chosen before anything is done:
// a name matched byte for byte, or a pattern (* and ?) matched against whole names in any case.
#pragma once

#include <cstdint>

#include "device/failure.h"
#include "disk/directory.h"
#include "transfer/file_transfer.h"

// The records of the files chosen, in the order the names give them.
struct ChosenFiles {
    uint32_t records[MOST_FILES] = {};
    uint32_t count = 0;
};

// Chooses the files the names give. A pattern's matches are chosen once however many patterns
// match them. Refused, with status, where a name is not on the disk (the name that differs
// only in case is suggested) or is named twice, or a pattern matches nothing.
Result choose_files(const DiskPlace& place, DiskBytes disk, const Directory& directory,
                    const char* const* names, uint32_t count, int32_t status, ChosenFiles& chosen);

// Every file of the disk, in its index's order.
void choose_every_file(const Directory& directory, ChosenFiles& chosen);
