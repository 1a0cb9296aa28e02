#include "transfer/slot_layout.h"

#include <cassert>

#include "winapi.h"

void interleave(std::span<const uint8_t> image, std::span<uint8_t> raw) {
    assert(raw.size() == 2 * image.size());
    for (size_t k = 0; k < image.size(); ++k) {
        raw[2 * k] = image[k];
        raw[2 * k + 1] = FILL_BYTE;
    }
}

void deinterleave(std::span<const uint8_t> raw, std::span<uint8_t> image) {
    assert(raw.size() >= 2 * image.size());
    for (size_t k = 0; k < image.size(); ++k) image[k] = raw[2 * k];
}
