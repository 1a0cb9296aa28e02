#include "device/physical_access.h"

#include <charconv>
#include <cstring>

#include "device/handle_io.h"
#include "device/slot_check.h"
#include "device/volume_claim.h"
#include "owned_buffer.h"
#include "slotpush.h"
#include "winapi.h"

DevicePath physical_drive_path(int32_t drive) {
    static const char PREFIX[] = "\\\\.\\PHYSICALDRIVE";
    DevicePath path = {};
    std::memcpy(path.text, PREFIX, sizeof PREFIX - 1);
    std::to_chars(path.text + sizeof PREFIX - 1, path.text + sizeof path.text - 1, drive);
    return path;
}

// Each call opens the drive, positions, moves all bytes in one call and closes it again; a
// position the platform refuses stops the transfer, so no byte ever moves anywhere else.
DWORD read_physical(const char* path, std::span<uint8_t> buffer, uint64_t byte_offset) {
    ScopedHandle drive(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    if (!drive) return GetLastError();
    return read_at(drive.get(), byte_offset, buffer);
}

namespace {

// Reads the slot back through a handle that bypasses the system's cache, into whole pages as
// such reads need, and compares it with what was written.
Outcome verify_physical(int32_t drive_number, std::span<const uint8_t> written,
                        uint64_t byte_offset) {
    const Pages pages = obtain_pages(written.size());
    if (!pages) return failed_with_last_error(RESULT_WRITE_FAILED);
    ScopedHandle drive(CreateFileA(physical_drive_path(drive_number).text, GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_NO_BUFFERING, nullptr));
    if (!drive) return failed_with_last_error(RESULT_WRITE_FAILED);
    const std::span<uint8_t> read_back{pages.get(), written.size()};
    if (const DWORD error = read_at(drive.get(), byte_offset, read_back)) {
        return failed(RESULT_WRITE_FAILED, error);
    }
    return check_slot(written, read_back, byte_offset);
}

}  // namespace

// The drive's volumes are locked and dismounted first, and stay so until the drive is closed
// again; a volume that cannot be locked stops the write before any byte moves. The write is
// flushed to the card and read back from it while they still are.
Outcome write_physical(int32_t drive_number, std::span<const uint8_t> buffer,
                       uint64_t byte_offset) {
    VolumeClaim volumes;
    if (const Outcome claimed = volumes.claim(drive_number); claimed.failed()) return claimed;
    ScopedHandle drive(CreateFileA(physical_drive_path(drive_number).text, GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_SYSTEM, nullptr));
    if (!drive) return failed_with_last_error(RESULT_DRIVE_NOT_OPENED);
    if (const DWORD error = write_at(drive.get(), byte_offset, buffer)) {
        return failed(RESULT_WRITE_FAILED, error);
    }
    const Outcome outcome = FlushFileBuffers(drive.get())
                                ? verify_physical(drive_number, buffer, byte_offset)
                                : failed_with_last_error(RESULT_WRITE_FAILED);
    refresh_disk_layout(drive.get());
    return outcome;
}
