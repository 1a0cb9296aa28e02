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

    Buffer image = obtain<uint8_t>(IMAGE_BYTES);
    if (!image) return nullptr;
    std::fill_n(image.get(), IMAGE_BYTES, FILL_BYTE);
    if (!seek_from_start(file.get(), 0)) return nullptr;
    if (!read_exactly(file.get(), {image.get(), static_cast<size_t>(length)})) return nullptr;
    return image;
}

namespace {

// Creates (or truncates) path and writes bytes with one call; the file is closed on return.
int32_t write_new_file(const char* path, std::span<const uint8_t> bytes) {
    ScopedHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_ALWAYS, 0, nullptr));
    if (!file) return RESULT_CREATE_FAILED;
    if (!seek_from_start(file.get(), 0) || !write_exactly(file.get(), bytes)) {
        return RESULT_SAVE_FAILED;
    }
    return RESULT_SUCCESS;
}

}  // namespace

int32_t save_image_file(const char* path, std::span<const uint8_t> raw_slot, uint32_t byte_count) {
    Buffer output = obtain<uint8_t>(byte_count);
    if (!output) return RESULT_NO_OUTPUT_BUFFER;
    const std::span<uint8_t> image{output.get(), byte_count};
    deinterleave(raw_slot, image);
    const int32_t result = write_new_file(path, image);
    if (result == RESULT_SAVE_FAILED) {
        // A file that does not hold the whole slot is not left behind as if it did.
        const DWORD reason = GetLastError();
        DeleteFileA(path);
        SetLastError(reason);
    }
    return result;
}
