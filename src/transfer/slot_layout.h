// The card's layout: a row of 819200-byte slots, volume N in slot N - 1, and the byte interleave
// that puts image byte k at slot byte 2k with the filler in every odd slot byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "owned_buffer.h"
#include "slotpush.h"

using ImageView = std::span<uint8_t, IMAGE_BYTES>;
using ConstImageView = std::span<const uint8_t, IMAGE_BYTES>;

// A buffer owned by whoever obtained it.
using Buffer = Owned<uint8_t>;

// raw must be twice as long as image: raw[2k] = image[k], raw[2k + 1] = FILL_BYTE.
void interleave(std::span<const uint8_t> image, std::span<uint8_t> raw);

// image[k] = raw[2k] for every byte of image; raw must be at least twice as long.
void deinterleave(std::span<const uint8_t> raw, std::span<uint8_t> image);
