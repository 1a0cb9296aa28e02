// Any volume text: accepted exactly when it is all digits and names a volume from 1 that fits
// 32 bits, with its value.
#include <string>

#include "front/command_table.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('\0') != std::string::npos) return 0;  // a command-line argument has none
    bool digits = true;
    for (const char c : text) digits = digits && c >= '0' && c <= '9';
    const size_t significant = text.find_first_not_of('0');
    const std::string value = significant == std::string::npos ? "" : text.substr(significant);
    const bool fits = value.size() < 10 || (value.size() == 10 && value <= "4294967295");

    uint32_t volume = 0xDEADBEEF;
    const Result refused = read_volume(text.c_str(), volume);
    FUZZ_CHECK(!refused == (digits && fits && !value.empty()));
    if (refused) FUZZ_CHECK(refused->status() == -1 && volume == 0xDEADBEEF);
    if (!refused) FUZZ_CHECK(volume == std::stoul(value));
    return 0;
}
