#include "device/volume_claim.h"

#include <cstring>

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

Failure locked_volume_failure(char letter, const char* card_shown, DWORD error) {
    const char name[] = {letter, ':', '\0'};
    Text what("Volume ");
    what.add(name);
    if (std::strcmp(card_shown, name) != 0) what.add(" on ").add(card_shown);
    what.add(" could not be locked");
    return Failure::system(RESULT_WRITE_FAILED, error, what.c_str());
}

Result VolumeClaim::claim(int32_t drive, const char* card_shown) {
    for (int32_t index = 0; index < DRIVE_LETTERS; ++index) {
        const auto letter = static_cast<char>('A' + index);
        HANDLE volume = open_volume_on(letter, drive);
        if (volume == INVALID_HANDLE_VALUE) continue;
        held_[index].emplace(volume);
        if (!lock_volume(volume) || !control(volume, FSCTL_DISMOUNT_VOLUME)) {
            return locked_volume_failure(letter, card_shown, GetLastError());
        }
    }
    return std::nullopt;
}

void refresh_disk_layout(HANDLE disk) {
    control(disk, IOCTL_DISK_UPDATE_PROPERTIES);  // advice to Windows: its failure changes nothing
}
