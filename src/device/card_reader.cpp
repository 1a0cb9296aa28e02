#include "device/card_reader.h"

#include <algorithm>

#include "device/card_failure.h"

CardReader::CardReader(const Card& card) : card_(card), device_(card.access->open_reader(card)) {
    if (!device_) {
        open_error_ = GetLastError();
        return;
    }
    if (card.access->size != nullptr) size_ = card.access->size(device_.get());
}

Result CardReader::opened() const {
    if (open_error_ == NO_ERROR) return std::nullopt;
    return card_failure(card_, RESULT_NO_SOURCE, open_error_);
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

namespace {

// Where the system does not tell the card's size, a read at a slot's start that finds nothing
// there is the card's end.
bool ends_the_card(DWORD error) {
    return error == ERROR_HANDLE_EOF || error == ERROR_SECTOR_NOT_FOUND;
}

}  // namespace

bool CardReader::read_volume_start(uint32_t volume, DWORD& error) {
    error = NO_ERROR;
    const std::optional<uint32_t> whole = whole_volumes();
    if (whole && volume > *whole) return false;
    error = read_sector(volume_byte_offset(volume));
    return whole || !ends_the_card(error);
}

WalkEnd CardReader::for_each_volume(uint32_t first, uint32_t last,
                                    FunctionRef<bool(uint32_t volume, DWORD error)> visit) {
    using Kind = WalkEnd::Kind;
    for (uint32_t volume = first;; ++volume) {
        DWORD error = NO_ERROR;
        if (!read_volume_start(volume, error)) {
            return {volume == first ? Kind::first_past_end : Kind::card_end, volume};
        }
        if (!visit(volume, error)) return {Kind::stopped, volume};
        if (volume == last || volume == UINT32_MAX) return {Kind::last, volume};
        if (interrupted()) return {Kind::interrupted, volume};
    }
}

Failure CardReader::past_end(uint32_t volume, bool own_line) const {
    Text words(own_line ? "Volume " : "volume ");
    words.number(volume).add(" is past the card's end");
    const std::optional<uint32_t> last = whole_volumes();
    if (last == 0u) words.add("; the card holds no whole volume");
    if (last && *last != 0) words.add("; its last whole volume is ").number(*last);
    words.add(".");
    return own_line ? Failure::line(STATUS_REFUSED, words) : Failure(STATUS_REFUSED, words);
}
