#include "disk/disk_change.h"

#include <algorithm>
#include <cstring>

#include "disk/disk_check.h"

DiskChange::DiskChange(std::span<uint8_t> disk) : disk_(disk), end_(disk_end(disk)) {
    // A disk with a hole in its index is refused before it is changed (check_disk).
    uint32_t hole = 0;
    walk_index(
        sector_of(disk, INDEX_SECTOR),
        [&](uint32_t, uint32_t record) { index_[files_++] = static_cast<uint16_t>(record); }, hole);
}

namespace {

// Compared by hand: the Windows programs import no memcmp, and std::equal, std::sort and
// std::remove over bytes call it or memmove.
bool same_bytes(const uint8_t* a, const uint8_t* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

bool name_before(const uint8_t* a, const uint8_t* b) {
    size_t i = 0;
    while (i < TI_NAME_BYTES && a[i] == b[i]) ++i;
    return i < TI_NAME_BYTES && a[i] < b[i];
}

}  // namespace

WritableSector DiskChange::sector(uint32_t n) {
    return WritableSector{disk_.data() + size_t{n} * IMAGE_SECTOR_BYTES, IMAGE_SECTOR_BYTES};
}

uint32_t DiskChange::first_free(uint32_t from) const {
    const Sector sector0 = sector_of(disk_, 0);
    while (from < end_ && (is_used(sector0, from) || freed_later_[from])) ++from;
    return std::min(from, end_);  // a disk shorter than 34 sectors has no data area above it
}

uint32_t DiskChange::free_sectors() const {
    const Sector sector0 = sector_of(disk_, 0);
    uint32_t free = 0;
    for (uint32_t n = INDEX_SECTOR + 1; n < end_; ++n) free += is_used(sector0, n) ? 0 : 1;
    return free;
}

uint32_t DiskChange::placeable_sectors() const {
    uint32_t free = 0;
    for (uint32_t n = first_free(INDEX_SECTOR + 1); n < end_; n = first_free(n + 1)) ++free;
    return free;
}

uint32_t DiskChange::find(const uint8_t* name) const {
    for (uint32_t i = 0; i < files_; ++i) {
        if (same_bytes(name, disk_.data() + size_t{index_[i]} * IMAGE_SECTOR_BYTES,
                       TI_NAME_BYTES)) {
            return index_[i];
        }
    }
    return 0;
}

ChangeFault DiskChange::add(const FileRecord& file, std::span<const uint8_t> body) {
    if (find(file.name) != 0) return ChangeFault::name_taken;
    if (files_ == MOST_FILES) return ChangeFault::index_full;
    if (placeable_sectors() < file.allocated + 1) return ChangeFault::disk_full;
    FileRecord placed = file;
    placed.run_count = 0;
    const uint32_t record = first_free(INDEX_SECTOR + 1);
    const WritableSector sector0 = sector(0);
    mark_used(sector0, record, true);
    // The data's sectors, from 34 up and then from 2, gathered into runs.
    uint32_t next = first_free(FIRST_DATA_SECTOR);
    for (uint32_t k = 0; k < file.allocated; ++k, next = first_free(next + 1)) {
        if (next == end_) next = first_free(INDEX_SECTOR + 1);
        Run* last = placed.run_count > 0 ? &placed.runs[placed.run_count - 1] : nullptr;
        if (last != nullptr && last->first + last->length == next) {
            ++last->length;
        } else if (placed.run_count == MOST_RUNS) {
            return ChangeFault::too_many_runs;
        } else {
            placed.runs[placed.run_count++] = {next, 1};
        }
        mark_used(sector0, next, true);
        std::memcpy(sector(next).data(), body.data() + size_t{k} * IMAGE_SECTOR_BYTES,
                    IMAGE_SECTOR_BYTES);
        data_[data_count_++] = static_cast<uint16_t>(next);
    }
    encode_record(placed, sector(record));
    records_[record_count_++] = static_cast<uint16_t>(record);
    index_[files_++] = static_cast<uint16_t>(record);
    changed_[0] = true;
    write_index();
    return ChangeFault::none;
}

// The file's record and data sectors freed in sector 0; with later, kept from this change's
// placements too, and marked used in the sector 0 written before the index.
void DiskChange::free_file(uint32_t record, bool later) {
    const FileRecord file = decode_record(sector(record));
    const WritableSector sector0 = sector(0);
    const auto free = [&](uint32_t n) {
        mark_used(sector0, n, false);
        freed_later_[n] = later;
    };
    free(record);
    for (uint32_t i = 0; i < file.run_count; ++i) {
        const Run& run = file.runs[i];
        for (uint32_t n = run.first; n < run.first + run.length && n < IMAGE_SECTORS; ++n) free(n);
    }
    changed_[0] = true;
}

void DiskChange::drop_from_index(uint32_t record) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < files_; ++i) {
        if (index_[i] != record) index_[kept++] = index_[i];
    }
    files_ = kept;
}

ChangeFault DiskChange::remove(uint32_t record) {
    const FileRecord file = decode_record(sector(record));
    if ((file.flags & file_flags::PROTECTED) != 0) return ChangeFault::is_protected;
    free_file(record, false);
    drop_from_index(record);
    deleted_ = true;
    write_index();
    return ChangeFault::none;
}

ChangeFault DiskChange::replace(uint32_t old, const FileRecord& file,
                                std::span<const uint8_t> body) {
    if ((decode_record(sector(old)).flags & file_flags::PROTECTED) != 0) {
        return ChangeFault::is_protected;
    }
    free_file(old, true);
    drop_from_index(old);
    replaced_ = true;
    return add(file, body);
}

ChangeFault DiskChange::rename(uint32_t record, const uint8_t (&name)[TI_NAME_BYTES]) {
    if (find(name) != 0) return ChangeFault::name_taken;
    std::memcpy(sector(record).data(), name, TI_NAME_BYTES);
    records_[record_count_++] = static_cast<uint16_t>(record);
    write_index();
    return ChangeFault::none;
}

void DiskChange::protect(uint32_t record, bool protect) {
    uint8_t& flags = sector(record)[RECORD_FLAGS];
    const uint8_t now = protect ? flags | file_flags::PROTECTED
                                : flags & static_cast<uint8_t>(~file_flags::PROTECTED);
    if (now == flags) return;
    flags = now;
    records_[record_count_++] = static_cast<uint16_t>(record);
}

// The index in name order (the names' bytes compared), zeros after it, as the TI writes it; an
// unsorted index found on the disk goes back sorted.
void DiskChange::write_index() {
    for (uint32_t i = 1; i < files_; ++i) {  // at most 127: an insertion sort
        const uint16_t entry = index_[i];
        uint32_t at = i;
        for (; at > 0 && name_before(sector(entry).data(), sector(index_[at - 1]).data()); --at) {
            index_[at] = index_[at - 1];
        }
        index_[at] = entry;
    }
    uint8_t index[IMAGE_SECTOR_BYTES] = {};
    for (uint32_t i = 0; i < files_; ++i) {
        index[2 * i] = static_cast<uint8_t>(index_[i] >> 8);
        index[2 * i + 1] = static_cast<uint8_t>(index_[i]);
    }
    const WritableSector old = sector(INDEX_SECTOR);
    if (same_bytes(index, old.data(), sizeof index)) return;
    std::memcpy(old.data(), index, sizeof index);
    changed_[INDEX_SECTOR] = true;
}

uint32_t DiskChange::write_order(ChangedSector (&order)[IMAGE_SECTORS + 1]) const {
    uint32_t count = 0;
    for (uint32_t i = 0; i < data_count_; ++i) order[count++] = {data_[i], 0};
    for (uint32_t i = 0; i < record_count_; ++i) order[count++] = {records_[i], 0};
    const bool index = changed_[INDEX_SECTOR];
    if (replaced_) {
        // The new files whole and marked used, the old ones too; the index; the old ones freed.
        std::memcpy(first_sector0_, disk_.data(), IMAGE_SECTOR_BYTES);
        for (uint32_t n = 0; n < IMAGE_SECTORS; ++n) {
            if (freed_later_[n])
                mark_used(WritableSector{first_sector0_, IMAGE_SECTOR_BYTES}, n, true);
        }
        order[count++] = {0, 0, first_sector0_};
        if (index) order[count++] = {INDEX_SECTOR, 1};
        order[count++] = {0, 2};
    } else if (deleted_) {
        // Files deleted: the index first, then sector 0.
        if (index) order[count++] = {INDEX_SECTOR, 0};
        order[count++] = {0, 1};
    } else {
        // Files added: sector 0 with their data and records, then the index; a renamed file's
        // record, then the index.
        if (changed_[0]) order[count++] = {0, 0};
        if (index) order[count++] = {INDEX_SECTOR, static_cast<uint8_t>(count > 0 ? 1 : 0)};
    }
    return count;
}
