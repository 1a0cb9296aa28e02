#include "device/volume_claim.h"

#include "device/volume_disks.h"

namespace {

// Explorer and virus scanners hold short-lived handles on a new volume: ask again for a while.
constexpr int32_t LOCK_ATTEMPTS = 20;
constexpr DWORD LOCK_RETRY_MILLISECONDS = 250;

bool control(HANDLE handle, DWORD code, void* out = nullptr, DWORD out_bytes = 0) {
    DWORD returned = 0;
    return DeviceIoControl(handle, code, nullptr, 0, out, out_bytes, &returned, nullptr) != FALSE;
}

// The volume of drive letter `letter` when it lies on physical drive `drive`; else none.
HANDLE open_volume_on(char letter, int32_t drive) {
    HANDLE volume =
        CreateFileA(volume_path(letter).text, GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE || holds(drives_of_volume(volume), drive)) {
        return volume;
    }
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
    for (int32_t index = 0; index < DRIVE_LETTERS; ++index) {
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
