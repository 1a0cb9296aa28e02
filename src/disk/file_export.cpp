#include "disk/file_export.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "disk/file_record.h"
#include "disk/tifiles.h"

namespace {

bool same_but_case(const uint8_t* a, const uint8_t* b) {
    for (size_t i = 0; i < TI_NAME_BYTES; ++i) {
        if (std::toupper(a[i]) != std::toupper(b[i])) return false;
    }
    return true;
}

}  // namespace

FileSearch find_file(DiskBytes disk, const Directory& directory, const char* name) {
    FileSearch search;
    uint8_t wanted[TI_NAME_BYTES];
    if (!pad_name(name, std::strlen(name), wanted)) return search;
    for (uint32_t i = 0; i < directory.count; ++i) {
        const DirectoryEntry& entry = directory.entries[i];
        if (entry.kind != DirectoryEntry::Kind::file) continue;
        const uint8_t* record = sector_of(disk, entry.sector).data();
        if (std::equal(wanted, wanted + TI_NAME_BYTES, record)) {
            search.kind = FileSearch::Kind::found;
            search.record = entry.sector;
            return search;
        }
        if (search.kind == FileSearch::Kind::missing && same_but_case(wanted, record)) {
            search.kind = FileSearch::Kind::other_case;
            std::memcpy(search.other_case, entry.name, sizeof entry.name);
        }
    }
    return search;
}

FileFault export_file(DiskBytes disk, uint32_t record, std::span<uint8_t, MOST_FILE_BYTES> out,
                      size_t& length) {
    const FileRecord file = decode_record(sector_of(disk, record));
    SectorOwners owners;  // so that the file is never longer than the disk
    uint32_t sector = 0;
    if (const FileFault fault = check_runs(file, disk_end(disk), owners, sector);
        fault != FileFault::none) {
        return fault;
    }
    encode_tifiles_header(file, out.first<TIFILES_HEADER_BYTES>());
    uint8_t* body = out.data() + TIFILES_HEADER_BYTES;
    for (uint32_t i = 0; i < file.run_count; ++i) {
        const Run& run = file.runs[i];
        const uint8_t* first = sector_of(disk, run.first).data();
        const size_t bytes = size_t{run.length} * IMAGE_SECTOR_BYTES;
        std::memcpy(body, first, bytes);  // the Windows programs import no memmove
        body += bytes;
    }
    length = static_cast<size_t>(body - out.data());
    return FileFault::none;
}
