#include "testing/test_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "front/front_end.h"

namespace testing_support {

void feed_stdin(const std::string& input) {
    // One file per process: test processes run side by side.
    const std::string path = ::testing::TempDir() + "slotpush_stdin_" + std::to_string(getpid());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(input.data(), 1, input.size(), file);
    std::fclose(file);
    ASSERT_NE(std::freopen(path.c_str(), "rb", stdin), nullptr);
}

std::string rest_of_stdin() {
    std::string rest;
    for (int c = std::getchar(); c != EOF; c = std::getchar()) rest += static_cast<char>(c);
    return rest;
}

Outcome run_slotpush(const std::vector<std::string>& args, const std::string& input) {
    feed_stdin(input);
    std::vector<std::string> storage = args;
    std::vector<char*> argv;
    for (std::string& arg : storage) argv.push_back(arg.data());
    argv.push_back(nullptr);
    selected_drive = NO_DRIVE;
    use_vwin32 = 0;
    int status = 0;
    const std::string output =
        printed_by([&] { status = slotpush_main(static_cast<int>(storage.size()), argv.data()); });
    return {status, output};
}

fake::Drive& add_drive(int number, uint64_t size, uint8_t fill) {
    fake::Drive& drive = fake::machine().drives[number];
    drive = fake::Drive();
    drive.size = size;
    drive.fill = fill;
    return drive;
}

}  // namespace testing_support
