#include "device/card_reader.h"

#include <algorithm>

CardReader::CardReader(const Card& card) : card_(card), device_(card.access->open_reader(card)) {
    if (!device_) {
        open_error_ = GetLastError();
        return;
    }
    if (card.access->size != nullptr) size_ = card.access->size(device_.get());
}

std::optional<uint32_t> CardReader::whole_volumes() const {
    if (!size_) return std::nullopt;
    return static_cast<uint32_t>(std::min<uint64_t>(*size_ / SLOT_BYTES, UINT32_MAX));
}

bool CardReader::is_pc_disk() const {
    return device_ && card_.access->pc_disk != nullptr && card_.access->pc_disk(device_.get());
}

DWORD CardReader::read(std::span<uint8_t> buffer, uint64_t byte_offset) {
    return card_.access->read(card_, device_.get(), buffer, byte_offset);
}

// The sector's page is obtained at the first sector read: a slot's read needs none.
DWORD CardReader::read_sector(uint64_t byte_offset) {
    if (!page_) {
        page_ = obtain_pages(DEVICE_SECTOR_BYTES);
        if (!page_) return GetLastError();
    }
    return read({page_.get(), DEVICE_SECTOR_BYTES}, byte_offset);
}
