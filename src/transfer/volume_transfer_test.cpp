#include "transfer/volume_transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <span>

#include "device/card_choice.h"
#include "device/physical_access.h"
#include "testing/test_support.h"

namespace {

using namespace testing_support;

constexpr int DRIVE = 3;
constexpr const char* DRIVE_PATH = "\\\\.\\PHYSICALDRIVE3";
constexpr uint8_t DISK_FILL = 0x5A;

class VolumeTransfer : public ::testing::Test {
  protected:
    void SetUp() override { fake::reset(); }
    void TearDown() override {
        EXPECT_EQ(fake::machine().open_handle_count(), 0u);
        EXPECT_EQ(fake::machine().allocation_count(), 0u);
    }

    fake::Drive& drive() { return fake::machine().drives[DRIVE]; }

    // Every byte of the drive outside [offset, offset + SLOT_BYTES) still holds its fill.
    void expect_only_slot_written(uint64_t offset) {
        const auto range = drive().written_range();
        ASSERT_TRUE(range);
        EXPECT_GE(range->first, offset);
        EXPECT_LT(range->second, offset + SLOT_BYTES);
    }

    void expect_slot_holds(uint64_t offset, const std::vector<uint8_t>& image) {
        const std::vector<uint8_t> slot = drive().bytes(offset, SLOT_BYTES);
        for (size_t k = 0; k < IMAGE_BYTES; ++k) {
            ASSERT_EQ(slot[2 * k], image[k]) << "image byte " << k;
            ASSERT_EQ(slot[2 * k + 1], FILL_BYTE) << "odd slot byte " << 2 * k + 1;
        }
    }

    // The failure's status and words; 0 and "" for success.
    std::pair<int32_t, std::string> copy(const char* source, const char* destination,
                                         uint32_t volume) {
        Result result;
        output = printed_by([&] {
            const Card card = physical_drive_card(DRIVE);
            result = std::string(source) == "FLASH"
                         ? read_volume_back(card, volume, destination, false, [](auto&) {})
                         : write_volume_from(card, source, volume, [](auto&) {});
        });
        if (!result) return {RESULT_SUCCESS, ""};
        return {result->status(), result->words().c_str()};
    }

    std::string output;
};

TEST_F(VolumeTransfer, EachVolumeGoesToItsOwnSlotWithOneWrite) {
    struct Case {
        uint32_t volume;
        uint64_t offset;
    };
    const Case cases[] = {{1, 0},
                          {2, 819200},
                          {5, 3276800},
                          {2622, 2147123200},
                          {2623, 2147942400},
                          {5244, 4295065600},
                          {UINT32_MAX, 4294967294ull * 819200}};
    const std::vector<uint8_t> dump = sector_dump(360, 92160);
    for (const Case& c : cases) {
        SetUp();
        fake::machine().files["disk.dsk"] = dump;
        add_drive(DRIVE, c.offset + 2 * SLOT_BYTES, DISK_FILL);

        ASSERT_EQ(copy("disk.dsk", "FLASH", c.volume).first, RESULT_SUCCESS)
            << "volume " << c.volume;
        EXPECT_EQ(output, "");
        expect_only_slot_written(c.offset);
        expect_slot_holds(c.offset, normalised(dump));

        // One write of the slot, flushed, and one read of it back from the drive; before it,
        // the one sector that says what the volume held.
        const fake::Machine& m = fake::machine();
        ASSERT_EQ(m.count("WriteFile"), 1u);
        EXPECT_EQ(m.find("WriteFile")->args, std::vector<uint64_t>{SLOT_BYTES});
        EXPECT_EQ(m.count("FlushFileBuffers"), 1u);
        ASSERT_EQ(m.count("ReadFile"), 3u) << "the image file's, the volume's first sector's "
                                              "and the check's";
        EXPECT_EQ(m.find("ReadFile", 1)->args, std::vector<uint64_t>{DEVICE_SECTOR_BYTES});
        EXPECT_EQ(m.find("ReadFile", 2)->target, DRIVE_PATH);
        EXPECT_EQ(m.find("ReadFile", 2)->args, std::vector<uint64_t>{SLOT_BYTES});
        TearDown();
    }
}

TEST_F(VolumeTransfer, ReadBackSavesTheEvenBytesOfTheSlot) {
    add_drive(DRIVE, 3 * SLOT_BYTES);
    std::vector<uint8_t> raw(SLOT_BYTES);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i % 253);
    drive().write(SLOT_BYTES, raw.data(), raw.size());
    fake::machine().files["FLASH"] = std::vector<uint8_t>(500000, 1);  // truncated, not merged
    const auto written_before = drive().written_range();

    ASSERT_EQ(copy("FLASH", "FLASH", 2).first, RESULT_SUCCESS);
    const std::vector<uint8_t>& saved = fake::machine().files["FLASH"];
    ASSERT_EQ(saved.size(), IMAGE_BYTES);
    for (size_t k = 0; k < IMAGE_BYTES; ++k) ASSERT_EQ(saved[k], raw[2 * k]) << k;
    EXPECT_EQ(drive().written_range(), written_before) << "reading writes nothing";
    ASSERT_EQ(fake::machine().count("ReadFile"), 1u) << "one device call for the slot";
    EXPECT_EQ(fake::machine().find("ReadFile")->args, std::vector<uint64_t>{SLOT_BYTES});
}

TEST_F(VolumeTransfer, ImagesAreNormalisedOrRefusedBeforeAnythingIsWritten) {
    // A full track dump and the sector dump it stands for: 720 sectors, then the filler.
    std::vector<uint8_t> converted = sector_dump(720, 184320);
    const std::vector<uint8_t> track_dump = track_dump_of(converted);
    converted.resize(IMAGE_BYTES, FILL_BYTE);

    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        bool read_fails;
        std::pair<int32_t, std::string> outcome;  // its status and words
        std::vector<uint8_t> slot_image;          // empty: nothing may be written
    };
    const std::vector<uint8_t> full = sector_dump(1600, IMAGE_BYTES);
    std::vector<uint8_t> lower_case = full;
    lower_case[13] = 'd';
    const std::pair<int32_t, std::string> too_large = {
        RESULT_IMAGE_TOO_LARGE,
        "The image file 'image' holds 409601 bytes; a disk image holds at most 409600 bytes."};
    const std::pair<int32_t, std::string> not_an_image = {
        RESULT_NOT_AN_IMAGE, "Not a supported TI/99-4A format: 'image' has no DSK signature."};
    const std::pair<int32_t, std::string> unread = {RESULT_NO_SOURCE,
                                                    "the image file 'image': text of error 31"};
    const Case cases[] = {
        {"sector dump of 360 sectors",
         sector_dump(360, 92160),
         false,
         {},
         normalised(sector_dump(360, 92160))},
        {"full sector dump", full, false, {}, normalised(full)},
        {"full sector dump that cannot be read", full, true, unread, {}},
        {"track dump", track_dump, false, {}, normalised(converted)},
        {"no signature", lower_case, false, not_an_image, {}},
        {"empty file", {}, false, not_an_image, {}},
        {"one byte too long", sector_dump(1600, IMAGE_BYTES + 1), false, too_large, {}},
    };
    for (const Case& c : cases) {
        SetUp();
        fake::machine().files["image"] = c.file;
        add_drive(DRIVE, 2 * SLOT_BYTES, DISK_FILL);
        if (c.read_fails) fake::machine().fail_function("ReadFile", 0);
        EXPECT_EQ(copy("image", "FLASH", 2), c.outcome) << c.name;
        EXPECT_EQ(output, "") << "the front end says why, " << c.name;
        if (c.slot_image.empty()) {
            EXPECT_FALSE(drive().written_range()) << c.name;
            EXPECT_EQ(fake::machine().count("ReadFile"), c.file.size() > IMAGE_BYTES ? 0u : 1u);
        } else {
            expect_only_slot_written(SLOT_BYTES);
            expect_slot_holds(SLOT_BYTES, c.slot_image);
        }
        TearDown();
    }
}

}  // namespace
