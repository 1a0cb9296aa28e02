#include "device/handle_io.h"

#include <limits>

static DWORD move_position(HANDLE handle, int64_t distance, DWORD method, uint64_t* position) {
    LONG high = static_cast<LONG>(distance >> 32);
    // A low part of 0xFFFFFFFF is a valid position: only the last error tells a failure apart,
    // so it is cleared first, as Windows documents for this call.
    SetLastError(NO_ERROR);
    const DWORD low =
        SetFilePointer(handle, static_cast<LONG>(distance & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER) {
        if (const DWORD error = GetLastError(); error != NO_ERROR) return error;
    }
    if (position != nullptr) {
        *position = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
    }
    return NO_ERROR;
}

// Moves the position to byte_offset from the start.
static DWORD seek_from_start(HANDLE handle, uint64_t byte_offset) {
    if (byte_offset > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        return ERROR_INVALID_PARAMETER;
    }
    return move_position(handle, static_cast<int64_t>(byte_offset), FILE_BEGIN, nullptr);
}

DWORD seek_to_end(HANDLE handle, uint64_t& length) {
    return move_position(handle, 0, FILE_END, &length);
}

DWORD read_at(HANDLE handle, uint64_t byte_offset, std::span<uint8_t> buffer) {
    if (const DWORD error = seek_from_start(handle, byte_offset)) return error;
    DWORD moved = 0;
    const auto count = static_cast<DWORD>(buffer.size());
    if (!ReadFile(handle, buffer.data(), count, &moved, nullptr)) return GetLastError();
    return moved == count ? NO_ERROR : ERROR_HANDLE_EOF;
}

DWORD write_at(HANDLE handle, uint64_t byte_offset, std::span<const uint8_t> buffer) {
    if (const DWORD error = seek_from_start(handle, byte_offset)) return error;
    DWORD moved = 0;
    const auto count = static_cast<DWORD>(buffer.size());
    if (!WriteFile(handle, buffer.data(), count, &moved, nullptr)) return GetLastError();
    return moved == count ? NO_ERROR : ERROR_DISK_FULL;
}

std::optional<uint64_t> disk_length(HANDLE disk) {
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (!DeviceIoControl(disk, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                         &returned, nullptr) ||
        length.Length.QuadPart < 0) {
        return std::nullopt;
    }
    return static_cast<uint64_t>(length.Length.QuadPart);
}

std::optional<FileIdentity> identity_of(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                        information.nFileIndexLow};
}
