#include "transfer/card_backup.h"

#include <charconv>
#include <cstring>

#include "device/card_reader.h"
#include "transfer/file_save.h"
#include "transfer/folder_entries.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"
#include "transfer/pc_file_names.h"
#include "transfer/volume_change.h"
#include "winapi.h"

namespace {

constexpr size_t VOLUME_DIGITS = 4;  // "0005": the least a backup's name gives its volume
constexpr char EXTENSION[] = ".dsk";

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

// What a folder named for a backup is: missing (error FILE_NOT_FOUND or PATH_NOT_FOUND), a
// folder, or something else.
enum class FolderKind : uint8_t { missing, folder, other };
FolderKind folder_kind(const char* folder, DWORD& error) {
    const DWORD attributes = GetFileAttributesA(folder);
    error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : NO_ERROR;
    if (attributes == INVALID_FILE_ATTRIBUTES) return FolderKind::missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FolderKind::folder : FolderKind::other;
}

// "There is no folder 'backup'; nothing was written.", or of something else, "'backup' is not a
// folder; nothing was written.": lines of their own.
Failure no_folder(const char* folder) {
    Text words("There is no folder ");
    return Failure::line(STATUS_REFUSED, words.quoted(folder).add("; nothing was written."));
}
Failure not_a_folder(const char* folder) {
    Text words;
    return Failure::line(STATUS_REFUSED, words.quoted(folder).add(" is not a folder; nothing was "
                                                                  "written."));
}

// The backup files a folder holds for the volumes of a range, in volume order, each with its
// name.
class BackupFiles {
  public:
    // False where there is no memory for them.
    bool read(const char* folder, VolumeRange range) {
        const size_t stride = std::strlen(folder) + MAX_PATH;
        const Owned<char> pattern = obtain<char>(stride);
        if (!pattern) return false;
        uint32_t found = 0;
        bool is_folder = false;
        for (FolderEntries entries(folder, pattern.get());
             const char* name = entries.next(is_folder);) {
            found += !is_folder && range.holds(backup_volume(name)) ? 1 : 0;
        }
        names_ = obtain<char>(size_t{found} * MAX_PATH + 1);
        volumes_ = obtain<uint32_t>(found + 1);
        if (!names_ || !volumes_) return false;
        for (FolderEntries entries(folder, pattern.get());
             const char* name = entries.next(is_folder);) {
            const uint32_t volume = backup_volume(name);
            if (is_folder || !range.holds(volume) || count_ == found) continue;
            uint32_t at = count_++;  // in volume order
            for (; at > 0 && volumes_[at - 1] > volume; --at) {
                volumes_[at] = volumes_[at - 1];
                std::memcpy(name_at(at), name_at(at - 1), MAX_PATH);
            }
            volumes_[at] = volume;
            put_text(name_at(at), name);
        }
        return true;
    }
    uint32_t count() const { return count_; }
    uint32_t volume(uint32_t i) const { return volumes_[i]; }
    char* name_at(uint32_t i) const { return names_.get() + size_t{i} * MAX_PATH; }

  private:
    Owned<char> names_;
    Owned<uint32_t> volumes_;
    uint32_t count_ = 0;
};

// The backup's walk over the card, with the folder's earlier files for the volumes it passes.
struct BackupWalk {
    const Card& card;
    const char* folder;
    VolumeRange range;
    bool trim;
    const BackupLines& lines;
    BackupFiles earlier;
    uint32_t next_earlier = 0;  // the first earlier file whose volume is not passed yet
    Owned<char> path;           // the folder's length and MAX_PATH more
};

// Removes the earlier files of volume but the one called kept (nullptr: all), each said.
void remove_earlier(BackupWalk& walk, uint32_t volume, const char* kept) {
    for (; walk.next_earlier < walk.earlier.count() &&
           walk.earlier.volume(walk.next_earlier) <= volume;
         ++walk.next_earlier) {
        const char* name = walk.earlier.name_at(walk.next_earlier);
        if (walk.earlier.volume(walk.next_earlier) < volume ||
            (kept != nullptr && lstrcmpiA(name, kept) == 0)) {
            continue;
        }
        path_in(walk.folder, name, walk.path.get());
        if (DeleteFileA(walk.path.get()))
            walk.lines.removed(volume, walk.path.get(), kept == nullptr);
    }
}

// Saves the slot of a volume that holds something; its line said. A failure stops the backup.
Result save_slot(BackupWalk& walk, uint32_t volume, std::span<const uint8_t> raw,
                 const VolumeSummary& summary, bool trim) {
    backup_path(walk.folder, volume, summary, walk.path.get());
    const bool whole = odd_bytes_hold_data(raw);
    VolumeSaved saved;
    if (Result failed =
            save_volume(walk.path.get(), walk.card, volume, raw, trim && !whole, whole, saved)) {
        return failed;
    }
    walk.lines.saved(saved);
    char kept[MAX_PATH];
    put_text(kept, last_part(walk.path.get()));
    remove_earlier(walk, volume, kept);
    return std::nullopt;
}

// The folder for a backup, made where it is missing; refused where it is something else.
Result make_folder(const char* folder) {
    DWORD error = NO_ERROR;
    const FolderKind kind = folder_kind(folder, error);
    if (kind == FolderKind::other) return not_a_folder(folder);
    if (kind == FolderKind::folder || CreateDirectoryA(folder, nullptr) ||
        GetLastError() == ERROR_ALREADY_EXISTS) {
        return std::nullopt;
    }
    return last_error_failure(RESULT_CREATE_FAILED, file_called(OUTPUT_FILE, folder).c_str());
}

// One volume of the backup, whose first sector the walk has read (error saying how that went):
// the folder made at the first, an empty volume's earlier file removed, another's slot saved.
Result back_up_volume(BackupWalk& walk, CardReader& reader, uint32_t volume, DWORD error,
                      std::span<uint8_t> raw, BackupDone& done) {
    if (error == NO_ERROR && volume == walk.range.first) {
        if (Result refused = make_folder(walk.folder)) return refused;
        if (!walk.earlier.read(walk.folder, walk.range)) {
            return last_error_failure(RESULT_NO_SOURCE);
        }
    }
    const VolumeSummary summary =
        error == NO_ERROR ? summarise_slot(reader.sector()) : VolumeSummary{};
    if (error == NO_ERROR && summary.kind != VolumeSummary::Kind::empty) {
        error = reader.read(raw, volume_byte_offset(volume));
    }
    if (error != NO_ERROR) return volume_read_failure(walk.card, volume, error);
    if (summary.kind == VolumeSummary::Kind::empty) {
        ++done.empty;
        remove_earlier(walk, volume, nullptr);
        return std::nullopt;
    }
    if (Result failed = save_slot(walk, volume, raw, summary, walk.trim)) return failed;
    ++done.saved;
    return std::nullopt;
}

}  // namespace

Result backup_volumes(const Card& card, VolumeRange range, const char* folder, bool trim,
                      const BackupLines& lines, BackupDone& done) {
    CardReader reader(card);
    if (Result failed = reader.opened()) return failed;
    BackupWalk walk{card,  folder, range, trim,
                    lines, {},     0,     obtain<char>(std::strlen(folder) + MAX_PATH)};
    const Buffer raw = obtain<uint8_t>(SLOT_BYTES);
    if (!raw || !walk.path) return last_error_failure(RESULT_NO_SOURCE);
    Result failed;
    const auto visit = [&](uint32_t volume, DWORD error) {
        failed = back_up_volume(walk, reader, volume, error, {raw.get(), SLOT_BYTES}, done);
        return !failed;
    };
    const WalkEnd end = reader.for_each_volume(range.first, range.last, visit);
    if (end.kind == WalkEnd::Kind::first_past_end) return reader.past_end(range.first, true);
    if (end.kind == WalkEnd::Kind::interrupted) return stopped_by_ctrl_c();
    return failed;
}

Result restore_volumes(const Card& card, const char* folder, VolumeRange range,
                       WrittenLine on_written, FileSkipped on_skipped, Restore& restore) {
    DWORD error = NO_ERROR;
    switch (folder_kind(folder, error)) {
        case FolderKind::missing:
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                return no_folder(folder);
            }
            return Failure::system(STATUS_REFUSED, error, file_called(INPUT_FILE, folder).c_str());
        case FolderKind::other:
            return not_a_folder(folder);
        case FolderKind::folder:
            break;
    }
    const size_t stride = std::strlen(folder) + MAX_PATH;
    const Owned<char> pattern = obtain<char>(stride);
    if (!pattern) return last_error_failure(RESULT_NO_SOURCE);
    bool is_folder = false;
    for (FolderEntries entries(folder, pattern.get());
         const char* name = entries.next(is_folder);) {
        if (is_folder || backup_volume(name) == 0) on_skipped(folder, name, is_folder);
    }
    BackupFiles files;
    if (!files.read(folder, range)) return last_error_failure(RESULT_NO_SOURCE);
    restore.found = files.count();
    if (restore.found == 0) return std::nullopt;
    const Owned<char> paths = obtain<char>(restore.found * stride);
    if (!paths) return last_error_failure(RESULT_NO_SOURCE);
    for (uint32_t i = 0; i < restore.found; ++i) {
        path_in(folder, files.name_at(i), paths.get() + i * stride);
        if (i == 0 || files.volume(i) != files.volume(i - 1)) continue;
        Text words;
        words.quoted(paths.get() + (i - 1) * stride).add(" and ").quoted(paths.get() + i * stride);
        words.add(" are both for volume ").number(files.volume(i)).add("; nothing was written.");
        return Failure(STATUS_REFUSED, words);
    }
    const auto volume = [&](uint32_t i) { return files.volume(i); };
    const auto fill = [&](uint32_t i, std::span<uint8_t> slot, VolumeWritten& written) {
        return fill_from_image(paths.get() + i * stride, true, slot, written);
    };
    return write_volume_run(card, {restore.found, volume, fill}, on_written, restore.run);
}
