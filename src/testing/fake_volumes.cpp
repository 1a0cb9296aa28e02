#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <vector>

#include "testing/fake_parts.h"

namespace fake {

namespace {}  // namespace

// "\\.\X:" names the volume of drive letter X.
HANDLE open_volume(const char* name, DWORD access) {
    const bool volume_name = std::strlen(name) == 6 && has_prefix(name, DEVICE_PREFIX) &&
                             name[5] == ':' && std::isalpha(static_cast<unsigned char>(name[4]));
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[4])));
    if (!volume_name || machine().mounted_volumes.count(letter) == 0) {
        return fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    return machine().add_handle({name, Machine::Open::Kind::volume, -1, 0, access, letter});
}

// From NT 6 on, raw writes into a mounted volume that is not locked are refused.
bool write_blocked(int drive, uint64_t offset, uint64_t count) {
    const auto& version = machine().version;
    if (!version || version->dwPlatformId != VER_PLATFORM_WIN32_NT || version->dwMajorVersion < 6) {
        return false;
    }
    return std::any_of(machine().mounted_volumes.begin(), machine().mounted_volumes.end(),
                       [&](const auto& entry) {
                           const MountedVolume& v = entry.second;
                           return v.drive == drive && v.mounted && !v.locked &&
                                  offset < v.first_byte + v.bytes && v.first_byte < offset + count;
                       });
}

BOOL volume_control(Machine::Open& open, DWORD code, LPVOID out, DWORD out_bytes,
                    LPDWORD returned) {
    MountedVolume& volume = machine().mounted_volumes[open.letter];
    switch (code) {
        case IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS: {
            if (!asks_like_windows_2000()) return fail(ERROR_INVALID_FUNCTION, FALSE);
            std::vector<DISK_EXTENT> extents;
            if (volume.first_extent_on) {
                extents.push_back({static_cast<DWORD>(*volume.first_extent_on), {}, {}});
            }
            extents.push_back({static_cast<DWORD>(volume.drive), {}, {}});
            extents.back().StartingOffset.QuadPart = static_cast<LONGLONG>(volume.first_byte);
            extents.back().ExtentLength.QuadPart = static_cast<LONGLONG>(volume.bytes);
            const DWORD bytes = offsetof(VOLUME_DISK_EXTENTS, Extents) +
                                static_cast<DWORD>(extents.size() * sizeof(DISK_EXTENT));
            if (out_bytes < bytes) return fail(ERROR_MORE_DATA, FALSE);
            auto* record = static_cast<VOLUME_DISK_EXTENTS*>(out);
            record->NumberOfDiskExtents = static_cast<DWORD>(extents.size());
            std::memcpy(record->Extents, extents.data(), extents.size() * sizeof(DISK_EXTENT));
            if (returned != nullptr) *returned = bytes;
            return TRUE;
        }
        case FSCTL_LOCK_VOLUME:
            if (volume.in_use || volume.locked) return fail(ERROR_ACCESS_DENIED, FALSE);
            volume.locked = true;
            return TRUE;
        case FSCTL_DISMOUNT_VOLUME:
            volume.mounted = false;
            return TRUE;
        default:
            return fail(ERROR_INVALID_FUNCTION, FALSE);
    }
}

void release_volume(char letter) {
    MountedVolume& volume = machine().mounted_volumes[letter];
    volume.locked = false;
    volume.mounted = true;
}

}  // namespace fake
