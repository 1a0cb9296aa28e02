// The one line of input a listing reads, and what it picks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// An answer holds up to 83 characters; the line break is not stored.
inline constexpr size_t ANSWER_BYTES = 84;

// Reads one line from input into answer, once the question printed before it is out. A longer
// line is cut to its first 83 characters and the rest of it is dropped; end of input reads as
// an empty line.
void read_answer(std::FILE* input, char (&answer)[ANSWER_BYTES]);

// Whether standard input is a console, where a question can be asked; input from a file or a
// pipe is never asked.
bool input_is_console();

// The letter index (A = 0) an answer's first character names, upper-cased; -1 for anything but
// a letter.
int32_t answered_letter(const char* answer);

// The answer's leading decimal number (after blanks, with an optional sign) when it lies in
// 1 to count; 0 otherwise, a line without digits included.
int32_t answered_list_number(const char* answer, int32_t count);
