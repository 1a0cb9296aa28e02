// The one line of input a listing reads.
#pragma once

#include <cstddef>

// An answer holds up to 83 characters; the line break is not stored.
inline constexpr size_t ANSWER_BYTES = 84;

// Reads one line into answer, once the question printed before it is out. A longer line is cut
// to its first 83 characters and the rest of it is dropped; end of input reads as an empty line.
void read_answer(char (&answer)[ANSWER_BYTES]);
