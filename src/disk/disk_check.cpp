#include "disk/disk_check.h"

#include <algorithm>
#include <cstring>

uint32_t disk_end(DiskBytes disk) {
    const auto held = static_cast<uint32_t>(disk.size() / IMAGE_SECTOR_BYTES);
    return std::min({total_sectors(sector_of(disk, 0)), held, MAPPED_SECTORS});
}

FileFault check_runs(const FileRecord& file, uint32_t end, SectorOwners& owners, uint32_t& sector) {
    if (!file.chain_sound) return FileFault::broken_chain;
    uint32_t sectors = 0;
    for (uint32_t i = 0; i < file.run_count; ++i) {
        const Run& run = file.runs[i];
        sector = run.first;
        if (run.first <= INDEX_SECTOR || run.first + run.length > end) {
            return FileFault::leaves_disk;
        }
        for (; sector < run.first + run.length; ++sector) {
            if (owners.taken[sector]) return FileFault::runs_overlap;
            owners.taken[sector] = true;
        }
        sectors += run.length;
    }
    return sectors == file.allocated ? FileFault::none : FileFault::count_differs;
}

namespace {

// The fault of one file: its record's sector, then its runs, each sector marked used.
FileFault check_file(DiskBytes disk, uint32_t record, uint32_t end, SectorOwners& owners,
                     uint32_t& sector) {
    sector = record;
    const Sector sector0 = sector_of(disk, 0);
    if (owners.taken[record]) {
        return owners.record[record] ? FileFault::listed_twice : FileFault::runs_overlap;
    }
    owners.taken[record] = owners.record[record] = true;
    if (!is_used(sector0, record)) return FileFault::not_marked_used;
    const FileRecord file = decode_record(sector_of(disk, record));
    if (const FileFault fault = check_runs(file, end, owners, sector); fault != FileFault::none) {
        return fault;
    }
    for (uint32_t i = 0; i < file.run_count; ++i) {
        const Run& run = file.runs[i];
        for (sector = run.first; sector < run.first + run.length; ++sector) {
            if (!is_used(sector0, sector)) return FileFault::not_marked_used;
        }
    }
    return FileFault::none;
}

}  // namespace

DiskFault check_disk(DiskBytes disk) {
    DiskFault found;
    const uint32_t end = disk_end(disk);
    SectorOwners owners;
    uint32_t hole = 0;
    walk_index(
        sector_of(disk, INDEX_SECTOR),
        [&](uint32_t i, uint32_t record) {
            if (found.fault != FileFault::none) return;
            found.entry = i + 1;
            found.sector = record;
            if (record == INDEX_SECTOR || record >= end) {
                found.fault = FileFault::index_out_of_range;
                return;
            }
            std::memcpy(found.name, sector_of(disk, record).data(), TI_NAME_BYTES);
            found.fault = check_file(disk, record, end, owners, found.sector);
        },
        hole);
    if (hole != 0) {
        found = DiskFault{};
        found.fault = FileFault::index_hole;
        found.entry = hole;
    }
    return found;
}

uint32_t files_reach(DiskBytes disk) {
    const auto held =
        static_cast<uint32_t>(std::min<size_t>(disk.size() / IMAGE_SECTOR_BYTES, MAPPED_SECTORS));
    uint32_t reach = INDEX_SECTOR + 1;
    uint32_t hole = 0;
    walk_index(
        sector_of(disk, INDEX_SECTOR),
        [&](uint32_t, uint32_t record) {
            char name[TI_NAME_BYTES + 1];
            // A record is one where its name is text; anything else an entry names is no file's.
            if (record >= held || !show_name(sector_of(disk, record).data(), name)) return;
            reach = std::max(reach, record + 1);
            const FileRecord file = decode_record(sector_of(disk, record));
            for (uint32_t i = 0; i < file.run_count; ++i) {
                reach = std::max(reach, file.runs[i].first + file.runs[i].length);
            }
        },
        hole);
    return std::min(reach, MAPPED_SECTORS);
}
