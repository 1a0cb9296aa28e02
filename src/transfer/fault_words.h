// What is wrong with a disk or one of its files, in the words the failure lines use.
#pragma once

#include "disk/disk_check.h"
#include "text.h"

// Why a file cannot be read: "the runs of its data chain go backwards".
const char* file_fault_words(FileFault fault);

// What is wrong with a disk that PUT and DEL do not change: said of the file's name, then of the
// sector or entry ("sector 40 of LOAD is not marked used").
Text disk_fault_words(const DiskFault& found);
