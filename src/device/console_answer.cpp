#include "device/console_answer.h"

#include <cctype>
#include <cstdlib>

#include "winapi.h"

void read_answer(std::FILE* input, char (&answer)[ANSWER_BYTES]) {
    std::fflush(stdout);  // the user answers on the question's line
    size_t length = 0;
    for (int c = std::getc(input); c != EOF && c != '\n'; c = std::getc(input)) {
        if (length < ANSWER_BYTES - 1) answer[length++] = static_cast<char>(c);
    }
    if (length > 0 && answer[length - 1] == '\r') --length;
    answer[length] = '\0';
}

bool input_is_console() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

int32_t answered_letter(const char* answer) {
    const int letter = std::toupper(static_cast<unsigned char>(answer[0]));
    return letter >= 'A' && letter <= 'Z' ? letter - 'A' : -1;
}

int32_t answered_list_number(const char* answer, int32_t count) {
    const long long k = std::strtoll(answer, nullptr, 10);
    return k >= 1 && k <= count ? static_cast<int32_t>(k) : 0;
}
