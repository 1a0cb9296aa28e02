#include "transfer/image_file.h"

#include <algorithm>

#include "device/handle_io.h"
#include "winapi.h"

using Where = Outcome::Where;

Buffer load_image_file(const char* path, Outcome& outcome) {
    ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, nullptr));
    if (!file) {
        outcome = said_of(failed_with_last_error(RESULT_NO_SOURCE), Where::image_file, path);
        return nullptr;
    }
    uint64_t length = 0;
    if (const DWORD error = seek_to_end(file.get(), length)) {
        outcome = said_of(failed(RESULT_NO_SOURCE, error), Where::image_file, path);
        return nullptr;
    }
    if (length > IMAGE_BYTES) {
        outcome = failed(RESULT_IMAGE_TOO_LARGE, NO_ERROR, Outcome::About::image_too_large);
        outcome.length = length;
        return nullptr;
    }
    Buffer image = obtain<uint8_t>(IMAGE_BYTES);
    if (!image) {
        outcome = failed_with_last_error(RESULT_NO_SOURCE);
        return nullptr;
    }
    std::fill_n(image.get(), IMAGE_BYTES, FILL_BYTE);
    if (const DWORD error = read_at(file.get(), 0, {image.get(), static_cast<size_t>(length)})) {
        outcome = said_of(failed(RESULT_NO_SOURCE, error), Where::image_file, path);
        return nullptr;
    }
    return image;
}

namespace {

// Whether path names something that is there and is no file: a disk (it tells its length) or
// a console, pipe or the null device. A read-back saved over a disk would destroy it.
bool names_no_file(const char* path) {
    ScopedHandle existing(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!existing) return false;  // nothing there yet, or the create below says why
    return disk_length(existing.get()) || GetFileType(existing.get()) != FILE_TYPE_DISK;
}

// Creates (or truncates) path and writes bytes with one call; the file is closed on return.
Outcome write_new_file(const char* path, std::span<const uint8_t> bytes) {
    if (names_no_file(path)) {
        Outcome refused = failed(RESULT_CREATE_FAILED, NO_ERROR, Outcome::About::output_no_file);
        refused.path = path;
        return refused;
    }
    ScopedHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_ALWAYS, 0, nullptr));
    if (!file)
        return said_of(failed_with_last_error(RESULT_CREATE_FAILED), Where::output_file, path);
    if (const DWORD error = write_at(file.get(), 0, bytes)) {
        return said_of(failed(RESULT_SAVE_FAILED, error), Where::output_file, path);
    }
    return succeeded();
}

}  // namespace

Outcome save_image_file(const char* path, std::span<const uint8_t> raw_slot, uint32_t byte_count) {
    Buffer output = obtain<uint8_t>(byte_count);
    if (!output) return failed_with_last_error(RESULT_NO_OUTPUT_BUFFER);
    const std::span<uint8_t> image{output.get(), byte_count};
    deinterleave(raw_slot, image);
    const Outcome outcome = write_new_file(path, image);
    // A file that does not hold the whole slot is not left behind as if it did.
    if (outcome.status == RESULT_SAVE_FAILED) DeleteFileA(path);
    return outcome;
}
