// DISPLAY files, as the TI writes them: a VARIABLE file's records are a length byte and their
// bytes, none crossing a sector, the last of each sector followed by 0xFF; its record says the
// sectors used (level-3 count) and where the last sector's 0xFF stands (end-of-file offset). A
// FIXED file's records fill each sector, records_per_sector of record_length bytes, the
// level-3 count saying how many there are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "disk/file_record.h"
#include "function_ref.h"

// The record length and records per sector of the files PUT --text makes: DIS/VAR 80.
inline constexpr uint8_t TEXT_RECORD_LENGTH = 80;
inline constexpr uint8_t TEXT_RECORDS_PER_SECTOR = 3;

// What reading a file's records came to.
struct RecordsRead {
    enum class Fault : uint8_t {
        none,
        not_display,  // a PROGRAM or an INTERNAL file
        damaged,      // a record crosses its sector, or the counts lie past the file
    } fault = Fault::none;
    uint32_t records = 0;  // told so far
};

// Tells each record of a DISPLAY file whose data sectors are body, in order; a FIXED record
// without the blanks that pad its end.
RecordsRead read_display_records(const FileRecord& file, std::span<const uint8_t> body,
                                 FunctionRef<void(std::span<const uint8_t> record)> each);

// Builds a DIS/VAR 80 file's data sectors in body, one record at a time, as the TI lays them.
class VariableFileWriter {
  public:
    explicit VariableFileWriter(std::span<uint8_t> body) : body_(body) {}
    // Adds a record of at most TEXT_RECORD_LENGTH bytes: false where the body is full.
    bool add(std::span<const uint8_t> record);
    // The record's fields of the file made (its name left as it is).
    void finish(FileRecord& file) const;

  private:
    std::span<uint8_t> body_;
    uint32_t sectors_ = 0;  // sectors begun
    size_t at_ = 0;         // in the last sector begun, where its 0xFF stands
};
