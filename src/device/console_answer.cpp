#include "device/console_answer.h"

#include <cstdio>

void read_answer(char (&answer)[ANSWER_BYTES]) {
    std::fflush(stdout);  // the user answers on the question's line
    size_t length = 0;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
        if (length < ANSWER_BYTES - 1) answer[length++] = static_cast<char>(c);
    }
    if (length > 0 && answer[length - 1] == '\r') --length;
    answer[length] = '\0';
}
