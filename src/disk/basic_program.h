// TI BASIC and Extended BASIC programs as the TI saves them from a console without memory
// expansion: the memory image of the program, after an 8-byte header (the XOR of the next two
// words; the address of the line number table's last byte; the address of its first; the
// address of the program's last byte, >37D7). The table holds 4 bytes a line (its number and
// the address of its first token), highest number first; the lines follow, highest number
// first, each a length byte (its tokens and the 0 that ends them), the tokens and the 0. Words
// are big-endian. A keyword or operator is one token byte; names stay as their characters; a
// quoted string is >C7, a length and its characters; a number, the name after CALL and an item
// of DATA an unquoted string, >C8, a length and its characters; a line number after GOTO, GOSUB,
// THEN, ELSE, GO TO, GO SUB, RESTORE or RUN (and in the list after GOTO or GOSUB) is >C9 and a
// word; the text after REM and ! is kept as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "function_ref.h"

inline constexpr size_t PROGRAM_HEADER_BYTES = 8;
inline constexpr uint32_t PROGRAM_TOP = 0x37D7;
// The most a program takes: the memory TI BASIC has for it on a console without expansion.
inline constexpr size_t MOST_PROGRAM_BYTES = 13928;
inline constexpr uint32_t LAST_LINE_NUMBER = 32767;
// A line's tokens and the 0 after them, as its length byte counts them.
inline constexpr size_t MOST_LINE_BYTES = 255;

// Whether bytes hold a program so: its header, its table in line order and its lines lying
// inside the bytes.
bool is_basic_program(std::span<const uint8_t> bytes);

// Tells the listing of the program (is_basic_program) a line at a time, lowest number first,
// as "100 PRINT A", spaced as the TI's LIST spaces it; false where bytes hold no program.
bool list_program(std::span<const uint8_t> bytes,
                  FunctionRef<void(const char* line, size_t length)> each);

// Why a line of a listing cannot be put.
enum class ListingFault : uint8_t {
    none,
    no_number,     // the line does not start with its number
    number_range,  // its number, or one it names, lies outside 1 (0 for a named one) to 32767
    number_twice,  // another line has that number
    too_long,      // its tokens take more than a line's 254 bytes
    open_string,   // a string without its closing quote
    too_large,     // the program takes more than MOST_PROGRAM_BYTES
    not_text,      // a character is not printable ASCII
};

// A program built from a listing one line at a time, in any order, then laid out as the TI
// saves it. Obtained zeroed (it is large): all zeros is an empty program.
class ProgramWriter {
  public:
    // Adds a line of text (printable ASCII, no line end: anything else is refused); blank lines
    // are passed over.
    ListingFault add_line(const char* text, size_t length);
    // Whether no line has been added: no program at all.
    bool empty() const { return line_count_ == 0; }
    // The program's bytes into out (at least PROGRAM_HEADER_BYTES + MOST_PROGRAM_BYTES long),
    // their count in length.
    void finish(std::span<uint8_t> out, size_t& length) const;

  private:
    struct Line {
        uint16_t number;
        uint16_t at;      // in tokens_
        uint16_t length;  // the tokens and the 0
    };
    static constexpr size_t MOST_LINES = MOST_PROGRAM_BYTES / 6;

    Line lines_[MOST_LINES];
    uint32_t line_count_;
    uint8_t tokens_[MOST_PROGRAM_BYTES];
    size_t token_bytes_;
    size_t program_bytes_;  // the table's and the lines' bytes so far
};
