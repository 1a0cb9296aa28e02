#include "device/volume_disks.h"

#include <algorithm>

#include "device/handle_io.h"

VolumePath volume_path(char letter) {
    VolumePath path = {"\\\\.\\?:"};
    path.text[4] = letter;
    return path;
}

DriveSet drives_of_volume(HANDLE volume) {
    constexpr DWORD MOST_EXTENTS = 16;  // a volume spanning more disks is not looked into
    constexpr DWORD SET_BITS = 32;
    union {
        VOLUME_DISK_EXTENTS record;
        uint8_t bytes[sizeof(VOLUME_DISK_EXTENTS) + (MOST_EXTENTS - 1) * sizeof(DISK_EXTENT)];
    } extents{};
    DWORD returned = 0;
    if (!DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &extents,
                         sizeof extents, &returned, nullptr)) {
        return 0;
    }
    DriveSet drives = 0;
    const DWORD count = std::min(extents.record.NumberOfDiskExtents, MOST_EXTENTS);
    for (const DISK_EXTENT* e = extents.record.Extents; e != extents.record.Extents + count; ++e) {
        if (e->DiskNumber < SET_BITS) drives |= DriveSet{1} << e->DiskNumber;
    }
    return drives;
}

DriveSet drives_of_letter(char letter) {
    const ScopedHandle volume(CreateFileA(volume_path(letter).text, 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    return volume ? drives_of_volume(volume.get()) : 0;
}
