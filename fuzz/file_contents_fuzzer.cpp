// Any bytes, as the three readers of a file's contents meet them: as a PROGRAM's bytes (the BASIC
// reader: recognised or not, its listing stays inside the bytes and is printable text), as a
// DISPLAY file's sectors (the records stay inside them), and as PC text, a listing (the BASIC
// writer, as PUT --basic uses it: the listing of a program it made, written again and listed,
// is the same listing) and text records (each line a record, or refused).
#include <string>
#include <vector>

#include "disk/basic_program.h"
#include "disk/display_file.h"
#include "fuzz/fuzz_check.h"
#include "printable.h"
#include "transfer/file_contents.h"

namespace {

// The listing of a program, and whether every line is printable text.
std::string listed(std::span<const uint8_t> program) {
    std::string listing;
    list_program(program, [&](const char* line, size_t length) {
        for (size_t i = 0; i < length; ++i) FUZZ_CHECK(is_printable(static_cast<uint8_t>(line[i])));
        listing.append(line, length).push_back('\n');
    });
    return listing;
}

// The program a listing makes, as PUT --basic makes it; empty where the listing is refused.
std::vector<uint8_t> written(const std::string& listing) {
    MadeFile made;
    if (text_as_file("listing", {reinterpret_cast<const uint8_t*>(listing.data()), listing.size()},
                     true, made)) {
        return {};
    }
    const std::span<const uint8_t> program = program_bytes(
        made.file, {made.body.get(), size_t{made.file.allocated} * IMAGE_SECTOR_BYTES});
    return {program.begin(), program.end()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes{data, size};
    if (is_basic_program(bytes)) listed(bytes);

    FileRecord file;
    file.flags = size > 0 && (data[0] & 1) != 0 ? file_flags::VARIABLE : 0;
    file.record_length = size > 1 ? data[1] : 80;
    file.allocated = static_cast<uint32_t>(size / IMAGE_SECTOR_BYTES);
    file.level3_records = size > 2 ? data[2] : 0;
    read_display_records(file, bytes, [&](std::span<const uint8_t> record) {
        FUZZ_CHECK(record.empty() ||
                   (record.data() >= data && record.data() + record.size() <= data + size));
    });

    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<uint8_t> program = written(text);
    if (!program.empty()) {
        FUZZ_CHECK(is_basic_program(program));
        const std::string listing = listed(program);
        const std::vector<uint8_t> again = written(listing);
        FUZZ_CHECK(!again.empty() && listed(again) == listing);
    }
    MadeFile made;
    if (!text_as_file("text", bytes, false, made)) {
        uint32_t records = 0;
        read_display_records(made.file,
                             {made.body.get(), size_t{made.file.allocated} * IMAGE_SECTOR_BYTES},
                             [&](std::span<const uint8_t>) { ++records; });
        uint32_t lines = 0;
        for_each_text_line(bytes, [&](const char*, size_t, uint32_t) { return ++lines > 0; });
        FUZZ_CHECK(records == lines);
    }
    return 0;
}
