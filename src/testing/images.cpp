#include "testing/images.h"

#include <algorithm>
#include <cstring>

#include "slotpush.h"

namespace testing_support {

std::vector<uint8_t> sector_dump(uint16_t total_sectors, size_t file_bytes) {
    std::vector<uint8_t> dump(file_bytes);
    for (size_t i = 0; i < file_bytes; ++i) dump[i] = static_cast<uint8_t>(i * 7 % 251);
    if (file_bytes >= IMAGE_SECTOR_BYTES) {
        dump[10] = static_cast<uint8_t>(total_sectors >> 8);
        dump[11] = static_cast<uint8_t>(total_sectors & 0xFF);
        dump[13] = 'D';
        dump[14] = 'S';
        dump[15] = 'K';
        std::fill(dump.begin() + 56, dump.begin() + 256, 0xFF);
    }
    return dump;
}

std::vector<uint8_t> track_dump_of(const std::vector<uint8_t>& image) {
    std::vector<uint8_t> dump(260240, 0);
    dump[22] = 0xFE;
    for (size_t area = 0; area < 80; ++area) {
        for (size_t k = 0; k < 9; ++k) {
            uint8_t* record = dump.data() + area * 3253 + 16 + k * 334;
            record[7] = static_cast<uint8_t>(area % 40);
            record[8] = static_cast<uint8_t>(area / 40);
            record[9] = static_cast<uint8_t>(k);
            std::memcpy(record + 31, image.data() + (area * 9 + k) * 256, 256);
        }
    }
    return dump;
}

std::vector<uint8_t> disk_with_files(const std::vector<DiskFile>& files) {
    constexpr size_t TOTAL = 720;
    std::vector<uint8_t> disk = sector_dump(TOTAL, TOTAL * IMAGE_SECTOR_BYTES);
    std::memcpy(disk.data(), "FILES     ", 10);
    const uint8_t geometry[] = {9, 'D', 'S', 'K', ' ', 40, 2, 1};  // sectors a track .. density
    std::copy(std::begin(geometry), std::end(geometry), disk.begin() + 12);
    std::fill(disk.begin() + 56, disk.begin() + 256, 0);
    std::fill(disk.begin() + IMAGE_SECTOR_BYTES, disk.begin() + 2 * IMAGE_SECTOR_BYTES, 0);
    size_t next_data = 2 + files.size();
    for (size_t i = 0; i < files.size(); ++i) {
        const size_t sector = 2 + i;
        disk[IMAGE_SECTOR_BYTES + 2 * i + 1] = static_cast<uint8_t>(sector);
        uint8_t* record = disk.data() + sector * IMAGE_SECTOR_BYTES;
        std::fill_n(record, IMAGE_SECTOR_BYTES, 0);
        std::memset(record, ' ', 10);
        std::memcpy(record, files[i].name, std::strlen(files[i].name));
        record[12] = files[i].flags;
        record[14] = static_cast<uint8_t>(files[i].data_sectors >> 8);
        record[15] = static_cast<uint8_t>(files[i].data_sectors);
        record[17] = files[i].record_length;
        const size_t last = files[i].data_sectors - 1u;  // one run, where it has data
        const uint8_t run[] = {static_cast<uint8_t>(next_data),
                               static_cast<uint8_t>(next_data >> 8 | (last & 0x0F) << 4),
                               static_cast<uint8_t>(last >> 4)};
        if (files[i].data_sectors > 0) std::copy(std::begin(run), std::end(run), record + 28);
        next_data += files[i].data_sectors;
    }
    for (size_t used = 0; used < next_data; ++used) disk[56 + used / 8] |= 1 << used % 8;
    return disk;
}

std::vector<uint8_t> drive_choice_bytes(int32_t drive) {
    const auto value = static_cast<uint32_t>(drive);
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

}  // namespace testing_support
