// Any PC file put on any disk: the TI file reader keeps to the file's bytes, the disk checker to
// the disk's, and a change built on a disk the checker passes leaves a disk it passes again, the
// file reading back as it went in, and a deletion gives back every sector the file took.
// The input: two bytes that tell the PC file's length, the PC file, then the disk's sectors.
#include <cstring>
#include <vector>

#include "disk/disk_change.h"
#include "disk/disk_check.h"
#include "disk/file_export.h"
#include "disk/tifiles.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t file_bytes = std::min<size_t>(data[0] << 8 | data[1], size - 2);
    const TiFileRead read = read_ti_file({data + 2, file_bytes});
    const uint8_t* const end_of_file = data + 2 + file_bytes;
    FUZZ_CHECK(read.body.data() == nullptr ||
               (read.body.data() >= data + 2 &&
                read.body.data() + read.body.size() <= end_of_file &&
                read.body.size() == size_t{read.file.allocated} * IMAGE_SECTOR_BYTES));
    const size_t sectors = std::min<size_t>((size - 2 - file_bytes) / 256, IMAGE_SECTORS);
    if (sectors < 2 || read.body.data() == nullptr) return 0;
    std::vector<uint8_t> disk(end_of_file, end_of_file + sectors * 256);
    std::memcpy(disk.data() + 13, "DSK", 3);
    if (check_disk(disk).fault != FileFault::none) return 0;
    FileRecord file = read.file;
    pad_name("FUZZ", 4, file.name);
    DiskChange put(disk);
    const uint32_t free = put.free_sectors();
    if (put.add(file, read.body) != ChangeFault::none) return 0;
    ChangedSector order[IMAGE_SECTORS + 1];
    FUZZ_CHECK(put.write_order(order) <= file.allocated + 3);
    FUZZ_CHECK(put.free_sectors() == free - file.allocated - 1);
    FUZZ_CHECK(check_disk(disk).fault == FileFault::none);
    const FileSearch search = find_file(disk, read_directory(disk), "FUZZ");
    FUZZ_CHECK(search.kind == FileSearch::Kind::found);
    static uint8_t out[MOST_FILE_BYTES];
    size_t length = 0;
    FUZZ_CHECK(export_file(disk, search.record, out, length) == FileFault::none);
    FUZZ_CHECK(length == TIFILES_HEADER_BYTES + read.body.size() &&
               std::memcmp(out + TIFILES_HEADER_BYTES, read.body.data(), read.body.size()) == 0);
    DiskChange del(disk);
    if (del.remove(search.record) == ChangeFault::none) {
        FUZZ_CHECK(del.free_sectors() == free && check_disk(disk).fault == FileFault::none);
    }
    return 0;
}
