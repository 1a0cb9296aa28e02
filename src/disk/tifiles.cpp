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

TiFileRead read_ti_file(std::span<const uint8_t> bytes) {
    TiFileRead read;
    if (bytes.size() < TIFILES_HEADER_BYTES) return read;
    const uint8_t* header = bytes.data();
    FileRecord& file = read.file;
    const size_t held = bytes.size() - TIFILES_HEADER_BYTES;
    bool magic = true;  // compared by hand: the Windows programs import no memcmp
    for (size_t i = 0; i < sizeof MAGIC; ++i) magic = magic && header[i] == MAGIC[i];
    if (magic) {
        file.allocated = be16(header + SECTORS);
        file.flags = header[FLAGS];
        file.records_per_sector = header[RECORDS_PER_SECTOR];
        file.eof_offset = header[EOF_OFFSET];
        file.record_length = header[RECORD_LENGTH];
        file.level3_records = be16(header + LEVEL3_RECORDS);
        std::memcpy(file.name, header + NAME, TI_NAME_BYTES);
        // Trailing bytes past the sectors (a transfer's padding) are not the file's.
        read.form = held < size_t{file.allocated} * IMAGE_SECTOR_BYTES ? TiFileRead::Form::cut_short
                                                                       : TiFileRead::Form::tifiles;
    } else {
        uint8_t record[IMAGE_SECTOR_BYTES] = {};
        std::memcpy(record, header, TIFILES_HEADER_BYTES);
        file = decode_record(record);
        file.run_count = 0;
        file.chain_sound = true;
        // Nothing marks the older form but its length, which its record must tell exactly, and
        // a file of no sectors would take any 128 bytes for one: such a file comes as TIFILES.
        if (file.allocated == 0 || held != size_t{file.allocated} * IMAGE_SECTOR_BYTES) {
            return read;
        }
        read.form = TiFileRead::Form::record_first;
    }
    read.named = valid_file_name(file.name);
    if (read.form != TiFileRead::Form::cut_short) {
        read.body =
            bytes.subspan(TIFILES_HEADER_BYTES, size_t{file.allocated} * IMAGE_SECTOR_BYTES);
    }
    return read;
}

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
