// Failures of the card, in words that name it: the card as a whole, or one of its volumes.
#pragma once

#include <cstdint>

#include "device/card.h"
#include "device/failure.h"

// The steps of a change that a failure names, as "volume 2 on card.img: the write failed: ...".
inline constexpr char STEP_OPEN[] = "it did not open for writing";
inline constexpr char STEP_CLAIM[] = "it could not be claimed";
inline constexpr char STEP_WRITE[] = "the write failed";
inline constexpr char STEP_FLUSH[] = "the flush after the write failed";
inline constexpr char STEP_READ_BACK[] = "the read-back after the write failed";
inline constexpr char STEP_KEEP[] = "what it held could not be read to be kept for UNDO";

// "<card>: <what>: <reason>", the reason the card's own system gives for error.
Failure card_failure(const Card& card, int32_t status, DWORD error, const char* what = nullptr);

// "volume N on <card>: <what>: <reason>", of the volume whose slot holds byte_offset.
Failure volume_failure(const Card& card, int32_t status, DWORD error, uint64_t byte_offset,
                       const char* what = nullptr);

// "volume N on <card>", as a line names a volume.
Text volume_on(const Card& card, uint32_t volume);
