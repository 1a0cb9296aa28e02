#include "transfer/file_contents.h"

#include <cstring>

#include "disk/basic_program.h"
#include "disk/display_file.h"
#include "printable.h"
#include "slotpush.h"

void for_each_text_line(std::span<const uint8_t> text,
                        FunctionRef<bool(const char* line, size_t length, uint32_t number)> each) {
    const auto* chars = reinterpret_cast<const char*>(text.data());
    uint32_t number = 1;
    for (size_t start = 0; start < text.size(); ++number) {
        size_t end = start;
        while (end < text.size() && chars[end] != '\n' && chars[end] != '\r') ++end;
        if (!each(chars + start, end - start, number)) return;
        if (end + 1 < text.size() && chars[end] == '\r' && chars[end + 1] == '\n') ++end;
        start = end + 1;
    }
}

namespace {

// Text being made, each line ended by line_end, in a buffer of its own size.
class TextMaker {
  public:
    TextMaker(TextMade& out, size_t capacity, const char* line_end)
        : out_(out), capacity_(capacity), line_end_(line_end) {
        out_.bytes = obtain<uint8_t>(capacity);
    }
    bool ready() const { return static_cast<bool>(out_.bytes); }
    void line(const char* text, size_t length) {
        put(text, length);
        put(line_end_, std::strlen(line_end_));
        ++out_.lines;
    }

  private:
    void put(const char* text, size_t length) {
        if (out_.length + length > capacity_) return;  // sized for the most a file gives
        std::memcpy(out_.bytes.get() + out_.length, text, length);
        out_.length += length;
    }

    TextMade& out_;
    size_t capacity_;
    const char* line_end_;
};

// ">0D": a byte as the TI writes hex.
Text& add_byte(Text& text, uint8_t byte) {
    static const char DIGITS[] = "0123456789ABCDEF";
    const char hex[] = {'>', DIGITS[byte >> 4], DIGITS[byte & 0x0F], '\0'};
    return text.add(hex);
}

// Words that call the file by name: "the file DF80 on volume 5 on /dev/sdb is INTERNAL".
Failure not_text(const Text& named, const char* why) {
    Text words(named);
    return Failure(RESULT_NO_SOURCE, words.add(" ").add(why));
}

Result records_as_text(const FileRecord& file, std::span<const uint8_t> body, const char* line_end,
                       const Text& named, TextMade& out) {
    // A record of one byte, with its line end, takes three.
    TextMaker maker(out, 3 * body.size() + 8, line_end);
    if (!maker.ready()) return last_error_failure(RESULT_NO_SOURCE);
    uint32_t records = 0;
    uint32_t record = 0;  // the first that is not text, and its column, from 1; 0: none
    size_t column = 0;
    uint8_t byte = 0;
    const RecordsRead read = read_display_records(file, body, [&](std::span<const uint8_t> bytes) {
        ++records;
        for (size_t i = 0; i < bytes.size() && record == 0; ++i) {
            if (!is_printable(bytes[i])) record = records, column = i + 1, byte = bytes[i];
        }
        if (record == 0) maker.line(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    });
    if (read.fault == RecordsRead::Fault::damaged) {
        return not_text(named, "cannot be read: its records lie past its sectors.");
    }
    if (record != 0) {
        Text why("is not text: record ");
        why.number(record).add(", column ").number(column).add(" holds the byte ");
        return not_text(named, add_byte(why, byte).add(".").c_str());
    }
    return std::nullopt;
}

}  // namespace

std::span<const uint8_t> program_bytes(const FileRecord& file, std::span<const uint8_t> body) {
    size_t length = size_t{file.allocated} * IMAGE_SECTOR_BYTES;
    if (file.allocated > 0 && file.eof_offset != 0) {
        length -= IMAGE_SECTOR_BYTES - file.eof_offset;
    }
    return body.first(length < body.size() ? length : body.size());
}

Result file_as_text(const FileRecord& file, std::span<const uint8_t> body, const char* line_end,
                    const Text& named, TextMade& out) {
    out = {};
    if ((file.flags & file_flags::PROGRAM) == 0) {
        if ((file.flags & file_flags::INTERNAL) != 0) {
            return not_text(named, "is INTERNAL, not text: GET without --text saves it as it is.");
        }
        return records_as_text(file, body, line_end, named, out);
    }
    const std::span<const uint8_t> program = program_bytes(file, body);
    if (!is_basic_program(program)) {
        return not_text(named, "is a PROGRAM of machine code or data, not a BASIC program.");
    }
    // A token byte lists as at most a keyword of ten letters and the blanks around it.
    TextMaker maker(out, 12 * program.size() + 64, line_end);
    if (!maker.ready()) return last_error_failure(RESULT_NO_SOURCE);
    list_program(program, [&](const char* line, size_t length) { maker.line(line, length); });
    out.listing = true;
    return std::nullopt;
}

namespace {

// "'hello.txt' line 3: ", as a refusal of the PC file's text starts.
Text at_line(const char* path, uint32_t line) {
    Text words;
    return words.quoted(path).add(" line ").number(line).add(": ");
}

Failure refused(const Text& words) {
    return Failure(RESULT_CHANGE_REFUSED, words);
}

// The first character of a line that is not printable text, from 1; 0 where there is none.
size_t not_printable(const char* line, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (!is_printable(static_cast<uint8_t>(line[i]))) return i + 1;
    }
    return 0;
}

Failure not_printable_text(const char* path, uint32_t line, size_t column, char c) {
    Text words = at_line(path, line);
    add_byte(words.add("column ").number(column).add(" holds the byte "), static_cast<uint8_t>(c));
    return refused(words.add(", which is not printable text."));
}

Result text_records(const char* path, std::span<const uint8_t> text, MadeFile& made) {
    made.body = obtain<uint8_t>(IMAGE_BYTES);
    if (!made.body) return last_error_failure(RESULT_NO_SOURCE);
    VariableFileWriter writer({made.body.get(), IMAGE_BYTES});
    Result failed;
    for_each_text_line(text, [&](const char* line, size_t length, uint32_t number) {
        if (const size_t column = not_printable(line, length)) {
            failed = not_printable_text(path, number, column, line[column - 1]);
        } else if (length > TEXT_RECORD_LENGTH) {
            Text words = at_line(path, number);
            words.add("it is ").number(length).add(" characters long; a DIS/VAR 80 record ");
            failed = refused(words.add("holds 80."));
        } else if (!writer.add({reinterpret_cast<const uint8_t*>(line), length})) {
            Text words;
            failed = refused(words.quoted(path).add(" holds more text than a disk holds."));
        }
        return !failed;
    });
    if (!failed) writer.finish(made.file);
    return failed;
}

// What a listing's line fault says.
const char* listing_fault_words(ListingFault fault) {
    switch (fault) {
        case ListingFault::no_number:
            return "it does not start with its line number.";
        case ListingFault::number_range:
            return "a line number lies outside 1 to 32767.";
        case ListingFault::number_twice:
            return "its line number is given twice.";
        case ListingFault::too_long:
            return "it takes more than the 254 bytes a line of the TI holds.";
        case ListingFault::open_string:
            return "a string has no closing quote.";
        case ListingFault::not_text:
            return "it holds a character that is not printable text.";
        case ListingFault::too_large:
            return "the program takes more than the 13928 bytes TI BASIC has for it.";
        case ListingFault::none:
            break;
    }
    return "";
}

Result listing_program(const char* path, std::span<const uint8_t> text, MadeFile& made) {
    const Owned<ProgramWriter> writer = obtain<ProgramWriter>(1);
    made.body = obtain<uint8_t>(PROGRAM_HEADER_BYTES + MOST_PROGRAM_BYTES + IMAGE_SECTOR_BYTES);
    if (!writer || !made.body) return last_error_failure(RESULT_NO_SOURCE);
    Result failed;
    for_each_text_line(text, [&](const char* line, size_t length, uint32_t number) {
        if (const size_t column = not_printable(line, length)) {
            failed = not_printable_text(path, number, column, line[column - 1]);
        } else if (const ListingFault fault = writer[0].add_line(line, length);
                   fault != ListingFault::none) {
            failed = refused(at_line(path, number).add(listing_fault_words(fault)));
        }
        return !failed;
    });
    if (failed) return failed;
    if (writer[0].empty()) {
        Text words;
        return refused(words.quoted(path).add(" holds no line of a BASIC program."));
    }
    size_t length = 0;
    writer[0].finish({made.body.get(), PROGRAM_HEADER_BYTES + MOST_PROGRAM_BYTES}, length);
    made.file.flags = file_flags::PROGRAM;
    made.file.allocated =
        static_cast<uint32_t>((length + IMAGE_SECTOR_BYTES - 1) / IMAGE_SECTOR_BYTES);
    made.file.eof_offset = static_cast<uint8_t>(length % IMAGE_SECTOR_BYTES);
    return std::nullopt;
}

}  // namespace

Result text_as_file(const char* path, std::span<const uint8_t> text, bool basic, MadeFile& made) {
    made = {};
    return basic ? listing_program(path, text, made) : text_records(path, text, made);
}
