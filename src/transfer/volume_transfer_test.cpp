#include "transfer/volume_transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <span>

#include "testing/test_support.h"

namespace {

using namespace testing_support;

constexpr int DRIVE = 3;
constexpr const char* DRIVE_PATH = "\\\\.\\PHYSICALDRIVE3";
constexpr uint8_t DISK_FILL = 0x5A;

class VolumeTransfer : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        selected_drive = DRIVE;
        use_vwin32 = 0;
    }
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

    int32_t copy(const char* source, const char* destination, uint32_t volume) {
        int32_t result = 0;
        output = printed_by([&] { result = copy_volume(source, destination, volume); });
        return result;
    }

    std::string output;
};

TEST_F(VolumeTransfer, EachVolumeGoesToItsOwnSlotWithOneWrite) {
    struct Case {
        uint32_t volume;
        uint64_t offset;
    };
    const Case cases[] = {{0, 0},
                          {1, 0},
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

        ASSERT_EQ(copy("disk.dsk", "FLASH", c.volume), RESULT_SUCCESS) << "volume " << c.volume;
        EXPECT_EQ(output, "");
        expect_only_slot_written(c.offset);
        expect_slot_holds(c.offset, normalised(dump));

        const fake::Machine& m = fake::machine();
        ASSERT_EQ(m.count("WriteFile"), 1u);
        // The one read of the drive checks the slot, past the system's cache, once flushed.
        EXPECT_EQ(m.count("FlushFileBuffers"), 1u);
        ASSERT_EQ(m.count("ReadFile"), 2u) << "the image file's and the check's";
        EXPECT_EQ(m.find("ReadFile", 1)->target, DRIVE_PATH);
        EXPECT_EQ(m.find("ReadFile", 1)->args, std::vector<uint64_t>{SLOT_BYTES});
        EXPECT_EQ(m.find("CreateFileA", m.count("CreateFileA") - 1)->args,
                  (std::vector<uint64_t>{GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         OPEN_EXISTING, FILE_FLAG_NO_BUFFERING}));
        EXPECT_EQ(m.find("WriteFile")->target, DRIVE_PATH);
        EXPECT_EQ(m.find("WriteFile")->args, std::vector<uint64_t>{SLOT_BYTES});
        const fake::Call* seek = m.find("SetFilePointer", 2);  // after the image file's two
        ASSERT_NE(seek, nullptr);
        EXPECT_EQ(seek->target, DRIVE_PATH);
        EXPECT_EQ(seek->args, (std::vector<uint64_t>{c.offset, FILE_BEGIN}));
        const auto open = std::find_if(m.log.begin(), m.log.end(), [](const fake::Call& call) {
            return call.function == "CreateFileA" && call.target == DRIVE_PATH;
        });
        ASSERT_NE(open, m.log.end());
        EXPECT_EQ(open->args,
                  (std::vector<uint64_t>{GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM}));
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

    ASSERT_EQ(copy("FLASH", "FLASH", 2), RESULT_SUCCESS);
    const std::vector<uint8_t>& saved = fake::machine().files["FLASH"];
    ASSERT_EQ(saved.size(), IMAGE_BYTES);
    for (size_t k = 0; k < IMAGE_BYTES; ++k) ASSERT_EQ(saved[k], raw[2 * k]) << k;
    EXPECT_EQ(fake::machine().find("CreateFileA", 0)->args,
              (std::vector<uint64_t>{GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     OPEN_EXISTING, 0}));
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
        int32_t result;
        std::string output;
        std::vector<uint8_t> slot_image;  // empty: nothing may be written
    };
    const std::vector<uint8_t> full = sector_dump(1600, IMAGE_BYTES);
    std::vector<uint8_t> lower_case = full;
    lower_case[13] = 'd';
    const Case cases[] = {
        {"sector dump of 360 sectors", sector_dump(360, 92160), 0, "",
         normalised(sector_dump(360, 92160))},
        {"full sector dump", full, 0, "", normalised(full)},
        {"track dump", track_dump, 0, "", normalised(converted)},
        {"no signature", lower_case, RESULT_NOT_AN_IMAGE, "Not a supported TI/99-4A format\n", {}},
        {"empty file", {}, RESULT_NOT_AN_IMAGE, "Not a supported TI/99-4A format\n", {}},
        {"one byte too long",
         sector_dump(1600, IMAGE_BYTES + 1),
         RESULT_IMAGE_TOO_LARGE,
         "The image file holds 409601 bytes; a disk image holds at most 409600 bytes.\n",
         {}},
    };
    for (const Case& c : cases) {
        SetUp();
        fake::machine().files["image"] = c.file;
        add_drive(DRIVE, 2 * SLOT_BYTES, DISK_FILL);
        EXPECT_EQ(copy("image", "FLASH", 2), c.result) << c.name;
        EXPECT_EQ(output, c.output) << c.name;
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

TEST_F(VolumeTransfer, WithoutTheCardAtEitherEndNothingMoves) {
    fake::machine().files["a.dsk"] = sector_dump(360, 92160);
    EXPECT_EQ(copy("a.dsk", "b.dsk", 1), RESULT_NO_SOURCE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(fake::machine().log.empty());
}

// How a transfer must end when one of its calls goes wrong.
struct FaultCase {
    std::string function;
    bool on_drive;
    bool short_count;
    int32_t result;
    DWORD error;            // the last error the front end would report
    bool checking = false;  // the call comes after the slot's write: it checks the card
};

constexpr DWORD INJECTED = 1000;

// Runs a transfer once to learn its calls, then once more for each call going wrong in each way
// the table names, and checks the result, the reported error and the handles every time;
// check looks at the rest.
void run_with_each_call_going_wrong(
    const std::function<void()>& prepare, const std::function<int32_t()>& run,
    std::span<const FaultCase> table,
    const std::function<void(const FaultCase&, const std::string&)>& check) {
    prepare();
    ASSERT_EQ(run(), RESULT_SUCCESS);
    const std::vector<fake::Call> calls = fake::machine().log;
    const auto slot_write = std::find_if(calls.begin(), calls.end(), [](const fake::Call& call) {
        return call.function == "WriteFile" && call.target == DRIVE_PATH;
    });
    std::set<const FaultCase*> reached;
    for (size_t index = 0; index < calls.size(); ++index) {
        const bool checking =
            slot_write != calls.end() && index > static_cast<size_t>(slot_write - calls.begin());
        for (const bool short_count : {false, true}) {
            const bool on_drive = calls[index].target == DRIVE_PATH;
            // The drive letters' volumes are asked about before a write; the claim's own tests
            // and the fault matrix make those calls go wrong.
            if (!on_drive && calls[index].target.rfind("\\\\.\\", 0) == 0) continue;
            const auto expected = std::find_if(table.begin(), table.end(), [&](const FaultCase& e) {
                return e.function == calls[index].function && e.on_drive == on_drive &&
                       e.short_count == short_count && e.checking == checking;
            });
            if (expected == table.end()) continue;
            const std::string what =
                calls[index].function + (on_drive ? " on the drive" : " on the file") +
                (checking ? ", checking the write" : "") + (short_count ? ", short" : ", failing");
            prepare();
            fake::machine().fail_call(
                index, short_count ? fake::Fault{0, 100} : fake::Fault{INJECTED, std::nullopt});
            reached.insert(&*expected);
            EXPECT_EQ(run(), expected->result) << what;
            if (expected->result != RESULT_SUCCESS) {
                EXPECT_EQ(GetLastError(), expected->error) << what;
            }
            EXPECT_EQ(fake::machine().open_handle_count(), 0u) << what;
            check(*expected, what);
        }
    }
    EXPECT_EQ(reached.size(), table.size()) << "every row of the table was reached";
}

TEST_F(VolumeTransfer, EveryFailingCallOfAWriteIsReportedAndTouchesNothingElse) {
    const FaultCase table[] = {
        {"CreateFileA", false, false, RESULT_NO_SOURCE, INJECTED},
        {"SetFilePointer", false, false, RESULT_NO_SOURCE, INJECTED},
        {"ReadFile", false, false, RESULT_NO_SOURCE, INJECTED},
        {"ReadFile", false, true, RESULT_NO_SOURCE, ERROR_HANDLE_EOF},
        {"CreateFileA", true, false, RESULT_DRIVE_NOT_OPENED, INJECTED},
        {"SetFilePointer", true, false, RESULT_WRITE_FAILED, INJECTED},
        {"WriteFile", true, false, RESULT_WRITE_FAILED, INJECTED},
        {"WriteFile", true, true, RESULT_WRITE_FAILED, ERROR_DISK_FULL},
        {"CloseHandle", false, false, RESULT_SUCCESS, 0},
        {"FlushFileBuffers", true, false, RESULT_WRITE_FAILED, INJECTED, true},
        {"VirtualAlloc", false, false, RESULT_WRITE_FAILED, INJECTED, true},
        {"CreateFileA", true, false, RESULT_WRITE_FAILED, INJECTED, true},
        {"SetFilePointer", true, false, RESULT_WRITE_FAILED, INJECTED, true},
        {"ReadFile", true, false, RESULT_WRITE_FAILED, INJECTED, true},
        {"ReadFile", true, true, RESULT_WRITE_FAILED, ERROR_HANDLE_EOF, true},
        {"CloseHandle", true, false, RESULT_SUCCESS, 0, true},
        {"VirtualFree", false, false, RESULT_SUCCESS, 0, true},
        {"DeviceIoControl", true, false, RESULT_SUCCESS, 0, true},
    };
    const std::vector<uint8_t> dump = sector_dump(720, 184320);
    run_with_each_call_going_wrong(
        [&] {
            SetUp();
            fake::machine().files["disk.dsk"] = dump;
            add_drive(DRIVE, 4 * SLOT_BYTES, DISK_FILL);
        },
        [&] { return copy("disk.dsk", "FLASH", 3); }, table,
        [&](const FaultCase& fault, const std::string& what) {
            const auto written = drive().written_range();
            if (fault.function == "WriteFile" && !fault.short_count) {
                EXPECT_FALSE(written) << what;
            }
            if (!written) return;
            EXPECT_GE(written->first, 2 * SLOT_BYTES) << what;
            EXPECT_LT(written->second, 3 * SLOT_BYTES) << what;
        });
}

TEST_F(VolumeTransfer, EveryFailingCallOfAReadBackIsReportedAndLeavesNoPartialFile) {
    const FaultCase table[] = {
        {"CreateFileA", true, false, RESULT_NO_SOURCE, INJECTED},
        {"SetFilePointer", true, false, RESULT_NO_SOURCE, INJECTED},
        {"ReadFile", true, false, RESULT_NO_SOURCE, INJECTED},
        {"ReadFile", true, true, RESULT_NO_SOURCE, ERROR_HANDLE_EOF},
        {"CreateFileA", false, false, RESULT_CREATE_FAILED, INJECTED},
        {"SetFilePointer", false, false, RESULT_SAVE_FAILED, INJECTED},
        {"WriteFile", false, false, RESULT_SAVE_FAILED, INJECTED},
        {"WriteFile", false, true, RESULT_SAVE_FAILED, ERROR_DISK_FULL},
        {"CloseHandle", true, false, RESULT_SUCCESS, 0},
        {"CloseHandle", false, false, RESULT_SUCCESS, 0},
    };
    run_with_each_call_going_wrong(
        [&] {
            SetUp();
            add_drive(DRIVE, 4 * SLOT_BYTES, DISK_FILL);
        },
        [&] { return copy("FLASH", "out", 4); }, table,
        [&](const FaultCase& fault, const std::string& what) {
            if (fault.result != RESULT_SUCCESS) {
                EXPECT_EQ(fake::machine().files.count("out"), 0u) << "no partial file, " << what;
            }
            EXPECT_FALSE(drive().written_range()) << what;
        });
}

}  // namespace
