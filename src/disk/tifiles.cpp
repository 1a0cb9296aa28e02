#include "disk/tifiles.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t MAGIC[] = {0x07, 'T', 'I', 'F', 'I', 'L', 'E', 'S'};
constexpr size_t SECTORS = 8;  // big-endian, 2 bytes
constexpr size_t FLAGS = 10;
constexpr size_t RECORDS_PER_SECTOR = 11;
constexpr size_t EOF_OFFSET = 12;
constexpr size_t RECORD_LENGTH = 13;
constexpr size_t LEVEL3_RECORDS = 14;  // big-endian, 2 bytes
constexpr size_t NAME = 16;

}  // namespace

void encode_tifiles_header(const FileRecord& file,
                           std::span<uint8_t, TIFILES_HEADER_BYTES> header) {
    std::fill(header.begin(), header.end(), 0);
    std::memcpy(header.data(), MAGIC, sizeof MAGIC);
    header[SECTORS] = static_cast<uint8_t>(file.allocated >> 8);
    header[SECTORS + 1] = static_cast<uint8_t>(file.allocated);
    header[FLAGS] = file.flags;
    header[RECORDS_PER_SECTOR] = file.records_per_sector;
    header[EOF_OFFSET] = file.eof_offset;
    header[RECORD_LENGTH] = file.record_length;
    header[LEVEL3_RECORDS] = static_cast<uint8_t>(file.level3_records >> 8);
    header[LEVEL3_RECORDS + 1] = static_cast<uint8_t>(file.level3_records);
    std::memcpy(header.data() + NAME, file.name, TI_NAME_BYTES);
}
