#include "disk/display_file.h"

#include <cstring>

namespace {

constexpr uint8_t END_OF_SECTOR = 0xFF;

RecordsRead read_variable(const FileRecord& file, std::span<const uint8_t> body,
                          FunctionRef<void(std::span<const uint8_t>)> each) {
    RecordsRead read;
    // The sectors the records use; a count of none, as some writers leave it, reads them all.
    uint32_t sectors = file.level3_records != 0 ? file.level3_records : file.allocated;
    if (sectors > body.size() / IMAGE_SECTOR_BYTES) {
        read.fault = RecordsRead::Fault::damaged;
        return read;
    }
    for (uint32_t k = 0; k < sectors; ++k) {
        const uint8_t* sector = body.data() + size_t{k} * IMAGE_SECTOR_BYTES;
        for (size_t at = 0; at < IMAGE_SECTOR_BYTES && sector[at] != END_OF_SECTOR;) {
            const size_t length = sector[at];
            if (at + 1 + length > IMAGE_SECTOR_BYTES) {
                read.fault = RecordsRead::Fault::damaged;
                return read;
            }
            each({sector + at + 1, length});
            ++read.records;
            at += 1 + length;
        }
    }
    return read;
}

RecordsRead read_fixed(const FileRecord& file, std::span<const uint8_t> body,
                       FunctionRef<void(std::span<const uint8_t>)> each) {
    RecordsRead read;
    const size_t length = file.record_length != 0 ? file.record_length : IMAGE_SECTOR_BYTES;
    const size_t per_sector = IMAGE_SECTOR_BYTES / length;
    const size_t count = file.level3_records;
    const size_t sectors = (count + per_sector - 1) / per_sector;
    if (sectors > body.size() / IMAGE_SECTOR_BYTES) {
        read.fault = RecordsRead::Fault::damaged;
        return read;
    }
    for (size_t k = 0; k < count; ++k) {
        const uint8_t* record =
            body.data() + k / per_sector * IMAGE_SECTOR_BYTES + k % per_sector * length;
        size_t kept = length;
        while (kept > 0 && record[kept - 1] == ' ') --kept;
        each({record, kept});
        ++read.records;
    }
    return read;
}

}  // namespace

RecordsRead read_display_records(const FileRecord& file, std::span<const uint8_t> body,
                                 FunctionRef<void(std::span<const uint8_t> record)> each) {
    if ((file.flags & (file_flags::PROGRAM | file_flags::INTERNAL)) != 0) {
        return {RecordsRead::Fault::not_display, 0};
    }
    if ((file.flags & file_flags::VARIABLE) != 0) return read_variable(file, body, each);
    return read_fixed(file, body, each);
}

bool VariableFileWriter::add(std::span<const uint8_t> record) {
    // A record and its length byte, and the 0xFF after them, fit the sector begun; else the
    // next sector takes it.
    if (sectors_ == 0 || at_ + 1 + record.size() + 1 > IMAGE_SECTOR_BYTES) {
        if (size_t{sectors_ + 1} * IMAGE_SECTOR_BYTES > body_.size()) return false;
        at_ = 0;
        ++sectors_;
    }
    uint8_t* sector = body_.data() + size_t{sectors_ - 1} * IMAGE_SECTOR_BYTES;
    sector[at_] = static_cast<uint8_t>(record.size());
    if (!record.empty()) std::memcpy(sector + at_ + 1, record.data(), record.size());
    at_ += 1 + record.size();
    sector[at_] = END_OF_SECTOR;
    return true;
}

void VariableFileWriter::finish(FileRecord& file) const {
    file.flags = file_flags::VARIABLE;
    file.records_per_sector = TEXT_RECORDS_PER_SECTOR;
    file.record_length = TEXT_RECORD_LENGTH;
    file.allocated = sectors_;
    file.eof_offset = static_cast<uint8_t>(at_);
    file.level3_records = sectors_;
}
