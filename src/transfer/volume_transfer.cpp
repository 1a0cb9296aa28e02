#include "transfer/volume_transfer.h"

#include <cstring>

#include "device/physical_access.h"
#include "device/vwin32_access.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"
#include "winapi.h"

namespace {

Outcome read_back(uint32_t slot_index, const char* destination) {
    Outcome outcome;
    const Buffer raw = read_volume(slot_index, outcome);
    if (!raw) return outcome;
    return save_image_file(destination, {raw.get(), SLOT_BYTES}, IMAGE_BYTES);
}

Outcome write_image(const char* source, uint32_t slot_index) {
    Outcome outcome;
    Buffer image = load_image_file(source, outcome);
    if (!image) return outcome;
    if (is_track_dump(ConstImageView{image.get(), IMAGE_BYTES})) {
        image = convert_track_dump(ConstImageView{image.get(), IMAGE_BYTES});
        if (!image) return failed_with_last_error(RESULT_NO_SOURCE);
    }
    const ImageView view{image.get(), IMAGE_BYTES};
    if (!has_disk_signature(view)) {
        return failed(RESULT_NOT_AN_IMAGE, NO_ERROR, Outcome::About::not_an_image);
    }
    widen_to_1600_sectors(view);
    return write_volume(view, slot_index);
}

}  // namespace

Outcome copy_volume(const char* source, const char* destination, uint32_t volume_number) {
    const uint32_t slot_index = slot_index_of_volume(volume_number);
    if (std::strcmp(source, FLASH_KEYWORD) == 0) return read_back(slot_index, destination);
    if (std::strcmp(destination, FLASH_KEYWORD) == 0) return write_image(source, slot_index);
    // Neither end is the card: there is nothing this tool can move.
    return failed(RESULT_NO_SOURCE, ERROR_INVALID_PARAMETER);
}

Buffer read_volume(uint32_t slot_index, Outcome& outcome) {
    Buffer raw = obtain<uint8_t>(SLOT_BYTES);
    if (!raw) {
        outcome = failed_with_last_error(RESULT_NO_SOURCE);
        return raw;
    }
    const std::span<uint8_t> slot{raw.get(), SLOT_BYTES};
    const uint64_t offset = slot_byte_offset(slot_index);
    const DWORD error = use_vwin32
                            ? read_sectors_vwin32(selected_drive, slot, offset)
                            : read_physical(physical_drive_path(selected_drive).text, slot, offset);
    if (error != NO_ERROR) {
        outcome = failed(RESULT_NO_SOURCE, error);
        raw.reset();
    }
    return raw;
}

Outcome write_volume(std::span<const uint8_t> image, uint32_t slot_index) {
    const size_t raw_bytes = 2 * image.size();
    const Buffer raw = obtain<uint8_t>(raw_bytes);
    if (!raw) return failed_with_last_error(RESULT_NO_SOURCE);
    const std::span<uint8_t> slot{raw.get(), raw_bytes};
    interleave(image, slot);
    const uint64_t offset = slot_byte_offset(slot_index);
    if (use_vwin32) return write_sectors_vwin32(selected_drive, slot, offset);
    return write_physical(selected_drive, slot, offset);
}
