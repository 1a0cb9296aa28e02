// Any console input: exactly one line is taken, at most 83 characters of it are kept, and the
// letter and list number it picks follow the rules of the two listings.
#include <cctype>
#include <cstring>
#include <string>

#include "device/console_answer.h"
#include "fuzz/fuzz_check.h"

namespace {

// The list number as the rule states it, worked out without strtoll.
int32_t expected_list_number(const char* answer, int32_t count) {
    const char* c = answer;
    while (std::isspace(static_cast<unsigned char>(*c))) ++c;
    const bool negative = *c == '-';
    if (*c == '+' || *c == '-') ++c;
    long long value = 0;
    for (; *c >= '0' && *c <= '9' && value <= count; ++c) value = value * 10 + (*c - '0');
    return !negative && value >= 1 && value <= count ? static_cast<int32_t>(value) : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* input = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (input == nullptr) return 0;
    char answer[ANSWER_BYTES];
    read_answer(input, answer);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t line_end = std::min(text.find('\n'), text.size());
    std::string line = text.substr(0, std::min<size_t>(line_end, ANSWER_BYTES - 1));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // What was read is the line's start; a NUL inside it ends the text early.
    FUZZ_CHECK(std::strlen(answer) <= ANSWER_BYTES - 1);
    FUZZ_CHECK(std::strncmp(answer, line.c_str(), line.size()) == 0 ||
               line.find('\0') != std::string::npos);
    const long next = std::ftell(input);
    FUZZ_CHECK(next == static_cast<long>(line_end == text.size() ? size : line_end + 1));
    std::fclose(input);

    const int32_t letter = answered_letter(answer);
    const int first = std::toupper(static_cast<unsigned char>(answer[0]));
    FUZZ_CHECK(letter == (first >= 'A' && first <= 'Z' ? first - 'A' : -1));
    for (const int32_t count : {2, 9, 16}) {
        FUZZ_CHECK(answered_list_number(answer, count) == expected_list_number(answer, count));
    }
    return 0;
}
