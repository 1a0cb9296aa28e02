#include "device/volume_claim.h"

#include <algorithm>

namespace {

// Explorer and virus scanners hold short-lived handles on a new volume: ask again for a while.
constexpr int32_t LOCK_ATTEMPTS = 20;
constexpr DWORD LOCK_RETRY_MILLISECONDS = 250;

bool control(HANDLE handle, DWORD code, void* out = nullptr, DWORD out_bytes = 0) {
    DWORD returned = 0;
    return DeviceIoControl(handle, code, nullptr, 0, out, out_bytes, &returned, nullptr) != FALSE;
}

// Whether a volume lies, wholly or in part, on physical drive `drive`. Only volumes of disks
// answer: floppy and optical drives, and Windows before 2000, do not.
bool lies_on(HANDLE volume, int32_t drive) {
    constexpr DWORD MOST_EXTENTS = 16;  // a volume spanning more disks is not looked into
    union {
        VOLUME_DISK_EXTENTS record;
        uint8_t bytes[sizeof(VOLUME_DISK_EXTENTS) + (MOST_EXTENTS - 1) * sizeof(DISK_EXTENT)];
    } extents{};
    if (!control(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, &extents, sizeof extents)) {
        return false;
    }
    const DWORD count = std::min(extents.record.NumberOfDiskExtents, MOST_EXTENTS);
    const DISK_EXTENT* extent = extents.record.Extents;
    return std::any_of(extent, extent + count, [&](const DISK_EXTENT& e) {
        return e.DiskNumber == static_cast<DWORD>(drive);
    });
}

// The volume of drive letter `letter` when it lies on physical drive `drive`; else none.
HANDLE open_volume_on(char letter, int32_t drive) {
    char name[] = "\\\\.\\?:";
    name[4] = letter;
    HANDLE volume =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE || lies_on(volume, drive)) return volume;
    CloseHandle(volume);
    return INVALID_HANDLE_VALUE;
}

bool lock_volume(HANDLE volume) {
    for (int32_t attempt = 1;; ++attempt) {
        if (control(volume, FSCTL_LOCK_VOLUME)) return true;
        if (attempt == LOCK_ATTEMPTS) return false;
        Sleep(LOCK_RETRY_MILLISECONDS);
    }
}

}  // namespace

Outcome VolumeClaim::claim(int32_t drive) {
    for (int32_t index = 0; index < LETTERS; ++index) {
        const auto letter = static_cast<char>('A' + index);
        HANDLE volume = open_volume_on(letter, drive);
        if (volume == INVALID_HANDLE_VALUE) continue;
        held_[index].emplace(volume);
        if (!lock_volume(volume) || !control(volume, FSCTL_DISMOUNT_VOLUME)) {
            Outcome refused = failed_with_last_error(RESULT_WRITE_FAILED);
            refused.about = Outcome::About::card_volume;
            refused.letter = letter;
            return refused;
        }
    }
    return succeeded();
}

void refresh_disk_layout(HANDLE disk) {
    control(disk, IOCTL_DISK_UPDATE_PROPERTIES);  // advice to Windows: its failure changes nothing
}
