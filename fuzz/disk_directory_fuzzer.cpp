// Any disk: the directory read from its index and records, and every file taken off it, stay
// inside the image (the sanitizer says so), holds at most 127 entries, counts only its files, and
// every text it would print is printable.
#include <cstring>
#include <vector>

#include "disk/directory.h"
#include "disk/file_export.h"
#include "disk/tifiles.h"
#include "fuzz/fuzz_check.h"

namespace {

bool printable_text(const char* text, size_t bytes) {
    const size_t length = strnlen(text, bytes);
    if (length == bytes) return false;  // no end within its field
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < 0x20 || text[i] > 0x7E) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first two sectors and the records the index points at, on a disk that carries the
    // signature; the rest of the image as the input gives it, then zeros.
    std::vector<uint8_t> image(IMAGE_BYTES, 0);
    std::memcpy(image.data(), data, std::min<size_t>(size, IMAGE_BYTES));
    std::memcpy(image.data() + 13, "DSK", 3);
    const Directory directory = read_directory({image.data(), IMAGE_BYTES});
    FUZZ_CHECK(directory.disk.kind == VolumeSummary::Kind::disk);
    FUZZ_CHECK(directory.count <= MOST_FILES);
    FUZZ_CHECK(printable_text(directory.disk.name, sizeof directory.disk.name));
    uint32_t files = 0;
    for (uint32_t i = 0; i < directory.count; ++i) {
        const DirectoryEntry& entry = directory.entries[i];
        FUZZ_CHECK(printable_text(entry.name, sizeof entry.name));
        FUZZ_CHECK(entry.type[0] == '\0' || printable_text(entry.type, sizeof entry.type));
        if (entry.kind == DirectoryEntry::Kind::file) {
            ++files;
            FUZZ_CHECK(entry.sector > 1 && entry.sector < IMAGE_SECTORS);
            FUZZ_CHECK(entry.sectors >= 1 && entry.sectors <= 65536);
            // Taken off the disk, a file is its header and exactly its allocated sectors.
            static uint8_t file[MOST_FILE_BYTES];
            size_t length = 0;
            if (export_file({image.data(), IMAGE_BYTES}, entry.sector, file, length) ==
                FileFault::none) {
                FUZZ_CHECK(length == TIFILES_HEADER_BYTES + (entry.sectors - 1) * 256);
            }
        }
    }
    FUZZ_CHECK(files == directory.files);
    return 0;
}
