#include "device/slot_check.h"

#include <algorithm>

Outcome check_slot(std::span<const uint8_t> written, std::span<const uint8_t> read_back,
                   uint64_t byte_offset) {
    const auto [differs, unused] = std::mismatch(written.begin(), written.end(), read_back.begin());
    if (differs == written.end()) return succeeded();
    Outcome outcome = failed(RESULT_WRITE_FAILED, NO_ERROR, Outcome::About::slot_differs);
    outcome.volume = volume_at(byte_offset);
    outcome.byte = static_cast<uint64_t>(differs - written.begin());
    return outcome;
}
