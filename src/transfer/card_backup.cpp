#include "transfer/card_backup.h"

#include <charconv>
#include <cstring>

#include "device/card_reader.h"
#include "transfer/file_transfer.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"
#include "winapi.h"

namespace {

constexpr size_t VOLUME_DIGITS = 4;  // "0005": the least a backup's name gives its volume
constexpr char EXTENSION[] = ".dsk";

// Copies text to out, ended; the end. (The Windows programs import no strcpy or strcat.)
char* put_text(char* out, const char* text) {
    const size_t length = std::strlen(text);
    std::memcpy(out, text, length + 1);
    return out + length;
}

// The folder's separator as the user writes it: none after one already there, '\' where the
// folder is written with those alone, else '/', which every system here takes.
const char* separator(const char* folder) {
    const size_t length = std::strlen(folder);
    if (length == 0 || folder[length - 1] == '/' || folder[length - 1] == '\\') return "";
    bool back = false;
    bool forward = false;
    for (const char* c = folder; *c != '\0'; ++c) {
        back = back || *c == '\\';
        forward = forward || *c == '/';
    }
    return back && !forward ? "\\" : "/";
}

// "folder/0005-GAMES.dsk" into path, which holds the folder's length and MAX_PATH more.
void backup_path(const char* folder, uint32_t volume, const VolumeSummary& summary, char* path) {
    char digits[16];
    const char* end = std::to_chars(digits, digits + sizeof digits - 1, volume).ptr;
    const auto count = static_cast<size_t>(end - digits);
    char* out = put_text(put_text(path, folder), separator(folder));
    for (size_t i = count; i < VOLUME_DIGITS; ++i) *out++ = '0';
    std::memcpy(out, digits, count);
    out += count;
    if (summary.kind == VolumeSummary::Kind::disk && summary.name[0] != '\0') {
        char name[TI_NAME_BYTES + 1];
        pc_file_name(summary.name, name);
        *out++ = '-';
        out = put_text(out, name);
    }
    put_text(out, EXTENSION);
}

// The folder, made where it is missing.
Outcome make_folder(const char* folder) {
    if (CreateDirectoryA(folder, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
        return succeeded();
    }
    return said_of(failed_with_last_error(RESULT_CREATE_FAILED), Outcome::Where::output_file,
                   folder);
}

}  // namespace

Outcome backup_volumes(const Card& card, uint32_t first, uint32_t last, const char* folder,
                       bool trim, VolumeSaved on_saved, BackupDone& done) {
    CardReader reader(card);
    if (const DWORD error = reader.open_error()) {
        return said_of_card(card_failed(RESULT_NO_SOURCE, error), card.shown);
    }
    const Buffer raw = obtain<uint8_t>(SLOT_BYTES);
    const Owned<char> path = obtain<char>(std::strlen(folder) + MAX_PATH);
    if (!raw || !path) return failed_with_last_error(RESULT_NO_SOURCE);
    for (uint32_t volume = first;; ++volume) {
        const uint64_t offset = volume_byte_offset(volume);
        DWORD error = NO_ERROR;
        const bool ended = !reader.read_volume_start(volume, error);
        if (ended && volume == first) return reader.past_end(first, STATUS_REFUSED);
        if (ended) break;
        if (error == NO_ERROR && volume == first) {
            if (Outcome refused = make_folder(folder); refused.failed()) return refused;
        }
        if (error == NO_ERROR) error = reader.read({raw.get(), SLOT_BYTES}, offset);
        if (error != NO_ERROR) {
            return said_of_card(volume_failed(RESULT_NO_SOURCE, error, offset), card.shown);
        }
        const VolumeSummary summary = summarise_slot(
            std::span<const uint8_t, DEVICE_SECTOR_BYTES>{raw.get(), DEVICE_SECTOR_BYTES});
        if (summary.kind == VolumeSummary::Kind::empty) {
            ++done.empty;
        } else {
            backup_path(folder, volume, summary, path.get());
            const Outcome saved =
                save_volume(path.get(), card, volume, {raw.get(), SLOT_BYTES}, trim);
            if (saved.failed()) return saved;
            ++done.saved;
            on_saved(saved);
        }
        if (volume == last || volume == UINT32_MAX) break;
    }
    return succeeded();
}

namespace {

// A search of a folder's entries, closed however it ends.
class FolderEntries {
  public:
    FolderEntries(const char* folder, char* pattern) {
        put_text(put_text(put_text(pattern, folder), separator(folder)), "*");
        search_ = FindFirstFileA(pattern, &entry_);
        has_entry_ = search_ != INVALID_HANDLE_VALUE;
    }
    FolderEntries(const FolderEntries&) = delete;
    FolderEntries& operator=(const FolderEntries&) = delete;
    ~FolderEntries() {
        if (search_ != INVALID_HANDLE_VALUE) FindClose(search_);
    }
    // The next file's name, or nullptr after the last.
    const char* next() {
        while (has_entry_) {
            has_entry_ = false;
            std::memcpy(name_, entry_.cFileName, sizeof name_);
            const bool folder = (entry_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            has_entry_ = FindNextFileA(search_, &entry_) != FALSE;
            if (!folder) return name_;
        }
        return nullptr;
    }

  private:
    HANDLE search_;
    WIN32_FIND_DATAA entry_{};
    bool has_entry_ = false;
    char name_[MAX_PATH] = {};
};

// The volume a backup's file name gives: four digits or more, then "-" and a name, or nothing,
// then ".dsk" in any case; 0 for a name that is not a backup's.
uint32_t backup_volume(const char* name) {
    const size_t length = std::strlen(name);
    const size_t extension = sizeof EXTENSION - 1;
    if (length < VOLUME_DIGITS + extension ||
        lstrcmpiA(name + length - extension, EXTENSION) != 0) {
        return 0;
    }
    uint32_t volume = 0;
    const auto [after, error] = std::from_chars(name, name + length, volume);
    const bool named = after == name + length - extension || *after == '-';
    return error == std::errc() && named && after - name >= static_cast<long>(VOLUME_DIGITS)
               ? volume
               : 0;
}

}  // namespace

Outcome restore_volumes(const Card& card, const char* folder, VolumeWritten on_written,
                        FileSkipped on_skipped, Restore& restore) {
    const size_t stride = std::strlen(folder) + MAX_PATH;
    const Owned<char> pattern = obtain<char>(stride);
    if (!pattern) return failed_with_last_error(RESULT_NO_SOURCE);
    for (FolderEntries entries(folder, pattern.get()); const char* name = entries.next();) {
        if (backup_volume(name) != 0) {
            ++restore.found;
        } else {
            on_skipped(folder, name);
        }
    }
    if (restore.found == 0) return succeeded();
    restore.paths = obtain<char>(restore.found * stride);
    restore.files = obtain<const char*>(restore.found);
    restore.volumes = obtain<uint32_t>(restore.found);
    if (!restore.paths || !restore.files || !restore.volumes) {
        return failed_with_last_error(RESULT_NO_SOURCE);
    }
    uint32_t count = 0;
    for (FolderEntries entries(folder, pattern.get()); const char* name = entries.next();) {
        const uint32_t volume = backup_volume(name);
        if (volume == 0 || count == restore.found) continue;
        char* path = restore.paths.get() + count * stride;
        put_text(put_text(put_text(path, folder), separator(folder)), name);
        // In volume order, as a run of many writes them.
        uint32_t at = count++;
        for (; at > 0 && restore.volumes[at - 1] > volume; --at) {
            restore.volumes[at] = restore.volumes[at - 1];
            restore.files[at] = restore.files[at - 1];
        }
        restore.volumes[at] = volume;
        restore.files[at] = path;
    }
    restore.found = count;
    for (uint32_t i = 1; i < count; ++i) {
        if (restore.volumes[i] != restore.volumes[i - 1]) continue;
        Outcome twice = failed(STATUS_REFUSED, NO_ERROR, Outcome::About::two_backups);
        twice.path = restore.files[i - 1];
        twice.file_name = restore.files[i];
        twice.volume = restore.volumes[i];
        return twice;
    }
    const ImageList images{restore.files.get(), restore.volumes.get(), count, true};
    return write_volume_list(card, images, on_written, restore.written);
}
