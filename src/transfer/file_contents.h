// A file's contents as the PC's own forms: a DISPLAY file's records as lines of text, a BASIC
// program as its listing, each line ended as the system ends lines; and such text made a TI
// file again, DIS/VAR 80 records or a PROGRAM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "device/failure.h"
#include "disk/file_record.h"
#include "function_ref.h"
#include "owned_buffer.h"
#include "transfer/slot_layout.h"

// Tells each line of PC text, its number from 1: lines end in LF, CR LF or CR, the last one with
// or without its end. Stops where each returns false.
void for_each_text_line(std::span<const uint8_t> text,
                        FunctionRef<bool(const char* line, size_t length, uint32_t number)> each);

// A TI file as text: its bytes, their count and its lines; listing where it was a BASIC
// program's.
struct TextMade {
    Buffer bytes;
    size_t length = 0;
    uint32_t lines = 0;
    bool listing = false;
};

// The file (its record's fields, and body, its data sectors) as text, each line ended by
// line_end: a DISPLAY file's records (a FIXED one's without the blanks that pad them), or a
// BASIC program's listing. Refused, in words that call the file `named`, for an INTERNAL file,
// a record that is not printable text (its record and column named), a PROGRAM that holds no
// BASIC program, and records that lie past the file.
Result file_as_text(const FileRecord& file, std::span<const uint8_t> body, const char* line_end,
                    const Text& named, TextMade& out);

// The bytes of a PROGRAM file: its sectors, cut where its end-of-file offset says.
std::span<const uint8_t> program_bytes(const FileRecord& file, std::span<const uint8_t> body);

// A TI file made from PC text: its record's fields (its name not set) and its data sectors.
struct MadeFile {
    FileRecord file;
    Buffer body;
};

// The PC file's text as a DIS/VAR 80 file, or with basic as the PROGRAM its listing makes.
// Refused (RESULT_CHANGE_REFUSED), naming the file and its line, for a character outside
// printable ASCII, a line longer than a record's 80 characters, a listing's line without its
// number or with one out of range or given twice, one longer than the TI takes, and text more
// than a disk or TI BASIC's memory holds.
Result text_as_file(const char* path, std::span<const uint8_t> text, bool basic, MadeFile& made);
