// Whether the card kept what a slot write gave it. Cards and card readers can accept a write and
// keep nothing, or keep it wrong; a slot counts as written only once it has been read back.
#pragma once

#include <cstdint>
#include <span>

// True when read_back equals written. Otherwise the outcome line is told which volume's slot
// (the one at byte_offset) holds something else and at which byte of the slot it first differs,
// and the last error is cleared: the card answered, it only kept something else.
bool holds_what_was_written(std::span<const uint8_t> written, std::span<const uint8_t> read_back,
                            uint64_t byte_offset);
