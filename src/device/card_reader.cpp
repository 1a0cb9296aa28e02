#include "device/card_reader.h"

#include "device/physical_access.h"
#include "device/vwin32_access.h"

namespace {

HANDLE open_card() {
    if (use_vwin32) return open_vwin32_reader();
    return CreateFileA(physical_drive_path(selected_drive).text, GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The drive's length as Windows XP and later tell it; else where its end is, which a file that
// stands in for a card tells. 0 where neither does.
uint64_t card_size(HANDLE drive) {
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (DeviceIoControl(drive, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                        &returned, nullptr)) {
        return length.Length.QuadPart > 0 ? static_cast<uint64_t>(length.Length.QuadPart) : 0;
    }
    uint64_t end = 0;
    return seek_to_end(drive, end) == NO_ERROR ? end : 0;
}

}  // namespace

CardReader::CardReader() : device_(open_card()) {
    if (!device_) {
        open_error_ = GetLastError();
        return;
    }
    page_ = obtain_pages(DEVICE_SECTOR_BYTES);
    if (!page_) {
        open_error_ = GetLastError();
        return;
    }
    if (!use_vwin32) size_ = card_size(device_.get());
}

DWORD CardReader::read_sector(uint64_t byte_offset) {
    const std::span<uint8_t> sector{page_.get(), DEVICE_SECTOR_BYTES};
    if (use_vwin32) return read_sectors_through(device_.get(), selected_drive, sector, byte_offset);
    return read_at(device_.get(), byte_offset, sector);
}
