#include "transfer/image_file.h"

#include <algorithm>
#include <cstring>

#include "device/card_claim.h"
#include "device/handle_io.h"
#include "disk/disk_check.h"
#include "transfer/file_save.h"
#include "winapi.h"

using Where = Outcome::Where;

bool file_exists(const char* path) {
    const ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    return static_cast<bool>(file);
}

Buffer load_from(HANDLE file, const char* path, size_t capacity, size_t& length, Outcome& outcome,
                 Where where) {
    uint64_t end = 0;
    if (const DWORD error = seek_to_end(file, end)) {
        outcome = said_of(failed(RESULT_NO_SOURCE, error), where, path);
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
    if (const DWORD error = read_at(file, 0, {bytes.get(), length})) {
        outcome = said_of(failed(RESULT_NO_SOURCE, error), where, path);
        return nullptr;
    }
    return bytes;
}

Buffer load_file(const char* path, size_t capacity, size_t& length, Outcome& outcome, Where where) {
    const ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, nullptr));
    if (!file) {
        outcome = said_of(failed_with_last_error(RESULT_NO_SOURCE), where, path);
        return nullptr;
    }
    return load_from(file.get(), path, capacity, length, outcome, where);
}

Outcome ImageClaim::take(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        Outcome refused = failed(RESULT_CREATE_FAILED, NO_ERROR, Outcome::About::output_read_only);
        return said_of(refused, Where::image_file, path);
    }
    const auto claim = [&] {
        // The name moves over it while it is held (FILE_SHARE_DELETE); the 9x family, which has
        // no such share, moves no file held open anyway.
        const DWORD shares[] = {FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_SHARE_READ};
        for (const DWORD share : shares) {
            file_.reset(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
            if (file_ || GetLastError() != ERROR_INVALID_PARAMETER) break;
        }
        if (!file_)
            return said_of(failed_with_last_error(RESULT_NO_SOURCE), Where::image_file, path);
        if (identity_of(file_.get()) != identity_at(path)) {
            // taken, then renamed over: asked for again by its name
            return said_of(failed(RESULT_NO_SOURCE, ERROR_SHARING_VIOLATION), Where::image_file,
                           path);
        }
        return succeeded();
    };
    return claim_while_held(claim, [&] { release(); });
}

Buffer load_image_file(const char* path, Outcome& outcome) {
    size_t length = 0;
    return load_file(path, IMAGE_BYTES, length, outcome);
}

bool odd_bytes_hold_data(std::span<const uint8_t> raw_slot) {
    for (size_t k = 1; k < raw_slot.size(); k += 2) {
        if (raw_slot[k] != FILL_BYTE) return true;
    }
    return false;
}

Outcome save_image_file(const char* path, const Card& card, std::span<const uint8_t> raw_slot,
                        bool trim, bool whole, Trimmed& trimmed) {
    SaveGuard guard;
    guard.card = &card;
    if (whole) return save_whole_file(path, raw_slot, guard);
    Buffer output = obtain<uint8_t>(IMAGE_BYTES);
    if (!output) return failed_with_last_error(RESULT_NO_SOURCE);
    const std::span<uint8_t, IMAGE_BYTES> image{output.get(), IMAGE_BYTES};
    deinterleave(raw_slot, image);
    size_t length = IMAGE_BYTES;
    if (trim && has_disk_signature(image.first<IMAGE_SECTOR_BYTES>())) {
        trimmed = trim_to_geometry(image.first<IMAGE_SECTOR_BYTES>(), files_reach(image));
        length = size_t{trimmed.sectors} * IMAGE_SECTOR_BYTES;
    }
    return save_whole_file(path, image.first(length), guard);
}
