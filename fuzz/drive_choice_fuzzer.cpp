// Any drive-choice file: four bytes or more store the little-endian number in the first four,
// fewer store no drive; the file is never written and nothing stays open.
#include <cstdio>
#include <vector>

#include "front/front_end.h"
#include "fuzz/fuzz_check.h"
#include "slotpush.h"
#include "testing/fake_machine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::freopen("/dev/null", "w", stdout);  // the refusal line is not what is tested
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fake::reset();
    const std::vector<uint8_t> contents(data, data + size);
    fake::machine().files["slotpCFG"] = contents;
    int32_t drive = 0;
    const bool usable = load_drive_choice("slotpush", drive);
    const int32_t stored = size < 4 ? NO_DRIVE
                                    : static_cast<int32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                                           static_cast<uint32_t>(data[3]) << 24);
    FUZZ_CHECK(usable == (stored >= NO_DRIVE && stored < PHYSICAL_DRIVES));
    FUZZ_CHECK(drive == (usable ? stored : NO_DRIVE));
    FUZZ_CHECK(fake::machine().files["slotpCFG"] == contents);
    FUZZ_CHECK(fake::machine().open_handle_count() == 0);
    FUZZ_CHECK(fake::machine().allocation_count() == 0);
    return 0;
}
