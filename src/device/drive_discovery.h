// Finding the candidate drives of each family, listing them and letting the user pick one.
#pragma once

#include <cstdint>

#include "winapi.h"

// Lists the fixed-disk letters D: to Z: through VWIN32: the letter index the user picks, or
// NO_DRIVE.
int32_t list_drives_vwin32();

// Lists the removable physical drives 0 to 15: the drive number the user picks, or NO_DRIVE.
int32_t list_drives_physical();

// What a drive says it is, vendor and product; empty when it says nothing.
struct DriveModel {
    char text[80];
};

// 0 when the drive opened for writing (geometry then holds what it reports, left as the caller
// set it where it reports nothing; size_mb its size in decimal megabytes; and model, when asked
// for, what a removable drive says it is), 1 when it did not open.
int32_t probe_physical_drive(const char* path, DISK_GEOMETRY& geometry, int64_t& size_mb,
                             DriveModel* model = nullptr);
