#include "disk/file_record.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

constexpr size_t RECORDS_PER_SECTOR = 13;
constexpr size_t ALLOCATED = 14;  // big-endian, 2 bytes
constexpr size_t EOF_OFFSET = 16;
constexpr size_t RECORD_LENGTH = 17;
constexpr size_t LEVEL3_RECORDS = 18;  // little-endian, 2 bytes
constexpr size_t CHAIN = 28;
constexpr size_t CHAIN_ENTRY_BYTES = 3;

}  // namespace

FileRecord decode_record(Sector record) {
    FileRecord file;
    std::memcpy(file.name, record.data(), TI_NAME_BYTES);
    file.flags = record[RECORD_FLAGS];
    file.records_per_sector = record[RECORDS_PER_SECTOR];
    file.allocated = be16(record.data() + ALLOCATED);
    file.eof_offset = record[EOF_OFFSET];
    file.record_length = record[RECORD_LENGTH];
    file.level3_records = record[LEVEL3_RECORDS] | record[LEVEL3_RECORDS + 1] << 8;
    uint32_t sectors = 0;  // the file's sectors before the run
    for (uint32_t i = 0; i < MOST_RUNS; ++i) {
        const uint8_t* entry = record.data() + CHAIN + CHAIN_ENTRY_BYTES * i;
        if (entry[0] == 0 && entry[1] == 0 && entry[2] == 0) break;
        const uint32_t last = uint32_t{entry[2]} << 4 | entry[1] >> 4;
        if (last < sectors) {
            file.chain_sound = false;
            break;
        }
        file.runs[file.run_count++] = {entry[0] | (entry[1] & 0x0Fu) << 8, last + 1 - sectors};
        sectors = last + 1;
    }
    return file;
}

void encode_record(const FileRecord& file, WritableSector record) {
    std::fill(record.begin(), record.end(), 0);
    std::memcpy(record.data(), file.name, TI_NAME_BYTES);
    record[RECORD_FLAGS] = file.flags;
    record[RECORDS_PER_SECTOR] = file.records_per_sector;
    record[ALLOCATED] = static_cast<uint8_t>(file.allocated >> 8);
    record[ALLOCATED + 1] = static_cast<uint8_t>(file.allocated);
    record[EOF_OFFSET] = file.eof_offset;
    record[RECORD_LENGTH] = file.record_length;
    record[LEVEL3_RECORDS] = static_cast<uint8_t>(file.level3_records);
    record[LEVEL3_RECORDS + 1] = static_cast<uint8_t>(file.level3_records >> 8);
    uint32_t last = 0;
    for (uint32_t i = 0; i < file.run_count; ++i) {
        const Run& run = file.runs[i];
        last += run.length;
        uint8_t* entry = record.data() + CHAIN + CHAIN_ENTRY_BYTES * i;
        entry[0] = static_cast<uint8_t>(run.first);
        entry[1] = static_cast<uint8_t>((run.first >> 8 & 0x0F) | ((last - 1) & 0x0F) << 4);
        entry[2] = static_cast<uint8_t>((last - 1) >> 4);
    }
}

bool pad_name(const char* text, size_t length, uint8_t (&bytes)[TI_NAME_BYTES]) {
    if (length > TI_NAME_BYTES) return false;
    std::fill(std::begin(bytes), std::end(bytes), ' ');
    std::memcpy(bytes, text, length);
    return true;
}

bool valid_file_name(const uint8_t* bytes) {
    size_t length = TI_NAME_BYTES;
    while (length > 0 && bytes[length - 1] == ' ') --length;
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] <= ' ' || bytes[i] > '~' || bytes[i] == '.') return false;
    }
    return length > 0;
}

void describe_type(const FileRecord& file, char (&type)[12]) {
    if ((file.flags & file_flags::PROGRAM) != 0) {
        std::memcpy(type, "PROGRAM", sizeof "PROGRAM");
        return;
    }
    std::memcpy(type, (file.flags & file_flags::INTERNAL) != 0 ? "INT/" : "DIS/", 4);
    std::memcpy(type + 4, (file.flags & file_flags::VARIABLE) != 0 ? "VAR " : "FIX ", 4);
    *std::to_chars(type + 8, type + sizeof type - 1, file.record_length).ptr = '\0';
}
