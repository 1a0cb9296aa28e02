// Which physical drives a volume lies on, as Windows 2000 and later tell through its disk
// extents. Floppy and optical drives, and Windows before 2000, do not tell.
#pragma once

#include <cstdint>

#include "winapi.h"

inline constexpr int32_t DRIVE_LETTERS = 26;

// Physical drive numbers 0 to 31, a bit each.
using DriveSet = uint32_t;

// "\\.\X:", the device path of the volume of drive letter X.
struct VolumePath {
    char text[8];
};
VolumePath volume_path(char letter);

// The drives the open volume lies on, wholly or in part; none when it does not tell.
DriveSet drives_of_volume(HANDLE volume);

// The drives the volume of drive letter X lies on; none when it does not open or tell.
DriveSet drives_of_letter(char letter);

inline bool holds(DriveSet drives, int32_t drive) {
    return drive >= 0 && drive < 32 && (drives >> drive & 1) != 0;
}
