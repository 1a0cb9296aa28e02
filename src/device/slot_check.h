// Whether the card kept what a slot write gave it. Cards and card readers can accept a write and
// keep nothing, or keep it wrong; a slot counts as written only once it has been read back.
#pragma once

#include <cstdint>
#include <span>

#include "device/card.h"
#include "device/failure.h"

// Success when read_back equals written. Otherwise the write failed, and the failure names the
// volume of the card whose slot holds something else from byte_offset on and the slot's first
// byte that differs; the system has no reason to give, the card answered and only kept
// something else.
Result check_slot(const Card& card, std::span<const uint8_t> written,
                  std::span<const uint8_t> read_back, uint64_t byte_offset);
