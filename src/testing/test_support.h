// Helpers shared by the tests that run the tool's code against the fake machine.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "slotpush.h"
#include "testing/fake_machine.h"
#include "testing/images.h"

namespace testing_support {

struct ToolRun {
    int status;
    std::string output;  // everything printed to standard output
};

// Runs the front end as the process would, with input on its standard input.
ToolRun run_slotpush(const std::vector<std::string>& args, const std::string& input = "");

// What standard input holds from now on.
void feed_stdin(const std::string& input);

// What is left of standard input, read to its end.
std::string rest_of_stdin();

// Runs any piece of the tool and returns what it printed.
template <typename F>
std::string printed_by(F&& work) {
    ::testing::internal::CaptureStdout();
    work();
    return ::testing::internal::GetCapturedStdout();
}

// The image the card must hold after writing a dump whose total is a multiple of 8 sectors,
// written out from the format's rules: 1600 sectors in sector 0, the bitmap bytes from the old
// total on cleared (the added sectors are free), 0xE5 past the end of the file.
std::vector<uint8_t> normalised(std::vector<uint8_t> dump);

// A physical drive of the given size whose bytes all read as the fill value.
fake::Drive& add_drive(int number, uint64_t size, uint8_t fill = 0x5A);

// The Windows the machine reports: its platform (VER_PLATFORM_WIN32_NT, ...) and version.
void set_windows(DWORD platform, DWORD major, DWORD minor = 0);

}  // namespace testing_support
