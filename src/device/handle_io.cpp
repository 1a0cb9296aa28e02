#include "device/handle_io.h"

#include <limits>

ScopedHandle::~ScopedHandle() {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    // The reason a transfer failed is the failing call's, not the close's.
    const DWORD reason = GetLastError();
    CloseHandle(handle_);
    SetLastError(reason);
}

static bool move_position(HANDLE handle, int64_t distance, DWORD method, uint64_t* position) {
    LONG high = static_cast<LONG>(distance >> 32);
    // A low part of 0xFFFFFFFF is a valid position: only the last error tells a failure apart.
    SetLastError(NO_ERROR);
    const DWORD low =
        SetFilePointer(handle, static_cast<LONG>(distance & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    if (position != nullptr) {
        *position = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
    }
    return true;
}

bool seek_from_start(HANDLE handle, uint64_t byte_offset) {
    if (byte_offset > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return move_position(handle, static_cast<int64_t>(byte_offset), FILE_BEGIN, nullptr);
}

bool seek_to_end(HANDLE handle, uint64_t& length) {
    return move_position(handle, 0, FILE_END, &length);
}

bool read_exactly(HANDLE handle, std::span<uint8_t> buffer) {
    DWORD moved = 0;
    const auto count = static_cast<DWORD>(buffer.size());
    if (!ReadFile(handle, buffer.data(), count, &moved, nullptr)) return false;
    if (moved == count) return true;
    SetLastError(ERROR_HANDLE_EOF);
    return false;
}

bool write_exactly(HANDLE handle, std::span<const uint8_t> buffer) {
    DWORD moved = 0;
    const auto count = static_cast<DWORD>(buffer.size());
    if (!WriteFile(handle, buffer.data(), count, &moved, nullptr)) return false;
    if (moved == count) return true;
    SetLastError(ERROR_DISK_FULL);
    return false;
}
