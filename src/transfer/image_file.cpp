#include "transfer/image_file.h"

#include <algorithm>
#include <cstring>

#include "device/handle_io.h"
#include "winapi.h"

using Where = Outcome::Where;

bool file_exists(const char* path) {
    const ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    return static_cast<bool>(file);
}

Buffer load_file(const char* path, size_t capacity, size_t& length, Outcome& outcome) {
    ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, nullptr));
    if (!file) {
        outcome = said_of(failed_with_last_error(RESULT_NO_SOURCE), Where::image_file, path);
        return nullptr;
    }
    uint64_t end = 0;
    if (const DWORD error = seek_to_end(file.get(), end)) {
        outcome = said_of(failed(RESULT_NO_SOURCE, error), Where::image_file, path);
        return nullptr;
    }
    if (end > capacity) {
        outcome = failed(RESULT_IMAGE_TOO_LARGE, NO_ERROR, Outcome::About::image_too_large);
        outcome.length = end;
        outcome.path = path;
        return nullptr;
    }
    Buffer bytes = obtain<uint8_t>(capacity);
    if (!bytes) {
        outcome = failed_with_last_error(RESULT_NO_SOURCE);
        return nullptr;
    }
    std::fill_n(bytes.get(), capacity, FILL_BYTE);
    length = static_cast<size_t>(end);
    if (const DWORD error = read_at(file.get(), 0, {bytes.get(), length})) {
        outcome = said_of(failed(RESULT_NO_SOURCE, error), Where::image_file, path);
        return nullptr;
    }
    return bytes;
}

Buffer load_image_file(const char* path, Outcome& outcome) {
    size_t length = 0;
    return load_file(path, IMAGE_BYTES, length, outcome);
}

namespace {

// A read-back may not be saved over a disk, a console, a pipe or the null device, nor over the
// card itself by any of its names: each would be destroyed, or the card with it. Nothing there
// yet is no refusal; the create then says why it fails, where it does.
Outcome check_output_file(const char* path, const Card& card) {
    ScopedHandle existing(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!existing) return succeeded();
    using About = Outcome::About;
    const bool no_file =
        disk_length(existing.get()) || GetFileType(existing.get()) != FILE_TYPE_DISK;
    const bool is_card = !no_file && card.file && identity_of(existing.get()) == card.file;
    if (!no_file && !is_card) return succeeded();
    Outcome refused = failed(RESULT_CREATE_FAILED, NO_ERROR,
                             no_file ? About::output_no_file : About::output_is_card);
    refused.path = path;
    return refused;
}

// Creates (or truncates) path and writes bytes with one call, flushed to the disk where asked;
// the file is closed on return.
Outcome write_new_file(const char* path, const Card& card, std::span<const uint8_t> bytes,
                       bool flush = false) {
    if (Outcome refused = check_output_file(path, card); refused.failed()) return refused;
    ScopedHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_ALWAYS, 0, nullptr));
    if (!file)
        return said_of(failed_with_last_error(RESULT_CREATE_FAILED), Where::output_file, path);
    if (const DWORD error = write_at(file.get(), 0, bytes)) {
        return said_of(failed(RESULT_SAVE_FAILED, error), Where::output_file, path);
    }
    if (flush && !FlushFileBuffers(file.get())) {
        return said_of(failed_with_last_error(RESULT_SAVE_FAILED), Where::output_file, path);
    }
    return succeeded();
}

// path with suffix after it, in names (which holds it).
const char* beside(const char* path, const char* suffix, Owned<char>& names) {
    const size_t length = std::strlen(path);
    names = obtain<char>(length + std::strlen(suffix) + 1);
    if (!names) return nullptr;
    std::memcpy(names.get(), path, length);
    std::memcpy(names.get() + length, suffix, std::strlen(suffix) + 1);
    return names.get();
}

// The old file steps aside, the new one takes its name, and the old one goes: at every moment
// one whole file lies under the name or beside it.
Outcome rename_over(const char* fresh, const char* path, const char* aside) {
    if (!MoveFileA(path, aside)) {
        return said_of(failed_with_last_error(RESULT_SAVE_FAILED), Where::output_file, aside);
    }
    if (!MoveFileA(fresh, path)) {
        const Outcome failure =
            said_of(failed_with_last_error(RESULT_SAVE_FAILED), Where::output_file, path);
        MoveFileA(aside, path);
        return failure;
    }
    DeleteFileA(aside);
    return succeeded();
}

}  // namespace

Outcome save_file_bytes(const char* path, const Card& card, std::span<const uint8_t> bytes) {
    const Outcome outcome = write_new_file(path, card, bytes);
    // A file that does not hold all it should is not left behind as if it did.
    if (outcome.status == RESULT_SAVE_FAILED) DeleteFileA(path);
    return outcome;
}

Outcome replace_file_bytes(const char* path, std::span<const uint8_t> bytes) {
    Owned<char> fresh_name;
    Owned<char> aside_name;
    const char* fresh = beside(path, NEW_SUFFIX, fresh_name);
    const char* aside = beside(path, OLD_SUFFIX, aside_name);
    if (fresh == nullptr || aside == nullptr) return failed_with_last_error(RESULT_SAVE_FAILED);
    static const Card NO_CARD;
    Outcome outcome = write_new_file(fresh, NO_CARD, bytes, true);
    if (!outcome.failed()) outcome = rename_over(fresh, path, aside);
    if (outcome.failed()) DeleteFileA(fresh);
    return outcome;
}

Outcome save_image_file(const char* path, const Card& card, std::span<const uint8_t> raw_slot,
                        Trimmed* trimmed) {
    Buffer output = obtain<uint8_t>(IMAGE_BYTES);
    if (!output) return failed_with_last_error(RESULT_NO_OUTPUT_BUFFER);
    const std::span<uint8_t, IMAGE_BYTES> image{output.get(), IMAGE_BYTES};
    deinterleave(raw_slot, image);
    size_t length = IMAGE_BYTES;
    if (trimmed != nullptr && has_disk_signature(image.first<IMAGE_SECTOR_BYTES>())) {
        *trimmed = trim_to_geometry(image.first<IMAGE_SECTOR_BYTES>());
        length = size_t{trimmed->sectors} * IMAGE_SECTOR_BYTES;
    }
    return save_file_bytes(path, card, image.first(length));
}
