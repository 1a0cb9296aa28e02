#include "disk/directory.h"

#include <algorithm>

#include "disk/file_record.h"

namespace {

// The entry for the record at sector, as a file or why it is none.
DirectoryEntry read_entry(DiskBytes disk, uint32_t sector) {
    DirectoryEntry entry;
    entry.sector = sector;
    const Sector record = sector_of(disk, sector);
    if (!show_name(record.data(), entry.name)) {
        entry.kind = DirectoryEntry::Kind::not_a_record;
        return entry;
    }
    const FileRecord file = decode_record(record);
    entry.sectors = file.allocated + 1;  // and the record itself
    describe_type(file, entry.type);
    entry.is_protected = (file.flags & file_flags::PROTECTED) != 0;
    return entry;
}

// One entry of the index, for the record at sector: a file, or why it names none.
void read_one(DirectoryEntry& entry, DiskBytes disk, uint32_t sector, uint32_t end,
              bool (&seen)[IMAGE_SECTORS], Directory& directory) {
    if (sector == INDEX_SECTOR || sector >= end) {
        entry.kind = sector == INDEX_SECTOR ? DirectoryEntry::Kind::the_index
                                            : DirectoryEntry::Kind::past_the_end;
        entry.sector = sector;
    } else if (seen[sector]) {
        entry.kind = DirectoryEntry::Kind::listed_already;
        entry.sector = sector;
    } else {
        seen[sector] = true;
        entry = read_entry(disk, sector);
        if (entry.kind == DirectoryEntry::Kind::file) {
            ++directory.files;
            directory.used += entry.sectors;
        }
    }
}

}  // namespace

Directory read_directory(DiskBytes disk) {
    Directory directory;
    const auto held =
        static_cast<uint32_t>(std::min<size_t>(disk.size() / IMAGE_SECTOR_BYTES, IMAGE_SECTORS));
    if (held <= INDEX_SECTOR) return directory;
    directory.disk = summarise_volume(sector_of(disk, 0));
    if (directory.disk.kind != VolumeSummary::Kind::disk) return directory;
    // A record lies after the index and inside both the disk and its bytes.
    const uint32_t end = std::min(directory.disk.sectors, held);
    bool seen[IMAGE_SECTORS] = {};
    walk_index(
        sector_of(disk, INDEX_SECTOR),
        [&](uint32_t, uint32_t sector) {
            DirectoryEntry& entry = directory.entries[directory.count++];
            const uint32_t hole = directory.hole;
            read_one(entry, disk, sector, end, seen, directory);
            entry.past_hole = hole != 0;
        },
        directory.hole);
    return directory;
}
