// Finding the candidate drives of each family, listing them and letting the user pick one.
#pragma once

#include <cstdint>

#include "winapi.h"

// The geometry of the last probed physical drive; the NT listing clears it before each probe.
extern DISK_GEOMETRY drive_geometry;

// Lists the fixed-disk letters D: to Z: through VWIN32 and sets selected_drive to the letter
// index the user picks.
void list_drives_vwin32();

// Lists the removable physical drives 0 to 15 and sets selected_drive to the drive number the
// user picks.
void list_drives_physical();

// 1 when the letter is a fixed disk from D: on (its line is then printed), else 0.
int32_t probe_drive_letter(int32_t drive_index);

// 0 when the drive opened for writing (size_mb then holds its size in decimal megabytes and
// drive_geometry what the drive reported), 1 when it did not open.
int32_t probe_physical_drive(const char* path, int64_t& size_mb);
