#include "transfer/file_choice.h"

#include "disk/file_export.h"
#include "disk/name_pattern.h"

namespace {

bool holds(const ChosenFiles& chosen, uint32_t record) {
    for (uint32_t i = 0; i < chosen.count; ++i) {
        if (chosen.records[i] == record) return true;
    }
    return false;
}

// The files whose names the pattern matches, but those chosen already; false where it
// matches none at all.
bool choose_matches(const Directory& directory, const char* pattern, ChosenFiles& chosen) {
    bool matched = false;
    for (uint32_t i = 0; i < directory.count; ++i) {
        const DirectoryEntry& entry = directory.entries[i];
        if (entry.kind != DirectoryEntry::Kind::file || !matches_pattern(pattern, entry.name)) {
            continue;
        }
        matched = true;
        if (!holds(chosen, entry.sector)) chosen.records[chosen.count++] = entry.sector;
    }
    return matched;
}

}  // namespace

Result choose_files(const DiskPlace& place, DiskBytes disk, const Directory& directory,
                    const char* const* names, uint32_t count, int32_t status, ChosenFiles& chosen) {
    chosen = {};
    DiskLabel holds_disk;
    holds_disk.kind = DiskLabel::Kind::disk;
    for (uint32_t i = 0; i < count; ++i) {
        if (has_wildcards(names[i])) {
            if (choose_matches(directory, names[i], chosen)) continue;
            Text words("No file on ");
            words.add(place_words(place)).add(" matches ").quoted(names[i]);
            return Failure::line(status, words.add("."));
        }
        const FileSearch search = find_file(disk, directory, names[i]);
        if (search.kind != FileSearch::Kind::found || holds(chosen, search.record)) {
            return no_such_file(status, place, names[i], holds_disk, search.other_case);
        }
        chosen.records[chosen.count++] = search.record;
    }
    return std::nullopt;
}

void choose_every_file(const Directory& directory, ChosenFiles& chosen) {
    chosen = {};
    for (uint32_t i = 0; i < directory.count; ++i) {
        const DirectoryEntry& entry = directory.entries[i];
        if (entry.kind == DirectoryEntry::Kind::file) chosen.records[chosen.count++] = entry.sector;
    }
}
