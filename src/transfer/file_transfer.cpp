#include "transfer/file_transfer.h"

#include <cstring>

#include "disk/file_export.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"
#include "transfer/volume_transfer.h"

namespace {

// The disk at place, loaded whole: a volume's 1600 sectors, or an image file as DIR reads it.
Buffer load_disk(const DiskPlace& place, Outcome& outcome) {
    if (place.file != nullptr) return prepare_image(place.file, outcome);
    return read_volume_image(*place.card, place.volume, outcome);
}

Outcome save_file(const DiskPlace& place, DiskBytes disk, const DirectoryEntry& entry,
                  const char* path, FileSaved on_saved) {
    const Buffer bytes = obtain<uint8_t>(MOST_FILE_BYTES);
    if (!bytes) return failed_with_last_error(RESULT_NO_OUTPUT_BUFFER);
    size_t length = 0;
    const std::span<uint8_t, MOST_FILE_BYTES> out{bytes.get(), MOST_FILE_BYTES};
    if (const FileFault fault = export_file(disk, entry.sector, out, length);
        fault != FileFault::none) {
        Outcome damaged = failed(RESULT_NO_SOURCE, NO_ERROR, Outcome::About::file_damaged);
        damaged.fault = static_cast<uint8_t>(fault);
        return said_of_file(damaged, place, entry.name);
    }
    SavedFile saved;
    std::memcpy(saved.name, entry.name, sizeof saved.name);
    std::memcpy(saved.type, entry.type, sizeof saved.type);
    saved.sectors = entry.sectors;
    char own_name[TI_NAME_BYTES + 1];
    if (path == nullptr) pc_file_name(entry.name, own_name);
    saved.path = path != nullptr ? path : own_name;
    static const Card NO_CARD;
    const Outcome written = save_file_bytes(
        saved.path, place.card != nullptr ? *place.card : NO_CARD, {bytes.get(), length});
    if (!written.failed()) on_saved(saved, place);
    return written;
}

}  // namespace

Outcome said_of_file(Outcome outcome, const DiskPlace& place, const char* name) {
    outcome.file_name = name;
    outcome.path = place.file;
    outcome.volume = place.volume;
    if (place.card != nullptr) outcome.card_name = place.card->shown;
    return outcome;
}

void pc_file_name(const char* shown, char (&file)[TI_NAME_BYTES + 1]) {
    static const char REFUSED[] = "/\\:*?\"<>|";
    bool dots = true;
    size_t i = 0;
    for (; shown[i] != '\0' && i < TI_NAME_BYTES; ++i) {
        const char c = shown[i];
        bool refused = c < 0x20 || c > 0x7E;  // compared by hand: no strchr on Windows
        for (const char* r = REFUSED; *r != '\0'; ++r) refused = refused || c == *r;
        file[i] = refused ? '_' : c;
        dots = dots && c == '.';
    }
    file[i] = '\0';
    if (dots) std::memset(file, '_', i);
}

Outcome get_files(const DiskPlace& place, const char* name, const char* path, FileSaved on_saved,
                  uint32_t& saved) {
    saved = 0;
    Outcome outcome;
    const Buffer image = load_disk(place, outcome);
    if (!image) return outcome;
    const DiskBytes disk{image.get(), IMAGE_BYTES};
    const Directory directory = read_directory(disk);
    Outcome missing = failed(RESULT_NO_SOURCE, NO_ERROR, Outcome::About::no_such_file);
    missing.holds = label_of(directory.disk);
    if (directory.disk.kind != VolumeSummary::Kind::disk) return said_of_file(missing, place, name);
    FileSearch search;
    if (name != nullptr) {
        search = find_file(disk, directory, name);
        std::memcpy(missing.other_name, search.other_case, sizeof search.other_case);
        if (search.kind != FileSearch::Kind::found) return said_of_file(missing, place, name);
    }
    for (uint32_t i = 0; i < directory.count; ++i) {
        const DirectoryEntry& entry = directory.entries[i];
        const bool wanted = name == nullptr || entry.sector == search.record;
        if (entry.kind != DirectoryEntry::Kind::file || !wanted) continue;
        outcome = save_file(place, disk, entry, path, on_saved);
        if (outcome.failed()) return outcome;
        ++saved;
    }
    return outcome;
}
