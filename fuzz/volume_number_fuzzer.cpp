// Any volume text: accepted exactly when it is all digits and names a volume from 1 that fits
// 32 bits, with its value.
#include <cstdio>
#include <string>

#include "front/front_end.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::freopen("/dev/null", "w", stdout);  // the refusal message is not what is tested
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('\0') != std::string::npos) return 0;  // a command-line argument has none
    bool digits = true;
    for (const char c : text) digits = digits && c >= '0' && c <= '9';
    const size_t significant = text.find_first_not_of('0');
    const std::string value = significant == std::string::npos ? "" : text.substr(significant);
    const bool fits = value.size() < 10 || (value.size() == 10 && value <= "4294967295");

    uint32_t volume = 0xDEADBEEF;
    const int32_t result = check_volume_number(text.c_str(), volume);
    FUZZ_CHECK(result == (digits && fits && !value.empty() ? 0 : -1));
    if (result == 0) FUZZ_CHECK(volume == std::stoul(value));
    return 0;
}
