#include "transfer/image_file.h"

#include <algorithm>
#include <cstring>

#include "device/card_claim.h"
#include "device/handle_io.h"
#include "disk/disk_check.h"
#include "transfer/file_save.h"
#include "winapi.h"

bool file_exists(const char* path) {
    const ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    return static_cast<bool>(file);
}

Result load_from(HANDLE file, const char* path, size_t capacity, LoadedFile& loaded,
                 const char* called) {
    uint64_t end = 0;
    if (const DWORD error = seek_to_end(file, end)) {
        return Failure::system(RESULT_NO_SOURCE, error, file_called(called, path).c_str());
    }
    if (end > capacity) {
        Text words = file_called("The image file", path);
        words.add(" holds ").number(end).add(" bytes; a disk image holds at most ");
        return Failure::line(RESULT_IMAGE_TOO_LARGE, words.number(IMAGE_BYTES).add(" bytes."));
    }
    loaded.bytes = obtain<uint8_t>(capacity);
    if (!loaded.bytes) return last_error_failure(RESULT_NO_SOURCE);
    std::fill_n(loaded.bytes.get(), capacity, FILL_BYTE);
    loaded.length = static_cast<size_t>(end);
    if (const DWORD error = read_at(file, 0, {loaded.bytes.get(), loaded.length})) {
        return Failure::system(RESULT_NO_SOURCE, error, file_called(called, path).c_str());
    }
    return std::nullopt;
}

Result load_file(const char* path, size_t capacity, LoadedFile& loaded, const char* called) {
    const ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, nullptr));
    if (!file) return last_error_failure(RESULT_NO_SOURCE, file_called(called, path).c_str());
    return load_from(file.get(), path, capacity, loaded, called);
}

Result ImageClaim::take(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return Failure(
            RESULT_CREATE_FAILED,
            file_called(IMAGE_FILE, path).add(" may only be read; nothing was written."));
    }
    const auto claim = [&]() -> Result {
        // The name moves over it while it is held (FILE_SHARE_DELETE); the 9x family, which has
        // no such share, moves no file held open anyway.
        const DWORD shares[] = {FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_SHARE_READ};
        for (const DWORD share : shares) {
            file_.reset(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
            if (file_ || GetLastError() != ERROR_INVALID_PARAMETER) break;
        }
        DWORD error = file_ ? NO_ERROR : GetLastError();
        // taken, then renamed over: asked for again by its name
        if (file_ && identity_of(file_.get()) != identity_at(path)) error = ERROR_SHARING_VIOLATION;
        if (error == NO_ERROR) return std::nullopt;
        return Failure::system(RESULT_NO_SOURCE, error, file_called(IMAGE_FILE, path).c_str());
    };
    return claim_while_held(claim, [&] { release(); });
}

bool odd_bytes_hold_data(std::span<const uint8_t> raw_slot) {
    for (size_t k = 1; k < raw_slot.size(); k += 2) {
        if (raw_slot[k] != FILL_BYTE) return true;
    }
    return false;
}

Result save_image_file(const char* path, const Card& card, std::span<const uint8_t> raw_slot,
                       bool trim, bool whole, Trimmed& trimmed) {
    SaveGuard guard;
    guard.card = &card;
    if (whole) return save_whole_file(path, raw_slot, guard);
    Buffer output = obtain<uint8_t>(IMAGE_BYTES);
    if (!output) return last_error_failure(RESULT_NO_SOURCE);
    const std::span<uint8_t, IMAGE_BYTES> image{output.get(), IMAGE_BYTES};
    deinterleave(raw_slot, image);
    size_t length = IMAGE_BYTES;
    if (trim && has_disk_signature(image.first<IMAGE_SECTOR_BYTES>())) {
        trimmed = trim_to_geometry(image.first<IMAGE_SECTOR_BYTES>(), files_reach(image));
        length = size_t{trimmed.sectors} * IMAGE_SECTOR_BYTES;
    }
    return save_whole_file(path, image.first(length), guard);
}
