#include "transfer/image_file.h"

#include <algorithm>

#include "device/handle_io.h"
#include "winapi.h"

Buffer load_image_file(const char* path, uint64_t& size_out) {
    ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, nullptr));
    if (!file) return nullptr;
    uint64_t length = 0;
    if (!seek_to_end(file.get(), length)) return nullptr;
    size_out = length;
    if (length > IMAGE_BYTES) return nullptr;  // the caller refuses it by its length

    Buffer image = obtain_buffer(IMAGE_BYTES);
    if (!image) return nullptr;
    std::fill_n(image.get(), IMAGE_BYTES, FILL_BYTE);
    if (!seek_from_start(file.get(), 0)) return nullptr;
    if (!read_exactly(file.get(), {image.get(), static_cast<size_t>(length)})) return nullptr;
    return image;
}

int32_t save_image_file(const char* path, std::span<const uint8_t> raw_slot, uint32_t byte_count) {
    Buffer output = obtain_buffer(byte_count);
    if (!output) return RESULT_NO_OUTPUT_BUFFER;
    const std::span<uint8_t> image{output.get(), byte_count};
    deinterleave(raw_slot, image);

    ScopedHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_ALWAYS, 0, nullptr));
    if (!file) return RESULT_CREATE_FAILED;
    if (!seek_from_start(file.get(), 0) || !write_exactly(file.get(), image)) {
        return RESULT_SAVE_FAILED;
    }
    return RESULT_SUCCESS;
}
