#include "device/vwin32_access.h"

#include <gtest/gtest.h>

#include "device/card_choice.h"
#include "device/handle_io.h"
#include "testing/test_support.h"
#include "transfer/volume_transfer.h"

namespace {

using namespace testing_support;

constexpr char LETTER = 'E';
constexpr int32_t DRIVE_INDEX = 4;  // E:, drive number 5

// One request to the driver as the log shows it: "control EAX EBX ECX EDX ESI", in hex, with
// the start sector and sector count of a sector request; EBX of a sector request is an address.
std::vector<std::string> requests() {
    std::vector<std::string> out;
    for (const fake::Call& call : fake::machine().log) {
        if (call.function != "DeviceIoControl") continue;
        const auto& a = call.args;
        char text[96];
        if (a[1] == 0x7305) {
            std::snprintf(text, sizeof text, "%llx %llx - %llx %llx %llx start %llu count %llu",
                          (unsigned long long)a[0], (unsigned long long)a[1],
                          (unsigned long long)a[3], (unsigned long long)a[4],
                          (unsigned long long)a[5], (unsigned long long)a[8],
                          (unsigned long long)a[9]);
        } else {
            std::snprintf(text, sizeof text, "%llx %llx %llx %llx %llx %llx",
                          (unsigned long long)a[0], (unsigned long long)a[1],
                          (unsigned long long)a[2], (unsigned long long)a[3],
                          (unsigned long long)a[4], (unsigned long long)a[5]);
        }
        out.push_back(text);
    }
    return out;
}

const std::string LOCK_48 = "1 440d 5 484a 0 0";
const std::string LOCK_08 = "1 440d 5 84a 0 0";
const std::string UNLOCK_48 = "1 440d 5 486a 0 0";
const std::string UNLOCK_08 = "1 440d 5 86a 0 0";
const std::string WRITE_5 = "6 7305 - ffffffff 5 4001 start 6400 count 1600";
const std::string READ_BACK_5 = "6 7305 - ffffffff 5 0 start 6400 count 1600";

class Vwin32Access : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        fake::machine().has_vwin32 = true;
        fake::machine().volumes[LETTER].sectors.size = 8 * SLOT_BYTES;
        slot.assign(SLOT_BYTES, 0);
        for (size_t i = 0; i < slot.size(); ++i) slot[i] = static_cast<uint8_t>(i % 249);
    }
    void TearDown() override {
        EXPECT_EQ(fake::machine().open_handle_count(), 0u);
        EXPECT_EQ(fake::machine().allocation_count(), 0u);
    }
    fake::Volume& volume() { return fake::machine().volumes[LETTER]; }

    std::vector<uint8_t> slot;
};

TEST_F(Vwin32Access, AWriteLocksTransfersOnceAndAlwaysUnlocks) {
    // A failure's status, the system's reason and the step its words name.
    struct Said {
        int32_t status;
        DWORD error;
        const char* step;
    };
    const Said ok = {0, NO_ERROR, ""};
    const Said differs = {-3, NO_ERROR, "volume 5 on E: does not hold what was written"};
    const Said locked = {-3, ERROR_ACCESS_DENIED, "Volume E: could not be locked: "};
    const auto failed = [](int32_t status, DWORD error, const char* step) {
        return Said{status, error, step};
    };
    struct Case {
        const char* name;
        std::function<void()> arrange;
        Said outcome;
        bool slot_kept;  // the volume holds the slot afterwards
        std::vector<std::string> requests;
    };
    // clang-format off
    const Case cases[] = {
        {"granted", [] {}, ok, true, {LOCK_48, WRITE_5, READ_BACK_5, UNLOCK_48}},
        {"lock retried", [this] { volume().grants_lock[0] = false; }, ok, true,
         {LOCK_48, LOCK_08, WRITE_5, READ_BACK_5, UNLOCK_48}},
        {"lock refused twice: nothing written", [this] { volume().grants_lock[0] = volume().grants_lock[1] = false; }, locked, false, {LOCK_48, LOCK_08}},
        {"lock call fails, then refused: the refusal's reason", [this] { fake::machine().fail_function("DeviceIoControl", 0); volume().grants_lock[1] = false; }, locked, false, {LOCK_48, LOCK_08}},
        {"unlock retried", [this] { volume().grants_unlock[0] = false; }, ok, true,
         {LOCK_48, WRITE_5, READ_BACK_5, UNLOCK_48, UNLOCK_08}},
        {"lock call fails", [] { fake::machine().fail_function("DeviceIoControl", 0); }, ok, true,
         {LOCK_48, LOCK_08, WRITE_5, READ_BACK_5, UNLOCK_48}},
        {"the volume keeps nothing of the write", [this] { volume().sectors.keeps_writes = false; },
         differs, false, {LOCK_48, WRITE_5, READ_BACK_5, UNLOCK_48}},
        {"the read-back is refused, still locked", [this] { volume().reads = false; },
         failed(-3, 0x1E, "volume 5 on E:: the read-back after the write failed: "), true, {LOCK_48, WRITE_5, READ_BACK_5, UNLOCK_48}},
        {"service refuses the write, and both unlocks: the service's reason",
         [this] { volume().writes = false;
                  volume().grants_unlock[0] = volume().grants_unlock[1] = false; },
         failed(-3, 0x1D, "volume 5 on E:: the write failed: "), false, {LOCK_48, WRITE_5, UNLOCK_48, UNLOCK_08}},
        {"write call fails", [] { fake::machine().fail_function("DeviceIoControl", 1); },
         failed(-3, ERROR_GEN_FAILURE, "volume 5 on E:: the write failed: "), false, {LOCK_48, WRITE_5, UNLOCK_48}},
        {"no driver", [] { fake::machine().has_vwin32 = false; },
         failed(-9, ERROR_FILE_NOT_FOUND, "E:: it did not open for writing: "), false, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SetUp();
        c.arrange();
        const Result result = write_sectors_vwin32(letter_card(DRIVE_INDEX), slot, 4 * SLOT_BYTES);
        EXPECT_EQ(result ? result->status() : 0, c.outcome.status) << c.name;
        EXPECT_EQ(result ? result->error() : NO_ERROR, c.outcome.error) << c.name;
        const std::string words = result ? result->words().c_str() : "";
        EXPECT_EQ(words.substr(0, std::strlen(c.outcome.step)), c.outcome.step) << c.name;
        EXPECT_EQ(requests(), c.requests) << c.name;
        EXPECT_EQ(volume().sectors.bytes(4 * SLOT_BYTES, SLOT_BYTES) == slot, c.slot_kept)
            << c.name;
        TearDown();
    }
}

// A read as the card's reader makes it: the driver opened for reading, one run read, closed.
DWORD read_letter(std::span<uint8_t> buffer, uint64_t byte_offset) {
    const Card card = letter_card(DRIVE_INDEX);
    const ScopedHandle reader(card.access->open_reader(card));
    if (!reader) return GetLastError();
    return card.access->read(card, reader.get(), buffer, byte_offset);
}

TEST_F(Vwin32Access, AReadIsOneRequestWithoutALock) {
    volume().sectors.write(SLOT_BYTES, slot.data(), slot.size());
    std::vector<uint8_t> read(SLOT_BYTES);
    EXPECT_EQ(read_letter(read, SLOT_BYTES), NO_ERROR);
    EXPECT_EQ(read, slot);
    EXPECT_EQ(requests(), std::vector<std::string>{"6 7305 - ffffffff 5 0 start 1600 count 1600"});
    EXPECT_EQ(fake::machine().find("CreateFileA")->args,
              (std::vector<uint64_t>{0, 0, 0, FILE_FLAG_DELETE_ON_CLOSE}));
    EXPECT_EQ(fake::machine().find("CreateFileA")->target, "\\\\.\\vwin32");

    volume().reads = false;
    EXPECT_EQ(read_letter(read, 0), 0x1Eu);
    fake::machine().has_vwin32 = false;
    EXPECT_EQ(read_letter(read, 0), ERROR_FILE_NOT_FOUND);
}

TEST_F(Vwin32Access, RunsThatDoNotFitTheServiceAreRefusedUnsent) {
    std::vector<uint8_t> largest(65535 * 512);
    std::vector<uint8_t> too_many(65536 * 512);
    const uint64_t last_start = uint64_t{UINT32_MAX} * 512;
    volume().sectors.size = last_start + SLOT_BYTES;
    const Card card = letter_card(DRIVE_INDEX);
    EXPECT_EQ(write_sectors_vwin32(card, too_many, 0)->error(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(read_letter(too_many, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(write_sectors_vwin32(card, slot, last_start + 512)->status(), -3);
    EXPECT_EQ(read_letter(slot, last_start + 512), ERROR_SECTOR_NOT_FOUND);
    EXPECT_EQ(fake::machine().count("DeviceIoControl"), 0u) << "nothing was sent";
    EXPECT_FALSE(write_sectors_vwin32(card, largest, 0));
    EXPECT_FALSE(write_sectors_vwin32(card, slot, last_start));
    EXPECT_EQ(requests().back(), "1 440d 5 486a 0 0");
}

TEST_F(Vwin32Access, VolumesGoToTheirSlotsOfTheDriveLetter) {
    const Card card = letter_card(DRIVE_INDEX);
    const std::pair<uint32_t, uint64_t> cases[] = {
        {1, 0}, {5, 6400}, {5243, 8387200}, {5244, 8388800}};
    for (const auto& [volume_number, start] : cases) {
        SetUp();
        fake::machine().files["disk.dsk"] = sector_dump(360, 92160);
        volume().sectors.size = (start + 1600) * 512;
        EXPECT_FALSE(write_volume_from(card, "disk.dsk", volume_number, [](auto&) {}))
            << volume_number;
        // The lock, then the volume's first sector read, then the write.
        EXPECT_EQ(requests()[1],
                  "6 7305 - ffffffff 5 0 start " + std::to_string(start) + " count 1");
        EXPECT_EQ(requests()[2],
                  "6 7305 - ffffffff 5 4001 start " + std::to_string(start) + " count 1600");
        EXPECT_FALSE(read_volume_back(card, volume_number, "saved", false, [](auto&) {}));
        EXPECT_EQ(fake::machine().files["saved"], normalised(sector_dump(360, 92160)));
        TearDown();
    }
}

}  // namespace
