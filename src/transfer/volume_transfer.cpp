#include "transfer/volume_transfer.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "device/physical_access.h"
#include "device/vwin32_access.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"
#include "winapi.h"

namespace {

int32_t read_back(uint32_t slot_index, const char* destination) {
    const Buffer raw = read_volume(slot_index);
    if (!raw) return RESULT_NO_SOURCE;
    return save_image_file(destination, {raw.get(), SLOT_BYTES}, IMAGE_BYTES);
}

int32_t write_image(const char* source, uint32_t slot_index) {
    uint64_t file_bytes = 0;
    Buffer image = load_image_file(source, file_bytes);
    if (!image && file_bytes > IMAGE_BYTES) {
        char digits[24] = {};
        std::to_chars(digits, digits + sizeof digits - 1, file_bytes);
        std::printf("The image file holds %s bytes; a disk image holds at most %lu bytes.\n",
                    digits, static_cast<unsigned long>(IMAGE_BYTES));
        return RESULT_IMAGE_TOO_LARGE;
    }
    if (!image) return RESULT_NO_SOURCE;

    if (is_track_dump(ConstImageView{image.get(), IMAGE_BYTES})) {
        image = convert_track_dump(ConstImageView{image.get(), IMAGE_BYTES});
        if (!image) return RESULT_NO_SOURCE;
    }
    const ImageView view{image.get(), IMAGE_BYTES};
    if (!has_disk_signature(view)) {
        std::printf("Not a supported TI/99-4A format\n");
        return RESULT_NOT_AN_IMAGE;
    }
    widen_to_1600_sectors(view);
    return write_volume(view, slot_index);
}

}  // namespace

int32_t copy_volume(const char* source, const char* destination, uint32_t volume_number) {
    const uint32_t slot_index = slot_index_of_volume(volume_number);
    if (std::strcmp(source, FLASH_KEYWORD) == 0) return read_back(slot_index, destination);
    if (std::strcmp(destination, FLASH_KEYWORD) == 0) return write_image(source, slot_index);
    // Neither end is the card: there is nothing this tool can move.
    SetLastError(ERROR_INVALID_PARAMETER);
    return RESULT_NO_SOURCE;
}

Buffer read_volume(uint32_t slot_index) {
    Buffer raw = obtain<uint8_t>(SLOT_BYTES);
    if (!raw) return raw;
    const std::span<uint8_t> slot{raw.get(), SLOT_BYTES};
    const uint64_t offset = slot_byte_offset(slot_index);
    const int32_t read =
        use_vwin32 ? read_sectors_vwin32(selected_drive, slot, offset)
                   : read_physical(physical_drive_path(selected_drive).text, slot, offset);
    if (read == 0) raw.reset();
    return raw;
}

int32_t write_volume(std::span<const uint8_t> image, uint32_t slot_index) {
    const size_t raw_bytes = 2 * image.size();
    const Buffer raw = obtain<uint8_t>(raw_bytes);
    if (!raw) return RESULT_NO_SOURCE;
    const std::span<uint8_t> slot{raw.get(), raw_bytes};
    interleave(image, slot);
    const uint64_t offset = slot_byte_offset(slot_index);
    if (use_vwin32) return write_sectors_vwin32(selected_drive, slot, offset);
    return write_physical(selected_drive, slot, offset);
}
