// Cards opened by a name and read or written at byte offsets: a physical drive of the NT
// family, and a path the user names (a file that stands for a card, or a disk the system names
// its own way).
#pragma once

#include <cstdint>

#include "device/card.h"

// "\\.\PHYSICALDRIVE<n>", the device path of physical drive n.
inline constexpr char PHYSICAL_DRIVE_PREFIX[] = "\\\\.\\PHYSICALDRIVE";
struct DevicePath {
    char text[32];
};
DevicePath physical_drive_path(int32_t drive);

// A physical drive: its volumes locked and dismounted around the write (VolumeClaim), the
// disk's layout read anew after it. Its size as Windows XP and later tell it.
extern const CardAccess PHYSICAL_DRIVE_ACCESS;

// A named path: claimed by the system itself at the first write. Its size as a disk's or a
// file's end tells it.
extern const CardAccess NAMED_PATH_ACCESS;
