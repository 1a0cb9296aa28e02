#include "testing/test_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "front/front_end.h"

namespace testing_support {

void feed_stdin(const std::string& input) {
    // One name per process: test processes run side by side.
    const std::string path = ::testing::TempDir() + "slotpush_stdin_" + std::to_string(getpid());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(input.data(), 1, input.size(), file);
    std::fclose(file);
    ASSERT_NE(std::freopen(path.c_str(), "rb", stdin), nullptr);
    std::remove(path.c_str());  // standard input keeps it open; nothing is left behind
}

std::string rest_of_stdin() {
    std::string rest;
    for (int c = std::getchar(); c != EOF; c = std::getchar()) rest += static_cast<char>(c);
    return rest;
}

ToolRun run_slotpush(const std::vector<std::string>& args, const std::string& input) {
    feed_stdin(input);
    std::vector<std::string> storage = args;
    std::vector<char*> argv;
    for (std::string& arg : storage) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int status = 0;
    const std::string output =
        printed_by([&] { status = slotpush_main(static_cast<int>(storage.size()), argv.data()); });
    return {status, output};
}

std::vector<uint8_t> normalised(std::vector<uint8_t> dump) {
    const size_t old_total = size_t{dump[10]} << 8 | dump[11];
    EXPECT_EQ(old_total % 8, 0u) << "the expectation is written for whole bitmap bytes";
    dump.resize(IMAGE_BYTES, FILL_BYTE);
    dump[10] = 0x06;  // 1600 sectors
    dump[11] = 0x40;
    std::fill(dump.begin() + 56 + static_cast<std::ptrdiff_t>(old_total / 8), dump.begin() + 256,
              0x00);
    return dump;
}

fake::Drive& add_drive(int number, uint64_t size, uint8_t fill) {
    fake::Drive& drive = fake::machine().drives[number];
    drive = fake::Drive();
    drive.size = size;
    drive.fill = fill;
    return drive;
}

void set_windows(DWORD platform, DWORD major, DWORD minor) {
    OSVERSIONINFOEXA& version = fake::machine().version.emplace();
    version.dwPlatformId = platform;
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
}

}  // namespace testing_support
