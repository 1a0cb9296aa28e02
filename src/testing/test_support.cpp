#include "testing/test_support.h"

#include <algorithm>
#include <cstdio>

#include "front/front_end.h"
#include "transfer/image_rules.h"

namespace testing_support {

void feed_stdin(const std::string& input) {
    const std::string path = ::testing::TempDir() + "slotpush_stdin";
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

std::vector<uint8_t> sector_dump(uint16_t total_sectors, size_t file_bytes) {
    std::vector<uint8_t> dump(file_bytes);
    for (size_t i = 0; i < file_bytes; ++i) dump[i] = static_cast<uint8_t>(i * 7 % 251);
    if (file_bytes >= IMAGE_SECTOR_BYTES) {
        dump[10] = static_cast<uint8_t>(total_sectors >> 8);
        dump[11] = static_cast<uint8_t>(total_sectors & 0xFF);
        dump[13] = 'D';
        dump[14] = 'S';
        dump[15] = 'K';
        std::fill(dump.begin() + 56, dump.begin() + 256, 0xFF);
    }
    return dump;
}

std::vector<uint8_t> normalised(std::vector<uint8_t> dump) {
    dump.resize(IMAGE_BYTES, FILL_BYTE);
    widen_to_1600_sectors(ImageView{dump.data(), IMAGE_BYTES});
    return dump;
}

std::vector<uint8_t> drive_choice_bytes(int32_t drive) {
    const auto value = static_cast<uint32_t>(drive);
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

fake::Drive& add_drive(int number, uint64_t size, uint8_t fill) {
    fake::Drive& drive = fake::machine().drives[number];
    drive = fake::Drive();
    drive.size = size;
    drive.fill = fill;
    return drive;
}

}  // namespace testing_support
