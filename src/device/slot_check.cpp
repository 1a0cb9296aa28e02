#include "device/slot_check.h"

#include <cstring>

#include "device/card_failure.h"

namespace {

// The index of the first byte that differs, or the length where none does. Compared a word at a
// time (a byte at a time took a sixth of a verified write): the fixed-size copies are moves,
// not calls, as the Windows programs import no memcmp.
size_t first_difference(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    size_t at = 0;
    for (; at + sizeof(uint64_t) <= a.size(); at += sizeof(uint64_t)) {
        uint64_t x = 0;
        uint64_t y = 0;
        std::memcpy(&x, a.data() + at, sizeof x);
        std::memcpy(&y, b.data() + at, sizeof y);
        if (x != y) break;
    }
    while (at < a.size() && a[at] == b[at]) ++at;
    return at;
}

}  // namespace

Result check_slot(const Card& card, std::span<const uint8_t> written,
                  std::span<const uint8_t> read_back, uint64_t byte_offset) {
    const size_t differs = first_difference(written, read_back);
    if (differs == written.size()) return std::nullopt;
    const uint32_t volume = volume_at(byte_offset);
    Text words = volume_on(card, volume);
    words.add(" does not hold what was written; the first difference is at byte ")
        .number(byte_offset - volume_byte_offset(volume) + differs)
        .add(" of its slot.");
    return Failure(RESULT_WRITE_FAILED, words);
}
