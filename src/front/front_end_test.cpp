#include "front/front_end.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

#include "testing/test_support.h"

namespace {

using namespace testing_support;

constexpr const char* CHOICE_FILE = "slotpCFG";  // for a program called "slotpush"
const std::string DRIVE_1 = "\\\\.\\PHYSICALDRIVE1";

std::string drive_path(int drive) {
    return "\\\\.\\PHYSICALDRIVE" + std::to_string(drive);
}

// What a run prints that writes disk.dsk into a volume that held this (an empty text: what it
// held could not be read).
std::string wrote(uint64_t volume, const std::string& card,
                  const std::string& held = "was empty; it ") {
    return "Volume " + std::to_string(volume) + " on " + card + " " + held +
           "now holds ?????#*18?.\nslotpull succeeded.\n";
}
const std::string PC_DISK = "slotpull failed: " + DRIVE_1 +
                            " is a fixed disk with partitions, not a card; nothing was written.\n";
// With no drive stored and none removable, the physical drives are listed and none chosen.
constexpr const char* NO_CANDIDATES =
    "List of All Possible Flash Drives\n---------------------------------\n\n"
    "         ** None **\nNo removable drive was found; name the card with --card PATH.\n";

class FrontEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        fake::machine().files["disk.dsk"] = sector_dump(360, 92160);
        for (int n = 0; n < 16; ++n) add_drive(n, 8 * SLOT_BYTES);
    }
    void TearDown() override {
        EXPECT_EQ(fake::machine().open_handle_count(), 0u);
        EXPECT_EQ(fake::machine().allocation_count(), 0u) << "every buffer released";
    }

    static bool written(int drive) {
        return fake::machine().drives[drive].written_range().has_value();
    }
};

TEST_F(FrontEnd, TheCommandLineIsReadBeforeAnythingIsOpened) {
    std::ifstream file(USAGE_FILE);
    const std::string usage{std::istreambuf_iterator<char>(file), {}};
    const std::string flash_form = "Usage:    slotpush FLASH <volume#> [<file>]\n";
    struct Case {
        std::vector<std::string> args;  // after "slotpush"
        int status;
        std::string output;
    };
    // clang-format off
    const Case cases[] = {
        {{}, 1, usage},
        {{"disk.dsk"}, 1, usage},
        {{"--card", "card.img", "LIST"}, 1, "Too few arguments.\nUsage:    slotpush LIST <first>[-<last>]\n"},
        {{"DIR"}, 1, "Too few arguments.\nUsage:    slotpush DIR <volume#>|<DSK file>\n"},
        {{"GET"}, 1, "Too few arguments.\nUsage:    slotpush GET <disk> [<name> [<to>]]\n"},
        {{"-h"}, 0, usage},
        {{"FLASH", "5", "--help"}, 0, usage},
        {{"--version"}, 0, "slotpush 1.0\n"},
        {{"FLASH", "1", "x.dsk", "extra"}, 1, "Too many arguments, from 'extra' on.\n" + flash_form},
        {{"UNDO", "X"}, 1, "Too many arguments, from 'X' on.\nUsage:    slotpush UNDO\n"},
        {{"UNDO", "LIST", "X"}, 1, "Too many arguments, from 'X' on.\nUsage:    slotpush UNDO LIST\n"},
        {{"--no-undo", "LIST", "1"}, 1, "--no-undo is for a write, RESTORE, PUT, DEL, COPY, REN, PROTECT, UNPROTECT, NAME, FORMAT and CLEAR alone.\n"},
        {{"disk.dsk", "5", "6"}, -2, "slotpull failed: the image file '5': text of error 2\n"},
        {{"disk.dsk", "disk.dsk", "6-6"}, -1, "2 files do not fit volumes 6-6; nothing was written.\n"},
        {{"flash", "5"}, 1, "There is no file 'flash'; did you mean FLASH?\n"},
        {{"list", "1-"}, 1, "There is no file 'list'; did you mean LIST?\n"},
        {{"--card", "", "LIST", "1"}, -1, "--card names no card: its name is empty.\n"},
        {{"LIST", "1", "--card"}, 1, "--card needs a device or a file.\n"},
        {{"--card=a", "--card", "b", "LIST", "1"}, 1, "--card is given twice; name one card.\n"},
        {{"--crad", "x", "LIST", "1"}, 1, "Unknown option '--crad'.\n"},
        {{"LIST", "1", "--card=none.img"}, -1, "slotpull failed: none.img: text of error 2\n"},
        {{"LIST", "1", "--card", "none.img"}, -1, "slotpull failed: none.img: text of error 2\n"},
        {{"--card=none.img", "--", "--card", "5"}, -1, "slotpull failed: none.img: text of error 2\n"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SetUp();
        std::vector<std::string> args = {"slotpush"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun outcome = run_slotpush(args);
        const std::string what = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(outcome.status, c.status) << what;
        EXPECT_EQ(outcome.output, c.output) << what;
        EXPECT_EQ(fake::machine().count("CreateFileA", "\\\\.\\PHYSICALDRIVE"), 0u) << what;
        EXPECT_EQ(fake::machine().count("CreateFileA", CHOICE_FILE), 0u) << what;
        TearDown();
    }
}

TEST_F(FrontEnd, TheDriveChoiceFileDecidesTheDrive) {
    struct Case {
        const char* name;
        std::optional<std::vector<uint8_t>> stored;  // none: no file
        int status;
        int written_drive;  // NO_DRIVE: none written, and the drives were listed
        const char* refusal = "";
    };
    const Case cases[] = {
        {"no file", std::nullopt, -1, NO_DRIVE},
        {"empty file", std::vector<uint8_t>{}, -1, NO_DRIVE},
        {"one byte", std::vector<uint8_t>{3}, -1, NO_DRIVE},
        {"three bytes", std::vector<uint8_t>{3, 0, 0}, -1, NO_DRIVE},
        {"drive -1", drive_choice_bytes(-1), -1, NO_DRIVE},
        {"drive 3", drive_choice_bytes(3), 0, 3},
        {"drive 0", drive_choice_bytes(0), 0, 0},
        {"drive 9", drive_choice_bytes(9), 0, 9},
        {"drive 12", drive_choice_bytes(12), 0, 12},
        {"drive 15", drive_choice_bytes(15), 0, 15},
        {"drive 16", drive_choice_bytes(16), -1, 16,
         "slotpCFG holds drive 16; drives 0 to 15 can be used.\n"},
        {"drive -2", drive_choice_bytes(-2), -1, -2,
         "slotpCFG holds drive -2; drives 0 to 15 can be used.\n"},
        {"eight bytes", std::vector<uint8_t>{3, 0, 0, 0, 7, 7, 7, 7}, 0, 3},
    };
    for (const Case& c : cases) {
        SetUp();
        if (c.stored) fake::machine().files[CHOICE_FILE] = *c.stored;
        const ToolRun outcome = run_slotpush({"slotpush", "disk.dsk", "5"});
        EXPECT_EQ(outcome.status, c.status) << c.name;
        const bool listed = c.written_drive == NO_DRIVE;
        EXPECT_EQ(outcome.output, c.status == 0 ? wrote(5, drive_path(c.written_drive))
                                  : listed      ? NO_CANDIDATES
                                                : c.refusal)
            << c.name;
        for (int n = 0; n < 16; ++n) EXPECT_EQ(written(n), c.status == 0 && n == c.written_drive);
        EXPECT_EQ(fake::machine().files.count(CHOICE_FILE), 1u) << "created when missing";
        EXPECT_EQ(fake::machine().files[CHOICE_FILE], c.stored.value_or(std::vector<uint8_t>{}))
            << "never written";
        TearDown();
    }
}

TEST_F(FrontEnd, EveryListedDriveCanBeChosenAndWritten) {
    fake::machine().geometries[12].MediaType = RemovableMedia;  // the one removable drive
    const ToolRun outcome = run_slotpush({"slotpush", "disk.dsk", "5"}, "y\n");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.output,
              "List of All Possible Flash Drives\n---------------------------------\n\n"
              " 1) \\\\.\\PHYSICALDRIVE12 0mb\n\n\nUse this drive? (Y/N): " +
                  wrote(5, drive_path(12)));
    EXPECT_TRUE(written(12));

    SetUp();  // Windows 98, where K: is the one fixed disk from D: on
    fake::Machine& m = fake::machine();
    set_windows(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
    m.has_vwin32 = true;
    m.volumes['K'].sectors.size = 8 * SLOT_BYTES;
    EXPECT_EQ(run_slotpush({"slotpush", "disk.dsk", "5"}, "y\n").status, 0);
    EXPECT_TRUE(m.volumes['K'].sectors.written_range());
}

TEST_F(FrontEnd, ManyImagesGoIntoFollowingVolumesUnderOneClaim) {
    fake::Machine& m = fake::machine();
    m.files[CHOICE_FILE] = drive_choice_bytes(1);
    m.files["files.dsk"] = disk_with_files({{"LOAD", 0x01, 0, 2}});
    // The first look at the card refused: what each volume held is read through the claim.
    m.fail_function("CreateFileA", 7);
    const ToolRun batch = run_slotpush({"slotpush", "disk.dsk", "files.dsk", "disk.dsk", "6-8"});
    EXPECT_EQ(m.find("CreateFileA", 7)->target, DRIVE_1);
    EXPECT_EQ(batch.status, 0);
    const std::string on = " on " + DRIVE_1 + " was empty; it now holds ";
    EXPECT_EQ(batch.output, "Volume 6" + on + "?????#*18?.\nVolume 7" + on + "FILES.\nVolume 8" +
                                on + "?????#*18?.\nslotpull succeeded.\n");
    // Twenty, on a card of 24 volumes: one claim, and each slot as a single write leaves it.
    m.clear_faults();
    m.drives[1].size = 24 * uint64_t{SLOT_BYTES};
    std::vector<std::string> twenty = {"slotpush"};
    for (int i = 0; i < 20; ++i) twenty.push_back(i % 2 == 0 ? "disk.dsk" : "files.dsk");
    twenty.push_back("3");
    m.log.clear();
    ASSERT_EQ(run_slotpush(twenty).status, 0);
    size_t writers = 0;
    for (const fake::Call& call : m.log) {
        writers += call.function == "CreateFileA" && call.target == DRIVE_1 &&
                   (call.args[0] & GENERIC_WRITE);
    }
    EXPECT_EQ(writers, 1u) << "one claim for the run";
    const std::vector<uint8_t> slots = m.drives[1].bytes(2 * uint64_t{SLOT_BYTES}, 20 * SLOT_BYTES);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(run_slotpush({"slotpush", twenty[i + 1], std::to_string(3 + i)}).status, 0);
    }
    EXPECT_EQ(m.drives[1].bytes(2 * uint64_t{SLOT_BYTES}, 20 * SLOT_BYTES), slots)
        << "as single writes";
    // A last volume past the card's end, or a bad file in the list, writes nothing.
    SetUp();
    fake::machine().files[CHOICE_FILE] = drive_choice_bytes(1);
    EXPECT_EQ(run_slotpush({"slotpush", "disk.dsk", "disk.dsk", "8"}).output,
              "slotpull failed: volume 9 is past the card's end; its last whole volume is 8.\n");
    EXPECT_EQ(run_slotpush({"slotpush", "disk.dsk", "none.dsk", "disk.dsk", "2"}).output,
              "slotpull failed: the image file 'none.dsk': text of error 2\n");
    EXPECT_FALSE(written(1));
}

const uint8_t NO_SIGNATURE[] = {'X'};

// The slot of volume on drive starting with sector0, interleaved as a write leaves it.
void write_sector0(int drive, uint32_t volume, const std::vector<uint8_t>& sector0) {
    std::vector<uint8_t> raw;
    for (const uint8_t byte : sector0) raw.insert(raw.end(), {byte, FILL_BYTE});
    fake::machine().drives[drive].write((volume - 1) * uint64_t{SLOT_BYTES}, raw.data(),
                                        raw.size());
}

TEST_F(FrontEnd, ABackupWrittenBackGivesTheSameCard) {
    fake::Machine& m = fake::machine();
    m.files[CHOICE_FILE] = drive_choice_bytes(1);
    m.files["files.dsk"] = disk_with_files({{"LOAD", 0x01, 0, 2}});
    m.files["blank.dsk"] = m.files["files.dsk"];
    std::fill_n(m.files["blank.dsk"].begin(), 10, ' ');
    ASSERT_EQ(run_slotpush({"slotpush", "disk.dsk", "files.dsk", "blank.dsk", "2"}).status, 0);
    std::vector<uint8_t> other(SLOT_BYTES);  // no TI disk, and no filler in its odd bytes
    for (size_t k = 0; k < other.size(); ++k) other[k] = static_cast<uint8_t>(k * 7 / 3 % 251);
    m.drives[1].write(5 * uint64_t{SLOT_BYTES}, other.data(), other.size());
    m.log.clear();
    const ToolRun saved = run_slotpush({"slotpush", "FLASH", "1-", "backup"});
    EXPECT_EQ(saved.status, 0);
    const std::string on = " on " + DRIVE_1 + " (";
    EXPECT_EQ(saved.output,
              "Volume 2" + on + "?????#*18?) saved as backup/0002-_____#_18_.dsk.\n" + "Volume 3" +
                  on + "FILES) saved as backup/0003-FILES.dsk.\n" + "Volume 4" + on +
                  "a disk without a name) saved as backup/0004.dsk.\n" + "Volume 6" + on +
                  "not a TI disk) saved as backup/0006.dsk, the whole slot: its odd bytes are not "
                  "all the filler.\n" +
                  "4 volumes saved, 4 empty.\n");
    uint64_t read = 0;  // a sector of each volume, and the slot of each that holds something
    for (const fake::Call& call : m.log)
        read += call.function == "ReadFile" && call.target == DRIVE_1 ? call.args[0] : 0;
    EXPECT_EQ(read, 8 * 512 + 4 * uint64_t{SLOT_BYTES});
    m.files["backup/notes.txt"] = {1};
    m.files[CHOICE_FILE] = drive_choice_bytes(2);
    const ToolRun restored = run_slotpush({"slotpush", "RESTORE", "backup"});
    EXPECT_EQ(restored.status, 0) << restored.output;
    EXPECT_TRUE(
        restored.output.starts_with("Skipped notes.txt in backup: not a backup's file name.\n"));
    EXPECT_EQ(m.drives[2].bytes(0, 8 * SLOT_BYTES), m.drives[1].bytes(0, 8 * SLOT_BYTES));
    // The same folder again after a rename and a clear: it holds the card as it is now.
    m.files[CHOICE_FILE] = drive_choice_bytes(1);
    ASSERT_EQ(run_slotpush({"slotpush", "NAME", "3", "NEW"}).status, 0);
    ASSERT_EQ(run_slotpush({"slotpush", "CLEAR", "2"}).status, 0);
    EXPECT_EQ(run_slotpush({"slotpush", "FLASH", "2-3", "backup"}).output,
              "Removed backup/0002-_____#_18_.dsk: volume 2 is empty now.\nVolume 3" + on +
                  "NEW) saved as backup/0003-NEW.dsk.\nRemoved backup/0003-FILES.dsk: volume 3 is "
                  "saved under another name.\n1 volume saved, 1 empty.\n");
    add_drive(2, 8 * SLOT_BYTES, 0);
    m.files[CHOICE_FILE] = drive_choice_bytes(2);
    ASSERT_EQ(run_slotpush({"slotpush", "RESTORE", "backup"}).status, 0);
    EXPECT_EQ(run_slotpush({"slotpush", "LIST", "1-"}).output,
              (m.files[CHOICE_FILE] = drive_choice_bytes(1),
               run_slotpush({"slotpush", "LIST", "1-"}).output));
    m.files["backup/0004.dsk"] = {1, 2, 3};
    EXPECT_EQ(run_slotpush({"slotpush", "RESTORE", "backup"}).output,
              "Skipped notes.txt in backup: not a backup's file name.\nslotpull failed: "
              "'backup/0004.dsk' holds 3 bytes, neither a slot's disk of 409600 nor the whole "
              "slot's 819200; nothing was written.\n");
    // Which of a folder's files a restore takes, and in which order.
    const std::vector<uint8_t> disk = m.files["disk.dsk"];
    const std::string wrote = " on " + drive_path(2) + " was empty; it now holds ?????#*18?.\n";
    const std::string mixed =
        "Skipped 0003copy.dsk in mixed: not a backup's file name.\nSkipped sub in mixed: a "
        "folder.\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string output;
        bool ctrl_c = false;  // pressed before the run starts
    };
    // clang-format off
    const Case cases[] = {
        {{"RESTORE", "mixed"}, 0, mixed + "Volume 5" + wrote + "Volume 12" + wrote + "Volume 100" + wrote + "slotpull succeeded.\n"},
        {{"RESTORE", "mixed", "5-12"}, 0, mixed + "Volume 5" + wrote + "Volume 12" + wrote + "slotpull succeeded.\n"},
        {{"RESTORE", "twice"}, -1, "slotpull failed: 'twice/0004-X.dsk' and 'twice/0004.dsk' are both for volume 4; nothing was written.\n"},
        {{"RESTORE", "none"}, -1, "There is no folder 'none'; nothing was written.\n"},
        {{"RESTORE", "disk.dsk"}, -1, "'disk.dsk' is not a folder; nothing was written.\n"},
        {{"FLASH", "2-3", "two"}, 0, "Volume 2 on " + drive_path(2) + " (?????#*18?) saved as two/0002-_____#_18_.dsk.\nVolume 3 on " + drive_path(2) + " (?????#*18?) saved as two/0003-_____#_18_.dsk.\n2 volumes saved, 0 empty.\n"},
        {{"FLASH", "129-", "two"}, -1, "Volume 129 is past the card's end; its last whole volume is 128.\n"},
        {{"FLASH", "1-", "disk.dsk"}, -1, "'disk.dsk' is not a folder; nothing was written.\n"},
        {{"FLASH", "2-3", "two"}, 130, "Volume 2 on " + drive_path(2) + " (?????#*18?) saved as two/0002-_____#_18_.dsk.\nStopped by Ctrl-C.\n1 volume saved, 0 empty.\n", true},
    };
    // clang-format on
    m.files[CHOICE_FILE] = drive_choice_bytes(2);
    for (const Case& c : cases) {
        add_drive(2, 128 * uint64_t{SLOT_BYTES}, 0);
        for (const char* name : {"mixed/0012.dsk", "mixed/00100.dsk", "mixed/0005.DSK",
                                 "mixed/0003copy.dsk", "twice/0004.dsk", "twice/0004-X.dsk"}) {
            m.files[name] = normalised(disk);
        }
        m.directories.insert({"mixed", "mixed/sub", "twice"});
        for (const uint32_t volume : {2u, 3u, 4u}) write_sector0(2, volume, normalised(disk));
        if (c.ctrl_c) m.interrupt_at = 0;
        std::vector<std::string> line = {"slotpush"};
        line.insert(line.end(), c.args.begin(), c.args.end());
        const ToolRun run = run_slotpush(line);
        EXPECT_EQ(run.output, c.output) << c.args[1];
        EXPECT_EQ(run.status, c.status) << c.args[1];
    }
    EXPECT_EQ(m.files.count("two/0004-_____#_18_.dsk"), 0u) << "no volume past the range saved";
    // A file that cannot be written stops the backup, said of its name (still there to say).
    m.interrupt_at.reset();
    m.fail_function("WriteFile", m.count("WriteFile"), {ERROR_DISK_FULL, std::nullopt});
    EXPECT_EQ(run_slotpush({"slotpush", "FLASH", "2-3", "full"}).output,
              "slotpull failed: the output file 'full/0002-_____#_18_.dsk': text of error 112\n");
}

// An empty TI disk of sides x tracks x sectors, as the disk managers make one: its bitmap marks
// sectors 0 and 1 used, and every sector past its end.
std::vector<uint8_t> empty_disk(uint8_t sides, uint8_t tracks, uint8_t sectors) {
    const uint32_t total = uint32_t{sides} * tracks * sectors;
    std::vector<uint8_t> disk(total * 256, 0);
    const uint8_t header[] = {'E',
                              'M',
                              'P',
                              'T',
                              'Y',
                              ' ',
                              ' ',
                              ' ',
                              ' ',
                              ' ',
                              uint8_t(total >> 8),
                              uint8_t(total),
                              sectors,
                              'D',
                              'S',
                              'K',
                              ' ',
                              tracks,
                              sides,
                              2};
    std::copy(std::begin(header), std::end(header), disk.begin());
    for (uint32_t n = 0; n < 1600; ++n) disk[56 + n / 8] |= (n < 2 || n >= total) << n % 8;
    return disk;
}

TEST_F(FrontEnd, ATrimmedReadBackIsTheDiskAtItsOwnSize) {
    fake::Machine& m = fake::machine();
    m.files[CHOICE_FILE] = drive_choice_bytes(1);
    const std::string saved = "Volume 2 on " + DRIVE_1 + " (EMPTY) saved as out.dsk";
    for (const auto& [sides, tracks, sectors] :
         {std::tuple{1, 40, 9}, {2, 40, 9}, {2, 40, 18}, {2, 40, 20}}) {
        m.files["in.dsk"] = empty_disk(sides, tracks, sectors);
        const std::string total = std::to_string(sides * tracks * sectors);
        ASSERT_EQ(run_slotpush({"slotpush", "in.dsk", "2"}).status, 0);
        EXPECT_EQ(run_slotpush({"slotpush", "FLASH", "2", "out.dsk", "--trim"}).output,
                  saved + (total == "1600" ? "" : ", cut to its own " + total + " sectors") +
                      ".\nslotpull succeeded.\n");
        EXPECT_EQ(m.files["out.dsk"], m.files["in.dsk"]) << total;
    }
    // Not cut: a sector past a 360- or 1440-sector disk's end in use, a file's runs there
    // though the bitmap calls them free, a geometry larger than a slot. 1600 sectors, the card's
    // geometry.
    struct Uncut {
        uint8_t sides, tracks, sectors;
        bool file;  // a file at sector 2 whose run lies at 400-401, or else a bit at 1500 set
        const char* why;
    };
    const Uncut uncut[] = {
        {1, 40, 9, false, "it uses sectors past its own end"},
        {2, 80, 9, false, "it uses sectors past its own end"},
        {1, 40, 9, true, "a file of it lies past its own end, whatever its bitmap says"},
        {2, 80, 18, false, "its own geometry gives more sectors than a slot holds"},
    };
    for (const Uncut& u : uncut) {
        std::vector<uint8_t> in = empty_disk(u.sides, u.tracks, u.sectors);
        in.resize(IMAGE_BYTES, 0);
        in[56 + 1500 / 8] |= u.file ? 0 : 1 << 1500 % 8;
        const uint8_t file[] = {0, 2, 'F', 'A', 'R', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
        if (u.file) std::copy_n(file, 2, in.begin() + 256);
        if (u.file) std::copy(file + 2, std::end(file), in.begin() + 512);
        if (u.file) in[512 + 15] = 2, in[512 + 28] = 0x90, in[512 + 29] = 0x11;  // 400-401
        write_sector0(1, 2, in);
        EXPECT_EQ(run_slotpush({"slotpush", "FLASH", "2", "out.dsk", "--trim"}).output,
                  saved +
                      ", 1600 sectors with its geometry made 2 sides x 40 tracks x 20 sectors: " +
                      u.why + ".\nslotpull succeeded.\n");
        EXPECT_EQ(m.files["out.dsk"].size(), 409600u);
        EXPECT_EQ(
            std::vector<uint8_t>(m.files["out.dsk"].begin() + 10, m.files["out.dsk"].begin() + 19),
            (std::vector<uint8_t>{0x06, 0x40, 20, 'D', 'S', 'K', ' ', 40, 2}));
    }
    EXPECT_EQ(run_slotpush({"slotpush", "LIST", "1", "--trim"}).output,
              "--trim is for FLASH alone.\n");
}

TEST_F(FrontEnd, NameFormatAndClearShowInListAtOnce) {
    fake::Machine& m = fake::machine();
    m.files[CHOICE_FILE] = drive_choice_bytes(1);
    m.files["files.dsk"] = disk_with_files({{"LOAD", 0x01, 0, 2}});
    ASSERT_EQ(run_slotpush({"slotpush", "files.dsk", "3"}).status, 0);
    const std::string on = "Volume 3 on " + DRIVE_1;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string output;
        std::string listed;  // LIST 3's line afterwards
    };
    // clang-format off
    const Case cases[] = {
        {{"NAME", "3", "GAMES"}, 0, on + " held FILES; it now holds GAMES.\nslotpull succeeded.\n", "     3  GAMES          1600  1595"},
        {{"NAME", "3", "ABCDEFGHIJ"}, 0, on + " held GAMES; it now holds ABCDEFGHIJ.\nslotpull succeeded.\n", "     3  ABCDEFGHIJ     1600  1595"},
        {{"NAME", "3", "A.B"}, -1, "'A.B' is not a valid TI name (1 to 10 characters; no blank, '.' or control byte).\n", "     3  ABCDEFGHIJ     1600  1595"},
        {{"FORMAT", "3", "NEW"}, 0, on + " held ABCDEFGHIJ; it now holds NEW.\nslotpull succeeded.\n", "     3  NEW            1600  1598"},
        {{"CLEAR", "3"}, 0, on + " held NEW; it is now empty.\nslotpull succeeded.\n", "     3  (empty)"},
        {{"NAME", "3", "X"}, 16, "There is no TI disk in volume 3 on " + DRIVE_1 + ": it is empty.\nNothing was changed.\n", "     3  (empty)"},
        {{"FORMAT", "3"}, 0, on + " was empty; it now holds a disk without a name.\nslotpull succeeded.\n", "     3                 1600  1598"},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::vector<std::string> line = {"slotpush"};
        line.insert(line.end(), c.args.begin(), c.args.end());
        const ToolRun run = run_slotpush(line);
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run_slotpush({"slotpush", "LIST", "3"}).output,
                  "Volume  Name        Sectors  Free  Prot\n" + c.listed + "\n");
    }
    EXPECT_TRUE(
        run_slotpush({"slotpush", "DIR", "3"}).output.ends_with("0 files, 0 sectors used.\n"));
    m.drives[1].write(3 * uint64_t{SLOT_BYTES} + 8, NO_SIGNATURE, 1);
    EXPECT_EQ(run_slotpush({"slotpush", "NAME", "4", "X"}).output,
              "There is no TI disk in volume 4 on " + DRIVE_1 +
                  ": it is not a TI disk.\nNothing was changed.\n");
}

TEST_F(FrontEnd, FindReadsOnlyWhatItNeedsAndIgnoresCase) {
    fake::Machine& m = fake::machine();
    m.files[CHOICE_FILE] = drive_choice_bytes(1);
    std::vector<uint8_t> files = disk_with_files({{"LOAD", 0x01, 0, 2}, {"NOTES", 0x80, 80, 4}});
    std::copy_n(files.begin() + 3 * 256, 256, files.begin() + 34 * 256);  // NOTES' record at 34
    files[256 + 3] = 34;
    files[56 + 4] |= 1 << 2;
    files[256 + 4] = 0xF0;  // a third entry, past the disk's end: no line
    m.files["files.dsk"] = files;
    ASSERT_EQ(run_slotpush({"slotpush", "files.dsk", "3"}).status, 0);
    const std::string header = "Volume  Disk        File        Type          Size\n";
    const std::string load = "     3  FILES       LOAD        PROGRAM          3\n";
    const std::string notes = "     3  FILES       NOTES       DIS/VAR 80       5\n";
    // 7 empty volumes a sector each; the disk's first 34 sectors, and NOTES' record at 34.
    const std::string read =
        " found; " + std::to_string(8 * 512 + 33 * 512 + 512) + " bytes read.\n";
    const std::pair<std::string, std::string> cases[] = {
        {"lo", load + "1" + read},
        {"L?AD", load + "1" + read},
        {"n*s", notes + "1" + read},
        {"file", "     3  FILES\n1" + read},
        {"*", "     3  FILES\n" + load + notes + "3" + read},
        {"zz", "Nothing on the card holds 'zz'.\n0" + read},
        {"LO*X", "Nothing on the card holds 'LO*X'.\n0" + read},
        {"LOAD*", load + "1" + read},
    };
    for (const auto& [text, output] : cases) {
        EXPECT_EQ(run_slotpush({"slotpush", "FIND", text}).output, header + output) << text;
    }
}

TEST_F(FrontEnd, TheDriveChoiceFileIsNamedAfterTheProgram) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\tools\\slotpush.exe", "C:\\tools\\slotpush.CFG"},
        {"slotpush", "slotpCFG"},
        {"abc", "CFG"},
        {"ab", "CFG"},
        {"", "CFG"},
    };
    for (const auto& [program, expected] : cases) {
        EXPECT_STREQ(drive_choice_file_name(program).get(), expected);
        SetUp();
        fake::machine().files[expected] = drive_choice_bytes(2);
        EXPECT_EQ(run_slotpush({program, "disk.dsk", "1"}).status, 0) << program;
        EXPECT_TRUE(written(2)) << program;
    }
}

TEST_F(FrontEnd, AChoiceFileThatCannotBeReadMeansNoStoredDrive) {
    fake::machine().directories.insert(CHOICE_FILE);
    EXPECT_EQ(run_slotpush({"slotpush", "disk.dsk", "5"}).output, NO_CANDIDATES);

    for (const char* function : {"CreateFileA", "SetFilePointer", "ReadFile"}) {
        SetUp();
        fake::machine().files[CHOICE_FILE] = drive_choice_bytes(3);
        fake::machine().fail_function(function, 0);
        const ToolRun outcome = run_slotpush({"slotpush", "disk.dsk", "5"});
        EXPECT_EQ(outcome.status, -1) << function;
        EXPECT_EQ(outcome.output, NO_CANDIDATES) << function;
        TearDown();
    }
}

TEST_F(FrontEnd, TheVolumeNumberIsDigitsThatFit32Bits) {
    struct Case {
        const char* text;
        int status;
        uint64_t slot_offset;  // of the write, when status is 0
    };
    // clang-format off
    const Case cases[] = {
        {"5", 0, 4 * 819200},
        {"0005", 0, 4 * 819200},
        {"", -1, 0},
        {"0", -1, 0},
        {"00000", -1, 0},
        {"1", 0, 0},
        {"8", 0, 7 * 819200},
        {"5a", -1, 0},
        {"-5", -1, 0},
        {" 5", -1, 0},
        {"+5", -1, 0},
        {"4294967295", 0, 4294967294ull * 819200},
        {"4294967296", -1, 0},
        {"99999999999999999999", -1, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SetUp();
        // A refused number is refused before any drive is asked for: none is stored here.
        if (c.status == 0) fake::machine().files[CHOICE_FILE] = drive_choice_bytes(1);
        fake::machine().drives[1].size = c.slot_offset + 8 * uint64_t{SLOT_BYTES};
        const ToolRun outcome = run_slotpush({"slotpush", "disk.dsk", c.text});
        EXPECT_EQ(outcome.status, c.status) << "'" << c.text << "'";
        if (c.status == 0) {
            EXPECT_EQ(outcome.output, wrote(std::stoull(c.text), DRIVE_1));
            EXPECT_EQ(fake::machine().drives[1].written_range()->first, c.slot_offset) << c.text;
        } else {
            EXPECT_EQ(outcome.output,
                      "The value '" + std::string(c.text) + "' is an invalid volume number.\n");
            EXPECT_FALSE(written(1)) << c.text;
        }
        TearDown();
    }
}

// Drive 1 as a disk of this media type whose first sectors hold two bytes at `at`.
void pc_disk(uint8_t first, uint8_t second, uint64_t at, MEDIA_TYPE media = FixedMedia) {
    fake::machine().geometries[1].MediaType = media;
    const uint8_t bytes[] = {first, second, 'I', ' ', 'P', 'A', 'R', 'T'};
    fake::machine().drives[1].write(at, bytes, sizeof bytes);
}

// Sector 0 of a disk of this name and total, every sector in use.
std::vector<uint8_t> disk_sector0(const char* name, uint16_t total) {
    std::vector<uint8_t> sector0 = sector_dump(total, IMAGE_SECTOR_BYTES);
    std::memset(sector0.data(), ' ', 10);
    std::memcpy(sector0.data(), name, std::strlen(name));
    return sector0;
}

TEST_F(FrontEnd, TheOutcomeLineCarriesTheSystemTextOfTheFailure) {
    struct Case {
        const char* name;
        const char* image;
        std::function<void()> arrange;
        int status;
        std::string output;
    };
    std::vector<uint8_t> no_signature = sector_dump(360, 92160);
    no_signature[15] = 'X';
    // A disk whose total says 40 sectors, its file's run at 130 to 136.
    std::vector<uint8_t> lying = disk_with_files({{"FAR", 0x01, 0, 7}});
    lying[10] = 0;
    lying[11] = 40;
    lying[2 * 256 + 28] = 130;
    std::fill_n(lying.begin() + 56, 25, 0xFF);
    const Case cases[] = {
        {"missing image", "none.dsk", [] {}, -2,
         "slotpull failed: the image file 'none.dsk': text of error 2\n"},
        {"drive absent", "disk.dsk", [] { fake::machine().drives[1].opens = false; }, -9,
         "slotpull failed: " + DRIVE_1 + ": it did not open for writing: text of error 2\n"},
        {"drive refuses writing", "disk.dsk",
         [] { fake::machine().drives[1].opens_for_write = false; }, -9,
         "slotpull failed: " + DRIVE_1 + ": it did not open for writing: text of error 5\n"},
        {"write fails", "disk.dsk",
         [] {
             fake::machine().fail_function("WriteFile", 0, {ERROR_WRITE_FAULT, std::nullopt});
         },
         -3, "slotpull failed: volume 5 on " + DRIVE_1 + ": the write failed: text of error 29\n"},
        {"flush fails", "disk.dsk", [] { fake::machine().fail_function("FlushFileBuffers", 0); },
         -3,
         "slotpull failed: volume 5 on " + DRIVE_1 +
             ": the flush after the write failed: text of error 31\n"},
        {"drive too small", "disk.dsk", [] { add_drive(1, 4 * SLOT_BYTES + 4096); }, -1,
         "slotpull failed: volume 5 is past the card's end; its last whole volume is 4.\n"},
        {"drive of unknown size too small", "disk.dsk",
         [] {
             add_drive(1, 4 * SLOT_BYTES + 4096);
             fake::machine().fail_function("DeviceIoControl", 0);
             fake::machine().fail_function("SetFilePointer", 4);  // the card's end
         },
         -3, "slotpull failed: volume 5 on " + DRIVE_1 + ": the write failed: text of error 27\n"},
        {"no system text", "none.dsk", [] { fake::machine().fail_function("FormatMessageA", 0); },
         -2, "slotpull failed: the image file 'none.dsk': error 2\n"},
        {"not an image", "bad.dsk", [] {}, -4,
         "Not a supported TI/99-4A format: 'bad.dsk' has no DSK signature.\n"},
        {"the card keeps nothing", "disk.dsk",
         [] { fake::machine().drives[1].keeps_writes = false; }, -3,
         "slotpull failed: volume 5 on " + DRIVE_1 +
             " does not hold what was written; the first "
             "difference is at byte 0 of its slot.\n"},
        {"the card alters a byte", "disk.dsk",
         [] { fake::machine().drives[1].alters_byte_at = 4 * uint64_t{SLOT_BYTES} + 12345; }, -3,
         "slotpull failed: volume 5 on " + DRIVE_1 +
             " does not hold what was written; the first "
             "difference is at byte 12345 of its slot.\n"},
        {"the card alters its last byte", "disk.dsk",
         [] { fake::machine().drives[1].alters_byte_at = 5 * uint64_t{SLOT_BYTES} - 1; }, -3,
         "slotpull failed: volume 5 on " + DRIVE_1 +
             " does not hold what was written; the first "
             "difference is at byte 819199 of its slot.\n"},
        {"the card alters a byte past the middle", "disk.dsk",
         [] { fake::machine().drives[1].alters_byte_at = 4 * uint64_t{SLOT_BYTES} + 421945; }, -3,
         "slotpull failed: volume 5 on " + DRIVE_1 +
             " does not hold what was written; the first "
             "difference is at byte 421945 of its slot.\n"},
        // clang-format off
        {"a fixed disk with a partition table", "disk.dsk", [] { pc_disk(0x55, 0xAA, 510); }, -3, PC_DISK},
        {"a fixed disk with a GPT header", "disk.dsk", [] { pc_disk('E', 'F', 512); }, -3, PC_DISK},
        {"a fixed card (CF-to-IDE) is written", "disk.dsk", [] { pc_disk(0x55, 0xE5, 510); }, 0, wrote(5, DRIVE_1)},
        {"a removable card with a partition table is written", "disk.dsk", [] { pc_disk(0x55, 0xAA, 510, RemovableMedia); }, 0, wrote(5, DRIVE_1)},
        {"the volume held a disk", "disk.dsk", [] { write_sector0(1, 5, disk_sector0("GAMES-1", 1600)); }, 0, wrote(5, DRIVE_1, "held GAMES-1; it ")},
        {"the volume held something else", "disk.dsk", [] { fake::machine().drives[1].write(4 * uint64_t{SLOT_BYTES} + 8, NO_SIGNATURE, 1); }, 0, wrote(5, DRIVE_1, "held something that is not a TI disk; it ")},
        {"a nameless disk over a nameless disk", "blank.dsk", [] { write_sector0(1, 5, disk_sector0("", 1600)); fake::machine().files["blank.dsk"] = fake::machine().files["disk.dsk"]; std::fill_n(fake::machine().files["blank.dsk"].begin(), 10, ' '); }, 0,
         "Volume 5 on " + DRIVE_1 + " held a disk without a name; it now holds a disk without a name.\nslotpull succeeded.\n"},
        {"what the volume held could not be read", "disk.dsk", [] { fake::machine().fail_function("ReadFile", 2); }, 0, wrote(5, DRIVE_1, "")},
        // clang-format on
        {"a total below what its files use", "lying.dsk", [] {}, 0,
         "Volume 5 on " + DRIVE_1 +
             " was empty; it now holds FILES.\nIts sector 0 said 40 sectors, fewer than the 137 "
             "its files use: those stay marked used.\nslotpull succeeded.\n"},
        {"the card cannot be read back", "disk.dsk",
         [] { fake::machine().drives[1].uncached_reads_fail = true; }, -3,
         "slotpull failed: volume 5 on " + DRIVE_1 +
             ": the read-back after the write failed: text of error 23\n"},
    };
    for (const Case& c : cases) {
        SetUp();
        fake::machine().files["bad.dsk"] = no_signature;
        fake::machine().files["lying.dsk"] = lying;
        fake::machine().files[CHOICE_FILE] = drive_choice_bytes(1);
        c.arrange();
        const auto arranged = fake::machine().drives[1].written_range();
        // The card's own failures, with nothing kept: the fault matrix cuts the keeping.
        const ToolRun outcome = run_slotpush({"slotpush", c.image, "5", "--no-undo"});
        EXPECT_EQ(outcome.status, c.status) << c.name;
        EXPECT_EQ(outcome.output, c.output) << c.name;
        const bool pc_disk_refused = c.output.find("not a card") != std::string::npos;
        if ((c.status != -3 && c.status != 0) || pc_disk_refused) {
            EXPECT_EQ(fake::machine().drives[1].written_range(), arranged) << c.name;
        }
        if (c.image == std::string("lying.dsk")) {  // 137 sectors keep their marks, not 40
            EXPECT_TRUE(run_slotpush({"slotpush", "LIST", "5"}).output.ends_with("1600  1463\n"));
        }
        TearDown();
    }
}

TEST_F(FrontEnd, TheCatalogueNamesAVolumeItCannotReadAndGoesOn) {
    const std::string header = "Volume  Name        Sectors  Free  Prot\n";
    // The call of that name going wrong; the first is the choice file's.
    const auto failing = [](const char* function, size_t occurrence) {
        return [=] { fake::machine().fail_function(function, occurrence); };
    };
    const auto volume_2_holds = [](std::vector<uint8_t> sector0) {
        return [=] { write_sector0(1, 2, sector0); };
    };
    std::vector<uint8_t> all_but_last_byte(IMAGE_SECTOR_BYTES, 0x5A);  // as the drive's fill
    all_but_last_byte.back() = 0;
    // 362 sectors: the bitmap's byte for sectors 360 to 367 has only 360 and 361 in use.
    std::vector<uint8_t> odd_total = disk_sector0("ODD", 362);
    odd_total[56 + 45] = 0x03;
    struct Case {
        const char* name;
        const char* range;
        std::function<void()> arrange;
        int status;
        std::string output;
    };
    const Case cases[] = {
        {"all empty", "1-3", [] {}, 0, header + "   1-3  (empty)\n"},
        {"a volume not read", "1-3", failing("ReadFile", 2), 0,
         header + "     1  (empty)\n     2  (not read: text of error 31)\n     3  (empty)\n"},
        {"the first not read", "1-3", failing("ReadFile", 1), -2,
         header + "     1  (not read: text of error 31)\n   2-3  (empty)\n"},
        {"the card not opened", "1-3", failing("CreateFileA", 1), -2,
         "slotpull failed: " + DRIVE_1 + ": text of error 31\n"},
        // clang-format off
        {"a sector 0 of one value but its last byte", "1-3", volume_2_holds(all_but_last_byte), 0, header + "     1  (empty)\n     2  (not a TI disk)\n     3  (empty)\n"},
        {"a disk between empty runs", "1-3", volume_2_holds(disk_sector0("GAMES-1", 1600)), 0, header + "     1  (empty)\n     2  GAMES-1        1600     0\n     3  (empty)\n"},
        {"a total not a multiple of 8", "2", volume_2_holds(odd_total), 0, header + "     2  ODD             362     0\n"},
        {"one volume", "7", [] {}, 0, header + "     7  (empty)\n"},
        {"a range of one", "3-3", [] {}, 0, header + "     3  (empty)\n"},
        {"sector not found on a card of known size: said, not the end", "1-3", [] { fake::machine().fail_function("ReadFile", 2, {ERROR_SECTOR_NOT_FOUND, std::nullopt}); }, 0, header + "     1  (empty)\n     2  (not read: text of error 27)\n     3  (empty)\n"},
        {"ranges wider than the header", "1000-1999", [] { add_drive(1, 2000 * uint64_t{SLOT_BYTES}); write_sector0(1, 1000, disk_sector0("GAMES-1", 1600)); }, 0, "   Volume  Name        Sectors  Free  Prot\n     1000  GAMES-1        1600     0\n1001-1999  (empty)\n"},
        {"a card with part of a slot at its end", "1-", [] { add_drive(1, 3 * SLOT_BYTES + SLOT_BYTES / 2); }, 0, header + "   1-3  (empty)\nThe card ends after volume 3.\n"},
        // Its size unknown (no length, no end), the card ends where a read comes up short.
        {"a short read", "1-", [] { fake::machine().fail_function("DeviceIoControl", 0); fake::machine().fail_function("SetFilePointer", 2); fake::machine().fail_function("ReadFile", 3, {0, 0}); }, 0, "     Volume  Name        Sectors  Free  Prot\n        1-2  (empty)\nThe card ends after volume 2.\n"},
        // clang-format on
    };
    for (const Case& c : cases) {
        SetUp();
        fake::machine().files[CHOICE_FILE] = drive_choice_bytes(1);
        c.arrange();
        const ToolRun outcome = run_slotpush({"slotpush", "LIST", c.range});
        EXPECT_EQ(outcome.status, c.status) << c.name;
        EXPECT_EQ(outcome.output, c.output) << c.name;
        TearDown();
    }
    SetUp();  // Windows 98 does not tell the card's size: a read that finds nothing ends it
    set_windows(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
    fake::machine().has_vwin32 = true;
    fake::machine().volumes['K'].sectors.size = 2 * SLOT_BYTES;
    const ToolRun nine_x = run_slotpush({"slotpush", "LIST", "1-"}, "y\n");
    EXPECT_EQ(nine_x.status, 0);
    EXPECT_TRUE(
        nine_x.output.ends_with("     Volume  Name        Sectors  Free  Prot\n        1-2  "
                                "(empty)\nThe card ends after volume 2.\n"))
        << nine_x.output;
    const ToolRun past_end = run_slotpush({"slotpush", "LIST", "3-"}, "y\n");
    EXPECT_EQ(past_end.status, -1);
    EXPECT_TRUE(past_end.output.ends_with("(Y/N): Volume 3 is past the card's end.\n"))
        << past_end.output;
}

TEST_F(FrontEnd, TheCardNamedOnTheCommandLineIsUsedAsItIs) {
    // Anything written into the card file; the image's slot, volume 2, lies at its middle.
    const auto card_file_written = [] {
        const std::vector<uint8_t>& card = fake::machine().files["card.img"];
        return std::any_of(card.begin(), card.end(), [](uint8_t b) { return b != 0; });
    };
    struct Case {
        std::vector<std::string> args;  // after "slotpush --card"
        std::function<void()> arrange;
        int status;
        std::string output;
        std::function<bool()> written;  // what the run must have written; none: nothing
    };
    const std::string past_end =
        "slotpull failed: volume 5 is past the card's end; its last whole volume is 4.\n";
    const auto slot_2_written = [] {
        const std::vector<uint8_t>& card = fake::machine().files["card.img"];
        return card.size() == 4 * SLOT_BYTES + 100 && card[SLOT_BYTES - 1] == 0 &&
               card[SLOT_BYTES + 1] == FILL_BYTE && card[2 * SLOT_BYTES] == 0;
    };
    const auto e_on = [](int drive, std::optional<int> first_extent_on) {
        return [=] {
            fake::machine().mounted_volumes['E'] = {drive, 2048 * 512, SLOT_BYTES, false,
                                                    first_extent_on};
        };
    };
    const auto windows_98 = [] {
        set_windows(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
        fake::machine().has_vwin32 = true;
        fake::machine().volumes['E'].sectors.size = 2 * SLOT_BYTES;
    };
    const std::string saved = "Volume 2 on card.img (empty) saved as ";
    // clang-format off
    const Case cases[] = {
        {{"card.img", "disk.dsk", "2"}, [] {}, 0, wrote(2, "card.img"), slot_2_written},
        {{"card.img", "FLASH", "2"}, [] {}, 0, saved + "FLASH.\nslotpull succeeded.\n", nullptr},
        {{"card.img", "FLASH", "2", "out.dsk"}, [] {}, 0, saved + "out.dsk.\nslotpull succeeded.\n", [] { return fake::machine().files["out.dsk"].size() == IMAGE_BYTES; }},
        {{"card.img", "FLASH", "2", "NUL"}, [] {}, 4, "slotpull failed: the output file 'NUL' is a device, not a file; nothing was written.\n", nullptr},
        {{"card.img", "FLASH", "2", "\\\\.\\PHYSICALDRIVE3"}, [] {}, 4, "slotpull failed: the output file '\\\\.\\PHYSICALDRIVE3' is a device, not a file; nothing was written.\n", nullptr},
        {{"card.img", "LIST", "1-"}, [] {}, 0, "Volume  Name        Sectors  Free  Prot\n   1-4  (empty)\nThe card ends after volume 4.\n", nullptr},
        {{"card.img", "disk.dsk", "5"}, [] {}, -1, past_end, nullptr},
        {{"card.img", "FLASH", "5"}, [] {}, -1, past_end, nullptr},
        {{"empty.img", "LIST", "1"}, [] {}, -1, "Volume 1 is past the card's end; the card holds no whole volume.\n", nullptr},
        {{"empty.img", "disk.dsk", "1"}, [] {}, -1, "slotpull failed: volume 1 is past the card's end; the card holds no whole volume.\n", nullptr},
        {{"none.img", "disk.dsk", "1"}, [] {}, -1, "slotpull failed: none.img: text of error 2\n", nullptr},
        {{"NUL", "disk.dsk", "1"}, [] {}, -1, "slotpull failed: NUL is neither a disk nor a file.\n", nullptr},
        {{"\\\\.\\PhysicalDrive3", "disk.dsk", "1"}, [] {}, 0, wrote(1, drive_path(3)), [] { return written(3); }},
        {{"e:", "disk.dsk", "1"}, e_on(2, std::nullopt), 0, wrote(1, drive_path(2)), [] { return written(2); }},
        {{"E:", "disk.dsk", "1"}, e_on(2, 1), -1, "slotpull failed: no single physical drive holds E:; name the drive as \\\\.\\PHYSICALDRIVEn.\n", nullptr},
        {{"E:", "disk.dsk", "1"}, windows_98, 0, wrote(1, "E:"), [] { return fake::machine().volumes['E'].sectors.written_range().has_value(); }},
        {{"z:", "disk.dsk", "1"}, [=] { windows_98(); fake::machine().volumes['Z'] = fake::machine().volumes['E']; }, 0, wrote(1, "Z:"), [] { return fake::machine().volumes['Z'].sectors.written_range().has_value(); }},
        {{"card.img", "FLASH", "2", "card.img"}, [] {}, 4, "slotpull failed: the output file 'card.img' is the card itself; nothing was written.\n", nullptr},
        {{"E:\\cards\\card.img", "disk.dsk", "1"}, e_on(2, std::nullopt), -1, "slotpull failed: E:\\cards\\card.img: text of error 2\n", nullptr},
        {{"\\\\.\\PHYSICALDRIVE", "disk.dsk", "1"}, [] {}, -1, "slotpull failed: \\\\.\\PHYSICALDRIVE: text of error 2\n", nullptr},
        {{"\\\\.\\PHYSICALDRIVE12345", "disk.dsk", "1"}, [] {}, -1, "slotpull failed: \\\\.\\PHYSICALDRIVE12345: text of error 2\n", nullptr},
        {{std::string(512, 'c'), "disk.dsk", "1"}, [] {}, -1, "slotpull failed: " + std::string(512, 'c') + ": text of error 206\n", nullptr},
    };
    // clang-format on
    for (const Case& c : cases) {
        SetUp();
        fake::Machine& m = fake::machine();
        set_windows(VER_PLATFORM_WIN32_NT, 10);
        m.files["card.img"] = std::vector<uint8_t>(4 * SLOT_BYTES + 100);
        m.files["empty.img"] = {};
        m.files["NUL"] = {};
        m.character_devices.insert("NUL");
        c.arrange();
        std::vector<std::string> args = {"slotpush", "--card"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun outcome = run_slotpush(args);
        const std::string what = c.args[0] + " " + c.args[1] + " " + c.args[2];
        EXPECT_EQ(outcome.status, c.status) << what;
        EXPECT_EQ(outcome.output, c.output) << what;
        if (c.written) {
            EXPECT_TRUE(c.written()) << what;
        } else {
            for (int n = 0; n < 16; ++n) EXPECT_FALSE(written(n)) << what;
            EXPECT_FALSE(card_file_written()) << what;
        }
        EXPECT_EQ(m.files.count(CHOICE_FILE), 0u) << "neither read nor created, " << what;
        EXPECT_EQ(m.files.count("none.img"), 0u) << what;
        const bool saved_as_flash = c.args[1] == "FLASH" && c.args.size() == 3 && c.status == 0;
        EXPECT_EQ(m.files.count("FLASH"), saved_as_flash) << what;
        TearDown();
    }
}

TEST_F(FrontEnd, FlashAsTheImageReadsTheSlotBackIntoAFileNamedFlash) {
    fake::machine().files[CHOICE_FILE] = drive_choice_bytes(4);
    ASSERT_EQ(run_slotpush({"slotpush", "disk.dsk", "2"}).status, 0);
    const ToolRun outcome = run_slotpush({"slotpush", "FLASH", "2"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.output, "Volume 2 on " + drive_path(4) +
                                  " (?????#*18?) saved as FLASH.\nslotpull succeeded.\n");
    EXPECT_EQ(fake::machine().files["FLASH"], normalised(sector_dump(360, 92160)));
}

std::vector<uint8_t> tifiles_file(const char* name, uint8_t flags, uint16_t sectors);

TEST_F(FrontEnd, GetSaysWhatItSavedOrWhyNot) {
    std::vector<uint8_t> damaged = disk_with_files({{"LOAD", 0x01, 0, 2}, {"OLD", 0x01, 0, 1}});
    damaged[2 * 256 + 28] = 9;  // LOAD: one run of 3 sectors from 9, against 2 allocated
    damaged[2 * 256 + 29] = 0x20;
    const std::string from_3 = " on volume 3 on " + DRIVE_1;
    // A disk whose names a PC would take otherwise: one PC name twice, a device's, a hidden
    // one's, the card's, one that is not text, dots alone, and a file there already.
    std::vector<uint8_t> names = disk_with_files(std::vector<DiskFile>(8, {"X", 0x01, 0, 1}));
    const char* const raw_names[] = {"A/B",      "A_B",       "CON", ".profile",
                                     "card.img", "BAD\1NAME", "..",  "PRESENT"};
    for (size_t i = 0; i < 8; ++i) {
        std::fill_n(names.begin() + (2 + i) * 256, 10, ' ');
        std::memcpy(names.data() + (2 + i) * 256, raw_names[i], std::strlen(raw_names[i]));
    }
    const auto got = [](const std::string& ti, const std::string& pc, const char* why = "") {
        return ti + " (PROGRAM, 2 sectors) from the image file 'names.dsk' saved as " + pc + why +
               ".\n";
    };
    const std::string renamed =
        got("A/B", "A_B") + got("A_B", "A_B~2", ", as another file of this run has its own") +
        got("CON", "CON_", ", as its own names a device on a PC") +
        got(".profile", "_profile", ", as a name that starts with '.' is hidden on a PC") +
        got("card.img", "card.img~2", ", as its own names the card or the disk being read") +
        got("BAD?NAME", "BAD_NAME", ", as its own is not text") + got("..", "__");
    const std::string kept =
        "slotpull failed: the output file 'PRESENT' is there already; it is kept (--force replaces "
        "it).\n";
    std::string dump;  // one sector of 0x33, as TYPE dumps it
    for (int row = 0; row < 16; ++row) {
        char offset[8];
        std::snprintf(offset, sizeof offset, "%06X", row * 16);
        dump += std::string(offset) + " ";
        for (int k = 0; k < 16; ++k) dump += " 33";
        dump += "  3333333333333333\n";
    }
    struct Case {
        std::vector<std::string> args;
        std::string output;
        std::string input = "";
        bool console = false;
        bool ctrl_c = false;  // pressed before the run starts
    };
    // clang-format off
    const std::vector<Case> cases = {
        {{"GET", "files.dsk", "OLD", "old.tfi"}, "OLD (PROGRAM, 2 sectors) from the image file 'files.dsk' saved as old.tfi.\n"},
        {{"GET", "3"}, "LOAD (PROGRAM, 3 sectors) from volume 3 on " + DRIVE_1 + " saved as LOAD.\nOLD (PROGRAM, 2 sectors) from volume 3 on " + DRIVE_1 + " saved as OLD.\n2 files saved.\n"},
        {{"GET", "3", "load"}, "There is no file 'load'" + from_3 + "; did you mean LOAD?\n"},
        {{"GET", "3", "LOADER"}, "There is no file 'LOADER'" + from_3 + ".\n"},
        {{"GET", "4", "LOAD"}, "There is no TI disk in volume 4 on " + DRIVE_1 + ": it is empty.\n"},
        {{"GET", "3", "OLD", "NUL"}, "slotpull failed: the output file 'NUL' is a device, not a file; nothing was written.\n"},
        {{"GET", "damaged.dsk"}, "slotpull failed: the file LOAD on the image file 'damaged.dsk' cannot be read: its runs hold another number of sectors than its record allocates.\nOLD (PROGRAM, 2 sectors) from the image file 'damaged.dsk' saved as OLD.\n1 file saved; 1 left unsaved.\n"},
        {{"GET", "files.dsk", "OLD", "files.dsk", "--force"}, "slotpull failed: the output file 'files.dsk' is the disk being read; nothing was written.\n"},
        {{"GET", "--card", "card.img", "names.dsk"}, renamed + kept + "7 files saved; 1 left unsaved.\n"},
        {{"GET", "names.dsk", "--force"}, renamed.substr(0, renamed.find("card.img ")) + got("card.img", "card.img") + got("BAD?NAME", "BAD_NAME", ", as its own is not text") + got("..", "__") + got("PRESENT", "PRESENT") + "8 files saved.\n"},
        {{"GET", "names.dsk", "PRESENT"}, "Replace 'PRESENT'? (Y/N): " + got("PRESENT", "PRESENT"), "y\n", true},
        {{"GET", "names.dsk", "PRESENT"}, "Replace 'PRESENT'? (Y/N): " + kept, "n\n", true},
        {{"GET", "files.dsk", "OLD", "OLD", "--trim"}, "--trim is for FLASH alone.\n"},
        {{"LIST", "1", "--force"}, "--force is for GET, PUT and COPY alone.\n"},
        {{"GET", "names.dsk"}, "Stopped by Ctrl-C.\n0 files saved; 8 left unsaved.\n", "", false, true},
        {{"GET", "4"}, "There is no TI disk in volume 4 on " + DRIVE_1 + ": it is empty.\n"},
        {{"GET", "6", "OLD"}, "slotpull failed: the file OLD on volume 6 on " + DRIVE_1 + " cannot be read: a run of its data lies outside the disk.\n"},
        {{"GET", "short.dsk", "OLD"}, "slotpull failed: the file OLD on the image file 'short.dsk' cannot be read: a run of its data lies outside the disk.\n"},
        {{"GET", "ten.dsk", "ABCDEFGHIJ"}, "ABCDEFGHIJ (PROGRAM, 2 sectors) from the image file 'ten.dsk' saved as ABCDEFGHIJ.\n"},
        {{"GET", "text.dsk", "HELLO", "-", "--text"}, "HELLO WORLD\n\n" + std::string(80, 'X') + "\n"},
        {{"GET", "text.dsk", "HELLO", "--text"}, "HELLO (DIS/VAR 80, 2 sectors) from the image file 'text.dsk' saved as HELLO.txt, 3 lines of text.\n"},
        {{"TYPE", "text.dsk", "h*"}, "HELLO WORLD\n\n" + std::string(80, 'X') + "\n"},
        {{"TYPE", "text.dsk", "CODE"}, dump},
        {{"GET", "files.dsk", "OLD", "-", "--text"}, "slotpull failed: the file OLD on the image file 'files.dsk' is a PROGRAM of machine code or data, not a BASIC program.\n"},
        {{"GET", "files.dsk", "?O*", "out"}, "LOAD (PROGRAM, 3 sectors) from the image file 'files.dsk' saved as out/LOAD.\n1 file saved.\n"},
        {{"GET", "files.dsk", "*", "x.tfi"}, "slotpull failed: 'x.tfi' is not a folder, and 2 files match '*'; name a folder for them.\n"},
        {{"GET", "files.dsk", "Q*"}, "No file on the image file 'files.dsk' matches 'Q*'.\n"},
    };
    // clang-format on
    for (const auto& [args, output, input, console, ctrl_c] : cases) {
        SetUp();
        fake::Machine& m = fake::machine();
        m.files[CHOICE_FILE] = drive_choice_bytes(1);
        m.files["files.dsk"] = disk_with_files({{"LOAD", 0x01, 0, 2}, {"OLD", 0x01, 0, 1}});
        for (int sector : {2, 3}) m.files["files.dsk"][sector * 256 + 28] = sector * 3 + 3;
        m.files["files.dsk"][2 * 256 + 29] = 0x10;  // LOAD's 2 sectors from 9; OLD's 1 from 12
        m.files["damaged.dsk"] = damaged;
        m.files["NUL"] = {};
        m.character_devices.insert("NUL");
        ASSERT_EQ(run_slotpush({"slotpush", "files.dsk", "3"}).status, 0);
        m.files["names.dsk"] = names;
        m.files["ten.dsk"] = disk_with_files({{"ABCDEFGHIJ", 0x01, 0, 1}});
        m.files["text.dsk"] = disk_with_files({});
        const std::string text = "HELLO WORLD\n\r" + std::string(80, 'X');
        m.files["hello.txt"] = {text.begin(), text.end()};
        m.files["code.tfi"] = tifiles_file("CODE", 0x01, 1);
        ASSERT_EQ(run_slotpush({"slotpush", "PUT", "text.dsk", "code.tfi"}).status, 0);
        ASSERT_EQ(run_slotpush({"slotpush", "PUT", "text.dsk", "hello.txt", "--text"}).status, 0);
        m.directories.insert("out");
        // Volume 6 as written by another tool: a total of 720, and OLD's run at 800 past it.
        std::vector<uint8_t> far = m.files["files.dsk"];
        far.resize(IMAGE_BYTES, 0);
        far[3 * 256 + 28] = 0x20;
        far[3 * 256 + 29] = 0x03;
        write_sector0(1, 6, far);
        m.files["short.dsk"] = m.files["files.dsk"];  // cut before OLD's sector 12
        m.files["short.dsk"].resize(12 * 256);
        for (const char* pc : {".profile", "card.img", "PRESENT"}) m.files[pc] = {'p', 'c'};
        m.console_input = console;
        if (ctrl_c) m.interrupt_at = 0;
        const auto before = m.files;
        std::vector<std::string> line = {"slotpush"};
        line.insert(line.end(), args.begin(), args.end());
        const ToolRun run = run_slotpush(line, input);
        EXPECT_EQ(run.output, output) << args[1];
        const bool kept_all = output.find(kept) != std::string::npos;
        EXPECT_EQ(run.status, kept_all ? RESULT_FILES_LEFT : run.status) << args[1];
        for (const auto& [name, bytes] : before) {  // only a file said to be saved changes
            if (run.output.find(" saved as " + name + ".\n") != std::string::npos) continue;
            EXPECT_EQ(m.files[name], bytes) << name << " is not written over, " << args[1];
        }
        TearDown();
    }
    // Windows 98 replaces in three moves: one cut between the two that leave the name empty is
    // finished by the next save of that name (or, the new file gone, undone), which then finds
    // the file there already.
    for (const bool finished : {true, false}) {
        SetUp();
        set_windows(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
        fake::Machine& m = fake::machine();
        m.files["files.dsk"] = disk_with_files({{"OLD", 0x01, 0, 1}});
        m.files["out/cut.tfi.slotpush-77-1.old"] = {'o'};
        if (finished) m.files["out/cut.tfi.slotpush-77-1"] = {'n'};
        m.directories.insert("out");
        EXPECT_EQ(run_slotpush({"slotpush", "GET", "files.dsk", "OLD", "out/cut.tfi"}).output,
                  "slotpull failed: the output file 'out/cut.tfi' is there already; it is kept "
                  "(--force replaces it).\n");
        EXPECT_EQ(m.files["out/cut.tfi"], std::vector<uint8_t>{uint8_t(finished ? 'n' : 'o')});
        EXPECT_EQ(m.files.size(), 3u) << "disk.dsk, files.dsk and out/cut.tfi: nothing beside it";
        TearDown();
    }
}

// A TIFILES file of sectors sectors (each byte 0x33), its name in the header where given.
std::vector<uint8_t> tifiles_file(const char* name, uint8_t flags, uint16_t sectors) {
    std::vector<uint8_t> file(128 + 256 * size_t{sectors}, 0x33);
    std::fill_n(file.begin(), 128, 0);
    const uint8_t header[] = {7, 'T', 'I', 'F', 'I', 'L', 'E', 'S', 0, uint8_t(sectors), flags};
    std::copy(std::begin(header), std::end(header), file.begin());
    file[8] = static_cast<uint8_t>(sectors >> 8);
    if (name != nullptr)
        std::memcpy(std::fill_n(file.data() + 16, 10, ' ') - 10, name, std::strlen(name));
    return file;
}

TEST_F(FrontEnd, PutAndDelChangeAllOrNothingAndSayWhy) {
    const std::vector<DiskFile> three = {
        {"LOAD", 0x01, 0, 2}, {"OLD", 0x01, 0, 1}, {"PROT", 0x09, 0, 1}};
    const std::vector<uint8_t> files = disk_with_files(three);
    std::vector<uint8_t> overlap = files, outside = files, unmarked = files, holes = files;
    overlap[3 * 256 + 28] = 5;  // OLD's run starts in LOAD's
    outside[256 + 5] = 0xF0;    // the third entry points at sector 240 + 3 * 256
    outside[256 + 4] = 3;
    unmarked[56] &= ~0x40;  // LOAD's second sector is free in the bitmap
    for (size_t byte = 56 + 34 / 8 + 1; byte < 56 + 90; ++byte) holes[byte] = 0x55;
    // Damage the check must see: a run at sector 1, a chain that goes back, a record not marked
    // used, and on a disk of 1600 sectors whose total says 720, a run and an entry past 720.
    std::vector<uint8_t> at_1 = files, backward = files, record_free = files, runs_far = files;
    at_1[3 * 256 + 28] = 1;
    backward[2 * 256 + 31] = 6;  // LOAD: a second run that ends where the first does
    backward[2 * 256 + 32] = 0x10;
    record_free[56] &= ~0x08;
    runs_far.resize(IMAGE_BYTES);
    std::vector<uint8_t> index_far = runs_far;
    runs_far[3 * 256 + 28] = 0x20;  // OLD at 800
    runs_far[3 * 256 + 29] = 0x03;
    index_far[256 + 6] = 0x03;  // a fourth entry at 800
    index_far[256 + 7] = 0x20;
    // Free in exactly 76 pieces past 34, and a record's place below them.
    std::vector<uint8_t> pieces = files;
    std::fill(pieces.begin() + 56, pieces.begin() + 56 + 90, 0xFF);
    for (uint32_t n = 100; n <= 252; n += 2) pieces[56 + n / 8] &= ~(1 << n % 8);
    std::vector<uint8_t> hole = files;  // [LOAD, 0, OLD, PROT]
    std::copy_n(files.begin() + 258, 4, hole.begin() + 260);
    hole[258] = hole[259] = 0;
    std::vector<uint8_t> zeros_at_14(128, 'Z');
    zeros_at_14[14] = zeros_at_14[15] = 0;
    std::vector<DiskFile> most(127, {"F", 0x01, 0, 1});
    const std::string on_3 = " on volume 3 on " + DRIVE_1;
    const std::string none = "Nothing was changed.\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string output;
    };
    // clang-format off
    const Case cases[] = {
        {{"PUT", "3", "new.tfi"}, 0, "NEW (PROGRAM, 4 sectors) from new.tfi put" + on_3 + ".\n1 file put; 1587 sectors free.\n"},
        {{"PUT", "3", "LOAD.tfi"}, 16, "slotpull failed: LOAD (from 'LOAD.tfi') is" + on_3 + " already; DEL it first.\n" + none},
        {{"PUT", "files.dsk", "new.tfi", "big.tfi"}, 16, "slotpull failed: BIG (from 'big.tfi') needs 709 sectors; the image file 'files.dsk' has 707 free.\n" + none},
        {{"PUT", "3", "junk.bin"}, 16, "slotpull failed: 'junk.bin' is not a TI file: neither a TIFILES file nor a descriptor record and its sectors.\n" + none},
        {{"PUT", "3", "cut.tfi"}, 16, "slotpull failed: 'cut.tfi' is not a whole TIFILES file: its header says 3 sectors, which it does not hold.\n" + none},
        {{"PUT", "3", "a.b.tfi"}, 16, "slotpull failed: 'a.b.tfi' gives no valid TI name, neither in its header nor as its file name (1 to 10 characters; no blank, '.' or control byte).\n" + none},
        {{"PUT", "4", "new.tfi"}, 16, "There is no TI disk in volume 4 on " + DRIVE_1 + ": it is empty.\n" + none},
        {{"PUT", "full.dsk", "new.tfi"}, 16, "slotpull failed: the index of the image file 'full.dsk' holds 127 files, all it can; NEW (from 'new.tfi') was not put.\n" + none},
        {{"PUT", "holes.dsk", "big.tfi"}, 16, "slotpull failed: the free sectors of the image file 'holes.dsk' lie in more than 76 runs, more than a file can take; BIG (from 'big.tfi') was not put.\n" + none},
        {{"PUT", "overlap.dsk", "new.tfi"}, 16, "slotpull failed: the disk in the image file 'overlap.dsk' is damaged, so it is not changed: sector 5 of OLD belongs to another file too.\n" + none},
        {{"PUT", "outside.dsk", "new.tfi"}, 16, "slotpull failed: the disk in the image file 'outside.dsk' is damaged, so it is not changed: index entry 3 points at sector 1008, outside the disk.\n" + none},
        {{"DEL", "unmarked.dsk", "OLD"}, 16, "slotpull failed: the disk in the image file 'unmarked.dsk' is damaged, so it is not changed: sector 6 of LOAD is not marked used.\n" + none},
        {{"PUT", "track.dsk", "new.tfi"}, 0, "NEW (PROGRAM, 4 sectors) from new.tfi put on the image file 'track.dsk'.\nThe image file 'track.dsk' was a track dump; it is saved as its sector dump.\n1 file put; 707 sectors free.\n"},
        {{"DEL", "3", "LOAD", "OLD"}, 0, "LOAD (PROGRAM, 3 sectors) deleted from volume 3 on " + DRIVE_1 + ".\nOLD (PROGRAM, 2 sectors) deleted from volume 3 on " + DRIVE_1 + ".\n2 files deleted; 1596 sectors free.\n"},
        {{"DEL", "3", "load"}, 16, "There is no file 'load'" + on_3 + "; did you mean LOAD?\n" + none},
        {{"DEL", "3", "OLD", "OLD"}, 16, "There is no file 'OLD'" + on_3 + ".\n" + none},
        {{"DEL", "3", "PROT"}, 16, "slotpull failed: PROT" + on_3 + " is protected, and the TI deletes no protected file.\n" + none},
        {{"PUT", "3"}, 1, "Too few arguments.\nUsage:    slotpush PUT <disk> <file>...\n"},
        {{"PUT", "nospace.dsk", "new.tfi"}, 8, "slotpull failed: the image file 'nospace.dsk': text of error 112\n"},
        {{"PUT", "files.dsk", "exact.tfi"}, 0, "ABCDEFGHIJ (PROGRAM, 711 sectors) from exact.tfi put on the image file 'files.dsk'.\n1 file put; 0 sectors free.\n"},
        {{"PUT", "files.dsk", "over.tfi"}, 16, "slotpull failed: OVER (from 'over.tfi') needs 712 sectors; the image file 'files.dsk' has 711 free.\n" + none},
        {{"PUT", "pieces.dsk", "seventy.tfi"}, 0, "SEVENTY (PROGRAM, 77 sectors) from seventy.tfi put on the image file 'pieces.dsk'.\n1 file put; 0 sectors free.\n"},
        {{"PUT", "files.dsk", "empty.tfi", "blank.tfi"}, 0, "EMPTY (PROGRAM, 1 sectors) from empty.tfi put on the image file 'files.dsk'.\nblank (PROGRAM, 2 sectors) from blank.tfi put on the image file 'files.dsk'.\n2 files put; 708 sectors free.\n"},
        {{"PUT", "files.dsk", "huge.tfi"}, 16, "slotpull failed: 'huge.tfi' is not a TI file: neither a TIFILES file nor a descriptor record and its sectors.\n" + none},
        {{"PUT", "files.dsk", "zeros.bin"}, 16, "slotpull failed: 'zeros.bin' is not a TI file: neither a TIFILES file nor a descriptor record and its sectors.\n" + none},
        {{"DEL", "ten.dsk", "ABCDEFGHIJ"}, 0, "ABCDEFGHIJ (PROGRAM, 2 sectors) deleted from the image file 'ten.dsk'.\n1 file deleted; 718 sectors free.\n"},
        {{"PUT", "at_1.dsk", "new.tfi"}, 16, "slotpull failed: the disk in the image file 'at_1.dsk' is damaged, so it is not changed: OLD: a run of its data lies outside the disk.\n" + none},
        {{"PUT", "backward.dsk", "new.tfi"}, 16, "slotpull failed: the disk in the image file 'backward.dsk' is damaged, so it is not changed: LOAD: the runs of its data chain go backwards.\n" + none},
        {{"PUT", "record_free.dsk", "new.tfi"}, 16, "slotpull failed: the disk in the image file 'record_free.dsk' is damaged, so it is not changed: sector 3 of OLD is not marked used.\n" + none},
        {{"PUT", "runs_far.dsk", "new.tfi"}, 16, "slotpull failed: the disk in the image file 'runs_far.dsk' is damaged, so it is not changed: OLD: a run of its data lies outside the disk.\n" + none},
        {{"DEL", "hole.dsk", "OLD"}, 16, "slotpull failed: the disk in the image file 'hole.dsk' is damaged, so it is not changed: index entry 2 is empty and entries follow it, which the TI never reads.\n" + none},
        {{"PUT", "index_far.dsk", "new.tfi"}, 16, "slotpull failed: the disk in the image file 'index_far.dsk' is damaged, so it is not changed: index entry 4 points at sector 800, outside the disk.\n" + none},
        {{"PUT", "3", "hello.txt", "--text"}, 0, "HELLO (DIS/VAR 80, 2 sectors) from hello.txt put" + on_3 + ".\n1 file put; 1589 sectors free.\n"},
        {{"PUT", "3", "prog.bas", "--basic", "--as", "GAME"}, 0, "GAME (PROGRAM, 2 sectors) from prog.bas put" + on_3 + ".\n1 file put; 1589 sectors free.\n"},
        {{"PUT", "3", "LOAD.tfi", "--force"}, 0, "LOAD (PROGRAM, 2 sectors) from LOAD.tfi put" + on_3 + ", in place of the file of that name.\n1 file put; 1592 sectors free.\n"},
        {{"PUT", "3", "PROT.tfi", "--force"}, 16, "slotpull failed: PROT" + on_3 + " is protected, and the TI deletes no protected file.\n" + none},
        {{"PUT", "3", "long.txt", "--text"}, 16, "slotpull failed: 'long.txt' line 2: it is 81 characters long; a DIS/VAR 80 record holds 80.\n" + none},
        {{"PUT", "3", "hello.txt", "--basic"}, 16, "slotpull failed: 'hello.txt' line 1: it does not start with its line number.\n" + none},
        {{"PUT", "3", "twice.bas", "--basic"}, 16, "slotpull failed: 'twice.bas' line 2: its line number is given twice.\n" + none},
        {{"PUT", "3", "hello.txt", "LOAD.tfi", "--as", "X"}, 1, "--as names one file; 2 are given.\n"},
        {{"PUT", "3", "hello.txt", "--as", "A.B"}, -1, "'A.B' is not a valid TI name (1 to 10 characters; no blank, '.' or control byte).\n"},
        {{"REN", "3", "OLD", "NEW"}, 0, "OLD (PROGRAM, 2 sectors)" + on_3 + " renamed NEW.\n1 file renamed; 1591 sectors free.\n"},
        {{"REN", "3", "OLD", "LOAD"}, 16, "slotpull failed: LOAD is" + on_3 + " already; DEL it first.\n" + none},
        {{"PROTECT", "3", "*O*"}, 0, "LOAD (PROGRAM, 3 sectors)" + on_3 + " protected.\nOLD (PROGRAM, 2 sectors)" + on_3 + " protected.\nPROT (PROGRAM, 2 sectors)" + on_3 + " protected.\n3 files protected; 1591 sectors free.\n"},
        {{"UNPROTECT", "3", "p*"}, 0, "PROT (PROGRAM, 2 sectors)" + on_3 + " unprotected.\n1 file unprotected; 1591 sectors free.\n"},
        {{"DEL", "3", "O*", "X*"}, 16, "No file" + on_3 + " matches 'X*'.\n" + none},
        {{"COPY", "ten.dsk", "3"}, 0, "ABCDEFGHIJ (PROGRAM, 2 sectors) copied from the image file 'ten.dsk' to volume 3 on " + DRIVE_1 + ".\n1 file copied; 1589 sectors free.\n"},
        {{"COPY", "3", "ten.dsk", "L*", "--force"}, 0, "LOAD (PROGRAM, 3 sectors) copied from volume 3 on " + DRIVE_1 + " to the image file 'ten.dsk'.\n1 file copied; 713 sectors free.\n"},
        {{"COPY", "3", "files.dsk"}, 16, "slotpull failed: LOAD is on the image file 'files.dsk' already; DEL it first.\n" + none},
        {{"COPY", "3", "3"}, -1, "slotpull failed: COPY takes its files from one disk onto another; volume 3 on " + DRIVE_1 + " is both.\n"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SetUp();
        fake::Machine& m = fake::machine();
        m.files[CHOICE_FILE] = drive_choice_bytes(1);
        for (const auto& [name, disk] : {std::pair{"overlap.dsk", overlap},
                                         {"outside.dsk", outside},
                                         {"unmarked.dsk", unmarked},
                                         {"holes.dsk", holes},
                                         {"full.dsk", disk_with_files(most)},
                                         {"track.dsk", track_dump_of(files)},
                                         {"at_1.dsk", at_1},
                                         {"backward.dsk", backward},
                                         {"record_free.dsk", record_free},
                                         {"runs_far.dsk", runs_far},
                                         {"index_far.dsk", index_far},
                                         {"pieces.dsk", pieces},
                                         {"hole.dsk", hole},
                                         {"ten.dsk", disk_with_files({{"ABCDEFGHIJ", 1, 0, 1}})}}) {
            m.files[name] = disk;
        }
        m.files["exact.tfi"] = tifiles_file("ABCDEFGHIJ", 0x01, 710);
        m.files["over.tfi"] = tifiles_file("OVER", 0x01, 711);
        m.files["seventy.tfi"] = tifiles_file("SEVENTY", 0x01, 76);
        m.files["empty.tfi"] = tifiles_file("EMPTY", 0x01, 0);
        m.files["blank.tfi"] = tifiles_file("", 0x01, 1);
        m.files["huge.tfi"] = tifiles_file("HUGE", 0x01, 1600);  // and one byte too many
        m.files["huge.tfi"].push_back(0);
        m.files["zeros.bin"] = zeros_at_14;
        m.files["files.dsk"] = m.files["nospace.dsk"] = files;
        m.files["new.tfi"] = tifiles_file("NEW", 0x01, 3);
        m.files["LOAD.tfi"] = tifiles_file("LOAD", 0x01, 1);
        m.files["big.tfi"] = tifiles_file("BIG", 0x01, 708);
        m.files["cut.tfi"] = tifiles_file("CUT", 0x01, 3);
        m.files["cut.tfi"].resize(128 + 256);
        m.files["a.b.tfi"] = tifiles_file(nullptr, 0x01, 1);
        m.files["junk.bin"] = std::vector<uint8_t>(300, 1);
        m.files["PROT.tfi"] = tifiles_file("PROT", 0x01, 1);
        const std::string text = "HELLO WORLD\r\n" + std::string(81, 'X');
        m.files["hello.txt"] = {text.begin(), text.begin() + 13};
        m.files["long.txt"] = {text.begin(), text.end()};
        for (const auto& [bas, listing] :
             {std::pair{"prog.bas", "10 PRINT A\n20 GOTO 10"}, {"twice.bas", "10 END\n10 END\n"}}) {
            m.files[bas] = {listing, listing + std::strlen(listing)};
        }
        if (c.args[0] == "PUT" && c.args[1] == "holes.dsk")
            m.files["big.tfi"] = tifiles_file("BIG", 0x01, 90);
        ASSERT_EQ(run_slotpush({"slotpush", "files.dsk", "3"}).status, 0);
        const auto card = m.drives[1].bytes(0, 8 * SLOT_BYTES);
        const auto image_files = m.files;
        std::vector<std::string> line = {"slotpush"};
        line.insert(line.end(), c.args.begin(), c.args.end());
        if (c.args[1] == "nospace.dsk")
            m.fail_function("WriteFile", m.count("WriteFile"), {ERROR_DISK_FULL, std::nullopt});
        const ToolRun run = run_slotpush(line);
        EXPECT_EQ(run.output, c.output) << c.args[1];
        EXPECT_EQ(run.status, c.status) << c.args[1];
        if (c.status != 0) {
            EXPECT_EQ(m.drives[1].bytes(0, 8 * SLOT_BYTES), card)
                << "a refused change writes nothing";
            EXPECT_EQ(m.files, image_files) << "a refused change writes nothing";
        } else if (c.args[1] == "track.dsk") {
            EXPECT_EQ(m.files["track.dsk"].size(), 720u * 256) << "saved as its sector dump";
        }
        TearDown();
    }
    // Put where the TI puts it: the record in the first free sector, the data from 34, the index
    // in name order; the new image flushed before it takes the old one's name.
    SetUp();
    fake::Machine& m = fake::machine();
    m.files["files.dsk"] = files;
    m.files["AAA.tfi"] = tifiles_file("AAA", 0x01, 1);
    ASSERT_EQ(run_slotpush({"slotpush", "PUT", "files.dsk", "AAA.tfi"}).status, 0);
    const std::vector<uint8_t>& put = m.files["files.dsk"];
    EXPECT_EQ(std::vector<uint8_t>(put.begin() + 256, put.begin() + 264),
              (std::vector<uint8_t>{0, 9, 0, 2, 0, 3, 0, 4}));
    EXPECT_EQ(put[9 * 256 + 28], 34);
    const auto at = [&](const char* function) {
        return std::find_if(m.log.begin(), m.log.end(),
                            [&](const fake::Call& call) { return call.function == function; });
    };
    EXPECT_LT(at("FlushFileBuffers"), at("replace_by_move"));
    EXPECT_NE(at("replace_by_move"), m.log.end());
}

// Text and listings put and taken back come back as they went, with the system's line ends (the
// fake machine's are Windows'); a program saved by the TI, listed and put back, is its own bytes.
TEST_F(FrontEnd, TextAndListingsComeBackAsTheyWent) {
    std::string lines;  // 300 records over many sectors, an empty one and one of 80 among them
    for (int i = 0; i < 300; ++i) lines += std::string(i % 81, char('A' + i % 26)) + "\r\n";
    const std::string listing =
        "10 REM A PROGRAM\r\n20 CALL CLEAR :: DIM A$(10)\r\n30 FOR I=1 TO 10 STEP 2\r\n"
        "40 PRINT \"SAY \"\"HI\"\"\";CHR$(65);SEG$(A$(I),1,2)\r\n50 IF I<>3 THEN 70 ELSE 80\r\n"
        "60 ON I GOTO 10,20,30 ! JUMP\r\n70 DATA 1,2.5E-3,HELLO THERE,\"Q\"\r\n"
        "80 OPEN #1:\"DSK1.X\",INPUT,FIXED 80\r\n90 GO TO 100\r\n100 NEXT I\r\n";
    const struct {
        const char* option;
        std::string pc;
        std::string back;
    } cases[] = {
        {"--text", lines, lines},
        {"--text", "ONE\nTWO\rTHREE\r\nFOUR", "ONE\r\nTWO\r\nTHREE\r\nFOUR\r\n"},
        {"--basic", listing, listing},
        {"--basic", "20  GOTO   10\n10 PRINT\"A\"", "10 PRINT \"A\"\r\n20 GOTO 10\r\n"},
    };
    for (const auto& c : cases) {
        SetUp();
        fake::Machine& m = fake::machine();
        m.files["disk.dsk"] = disk_with_files({});
        m.files["file.txt"] = {c.pc.begin(), c.pc.end()};
        ASSERT_EQ(run_slotpush({"slotpush", "PUT", "disk.dsk", "file.txt", c.option}).status, 0);
        ASSERT_EQ(run_slotpush({"slotpush", "GET", "disk.dsk", "FILE", "back", "--text"}).status,
                  0);
        EXPECT_EQ(std::string(m.files["back"].begin(), m.files["back"].end()), c.back) << c.pc;
        TearDown();
    }
    // 10 PRINT "HI" / 20 GOTO 10, as the TI saves it: the header, the table highest line first,
    // the lines.
    const std::vector<uint8_t> program = {
        0x00, 0x09, 0x37, 0xCA, 0x37, 0xC3, 0x37, 0xD7, 0x00, 0x14, 0x37, 0xCC, 0x00, 0x0A, 0x37,
        0xD2, 0x05, 0x86, 0xC9, 0x00, 0x0A, 0x00, 0x06, 0x9C, 0xC7, 0x02, 'H',  'I',  0x00};
    SetUp();
    fake::Machine& m = fake::machine();
    m.files["disk.dsk"] = disk_with_files({});
    std::vector<uint8_t> file = tifiles_file("HI", 0x01, 1);
    file[12] = static_cast<uint8_t>(program.size());  // the end-of-file offset
    std::copy(program.begin(), program.end(), file.begin() + 128);
    m.files["hi.tfi"] = file;
    ASSERT_EQ(run_slotpush({"slotpush", "PUT", "disk.dsk", "hi.tfi"}).status, 0);
    ASSERT_EQ(run_slotpush({"slotpush", "GET", "disk.dsk", "HI", "hi.bas", "--text"}).status, 0);
    EXPECT_EQ(std::string(m.files["hi.bas"].begin(), m.files["hi.bas"].end()),
              "10 PRINT \"HI\"\r\n20 GOTO 10\r\n");
    ASSERT_EQ(
        run_slotpush({"slotpush", "PUT", "disk.dsk", "hi.bas", "--basic", "--as", "BACK"}).status,
        0);
    ASSERT_EQ(run_slotpush({"slotpush", "GET", "disk.dsk", "BACK", "back.tfi"}).status, 0);
    const std::vector<uint8_t>& back = m.files["back.tfi"];
    ASSERT_EQ(back.size(), file.size());
    EXPECT_TRUE(std::equal(file.begin() + 8, file.begin() + 16, back.begin() + 8)) << "its fields";
    EXPECT_TRUE(std::equal(program.begin(), program.end(), back.begin() + 128)) << "its bytes";
}

TEST_F(FrontEnd, DirListsTheFilesADiskHoldsInTheOrderOfItsIndex) {
    // clang-format off
    const std::vector<DiskFile> every_type = {{"LOAD", 0x01, 0, 33}, {"README", 0x00, 80, 5}, {"NOTES", 0x80, 80, 4}, {"SCORES", 0x02, 128, 2}, {"LOG", 0x8A, 254, 3}};
    const std::string listing = " holds FILES: 1600 sectors, 1546 free.\nName        Size  Type\nLOAD          34  PROGRAM\n"
        "README         6  DIS/FIX 80\nNOTES          5  DIS/VAR 80\nSCORES         3  INT/FIX 128\nLOG            4  INT/VAR 254  P\n";
    // clang-format on
    const std::string count = "5 files, 52 sectors used.\n";
    // Index entries after the files: the index itself, past the end, at the end, a record
    // listed twice, a record whose name is not text, and one whose name is blank.
    std::vector<uint8_t> broken = disk_with_files(every_type);
    size_t entry = every_type.size();
    for (const uint16_t sector : {1, 2000, 1600, 2, 60, 61}) {
        broken[256 + 2 * entry] = static_cast<uint8_t>(sector >> 8);
        broken[256 + 2 * entry++ + 1] = static_cast<uint8_t>(sector);
    }
    std::memcpy(broken.data() + 60 * 256, "BAD\x01NAME  ", 10);
    std::memset(broken.data() + 61 * 256, ' ', 10);
    static const uint8_t FULL_TOTAL[] = {0xFF};
    std::vector<DiskFile> most(127, {"", 0x01, 0, 1});
    std::string most_listed = " holds FILES: 1600 sectors, 1344 free.\nName        Size  Type\n";
    std::vector<std::string> names;
    names.reserve(most.size());
    for (size_t i = 0; i < most.size(); ++i) {
        most[i].name = names.emplace_back("F" + std::to_string(1000 + i)).c_str();
    }
    for (const std::string& name : names) most_listed += name + "          2  PROGRAM\n";
    const std::string broken_lines =
        "(an index entry points at sector 1, the index itself)\n"
        "(an index entry points at sector 2000, past the disk's end)\n(an index entry points at "
        "sector 1600, past the disk's end)\n"
        "(an index entry points at sector 2 again)\nBAD?NAME    (sector 60: not a file's record, "
        "its name is not text)\n"
        "            (sector 61: not a file's record, its name is not text)\n";
    struct Case {
        std::string text;  // DIR's argument
        int status;
        std::string output;
    };
    // clang-format off
    const Case cases[] = {
        {"files.dsk", 0, "The image file 'files.dsk'" + listing + count},
        {"track.dsk", 0, "The image file 'track.dsk'" + listing + count},
        {"2", 0, "Volume 2 on " + DRIVE_1 + listing + count},
        {"broken.dsk", 32, "The image file 'broken.dsk'" + listing + broken_lines + count},
        {"3", -2, "Volume 3 on " + DRIVE_1 + ": (empty)\n"},
        {"5", 32, "Volume 5 on " + DRIVE_1 + " holds FILES: 65535" + listing.substr(listing.find(" sectors")) + broken_lines + count},
        {"9", -1, "slotpull failed: volume 9 is past the card's end; its last whole volume is 8.\n"},
        {"most.dsk", 0, "The image file 'most.dsk'" + most_listed + "127 files, 254 sectors used.\n"},
        {"4", -2, "Volume 4 on " + DRIVE_1 + ": (not a TI disk)\n"},
        {"none.dsk", -2, "slotpull failed: the image file 'none.dsk': text of error 2\n"},
        {"plain.dsk", -4, "Not a supported TI/99-4A format: 'plain.dsk' has no DSK signature.\n"},
        {"empty.dsk", 0, "The image file 'empty.dsk' holds FILES: 1600 sectors, 1598 free.\nName        Size  Type\n0 files, 0 sectors used.\n"},
        {"cut.dsk", 32, "The image file 'cut.dsk' holds FILES: 1600 sectors, 1594 free.\nName        Size  Type\nGO             2  PROGRAM      P\nAFTER          2  DIS/FIX 80  (past an empty index entry)\n2 files, 4 sectors used.\n"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SetUp();
        fake::Machine& m = fake::machine();
        m.files[CHOICE_FILE] = drive_choice_bytes(1);
        m.files["files.dsk"] = disk_with_files(every_type);
        m.files["track.dsk"] = track_dump_of(m.files["files.dsk"]);
        m.files["broken.dsk"] = broken;
        m.files["most.dsk"] = disk_with_files(most);
        ASSERT_EQ(run_slotpush({"slotpush", "broken.dsk", "5"}).status, 0);
        m.drives[1].write(4 * uint64_t{SLOT_BYTES} + 2 * 10, FULL_TOTAL, 1);  // 65535 sectors
        m.drives[1].write(4 * uint64_t{SLOT_BYTES} + 2 * 11, FULL_TOTAL, 1);
        m.files["plain.dsk"] = std::vector<uint8_t>(256, 'x');
        m.files["empty.dsk"] = disk_with_files({});
        // A protected program, then a hole in the index: the entry after it is listed, marked.
        m.files["cut.dsk"] = disk_with_files({{"GO", 0x09, 0, 1}, {"AFTER", 0x00, 80, 1}});
        std::swap(m.files["cut.dsk"][256 + 2], m.files["cut.dsk"][256 + 4]);
        std::swap(m.files["cut.dsk"][256 + 3], m.files["cut.dsk"][256 + 5]);
        ASSERT_EQ(run_slotpush({"slotpush", "files.dsk", "2"}).status, 0);
        m.drives[1].write(3 * uint64_t{SLOT_BYTES} + 8, NO_SIGNATURE, 1);  // volume 4
        m.log.clear();
        const ToolRun outcome = run_slotpush({"slotpush", "DIR", c.text});
        EXPECT_EQ(outcome.status, c.status) << c.text;
        EXPECT_EQ(outcome.output, c.output) << c.text;
        const bool volume = c.text.size() == 1;  // volume 9, past the card's end, is not read
        EXPECT_EQ(m.count("CreateFileA", "\\\\.\\PHYSICALDRIVE"), volume ? 1u : 0u)
            << "one open of the card for a volume, none for a file, " << c.text;
        EXPECT_EQ(m.count("ReadFile", "\\\\.\\PHYSICALDRIVE"), volume && c.text != "9" ? 1u : 0u)
            << c.text;
        TearDown();
    }
}

// Where in the log the first call of function on target stands; the log's size when none.
size_t position_of(const std::string& function, const std::string& target, uint64_t code = 0) {
    const auto& log = fake::machine().log;
    const auto found = std::find_if(log.begin(), log.end(), [&](const fake::Call& call) {
        return call.function == function && call.target == target &&
               (code == 0 || call.args[0] == code);
    });
    return static_cast<size_t>(found - log.begin());
}

TEST_F(FrontEnd, AWriteLocksTheCardsVolumesAroundItAndStopsWhereOneCannotBe) {
    constexpr uint64_t CARD = 160 * uint64_t{SLOT_BYTES};
    const auto fat_at = [](uint64_t sector, int drive, bool in_use = false) {
        return fake::MountedVolume{drive, sector * 512, CARD - sector * 512, in_use};
    };
    fake::MountedVolume spanning = fat_at(2048, 1);
    spanning.first_extent_on = 0;
    const auto refused = [](char letter, int drive = 1) {
        return std::string("slotpull failed: Volume ") + letter + ": on " + drive_path(drive) +
               " could not be locked: text of error 5\n";
    };
    struct Case {
        const char* name;
        DWORD nt_major;  // from 6 on, Windows refuses raw writes into a mounted volume
        int stored_drive;
        std::map<char, fake::MountedVolume> volumes;
        int status;
        std::string output;  // of a refusal
    };
    // clang-format off
    const Case cases[] = {
        {"FAT from sector 2048", 10, 1, {{'E', fat_at(2048, 1)}, {'C', fat_at(63, 0, true)}}, 0,
         ""},
        {"FAT from sector 63", 10, 1, {{'F', fat_at(63, 1)}}, 0, ""},
        {"a volume over two disks, its second part on the card", 10, 1, {{'E', spanning}}, 0, ""},
        {"the card's volume in use", 10, 1, {{'E', fat_at(2048, 1, true)}}, -3, refused('E')},
        {"stored drive 0 holds the system", 10, 0, {{'C', fat_at(63, 0, true)}}, -3, refused('C', 0)},
        {"NT 4 cannot say where its volumes are", 4, 1, {{'E', fat_at(2048, 1)}}, 0, ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        for (const uint32_t volume : {1u, 2u, 100u}) {
            SetUp();
            fake::Machine& m = fake::machine();
            set_windows(VER_PLATFORM_WIN32_NT, c.nt_major);
            for (const int drive : {0, 1}) add_drive(drive, CARD);
            m.mounted_volumes = c.volumes;
            m.files[CHOICE_FILE] = drive_choice_bytes(c.stored_drive);
            const std::string what = std::string(c.name) + ", volume " + std::to_string(volume);

            const ToolRun outcome = run_slotpush({"slotpush", "disk.dsk", std::to_string(volume)});
            EXPECT_EQ(outcome.status, c.status) << what;
            EXPECT_EQ(outcome.output, c.status == 0 ? wrote(volume, DRIVE_1) : c.output) << what;
            const auto written = m.drives[c.stored_drive].written_range();
            const uint64_t slot = (volume - 1) * uint64_t{SLOT_BYTES};
            if (c.status == 0) {
                ASSERT_TRUE(written) << what;
                EXPECT_EQ(*written, std::make_pair(slot, slot + SLOT_BYTES - 1)) << what;
            } else {
                EXPECT_FALSE(written) << what << ": nothing written";
                EXPECT_EQ(m.count("Sleep"), 19u) << what << ": the lock was asked for a while";
            }
            for (const auto& [letter, v] : m.mounted_volumes) {
                EXPECT_TRUE(v.mounted && !v.locked) << what << ", " << letter << ": released";
            }
            if (c.status != 0 || c.nt_major < 6) {
                TearDown();
                continue;
            }
            // Locked and dismounted before the write; the layout re-read before the release.
            const std::string card_volume =
                std::string("\\\\.\\") + c.volumes.rbegin()->first + ":";
            const std::string disk = "\\\\.\\PHYSICALDRIVE1";
            const size_t steps[] = {
                position_of("DeviceIoControl", card_volume, FSCTL_LOCK_VOLUME),
                position_of("DeviceIoControl", card_volume, FSCTL_DISMOUNT_VOLUME),
                position_of("WriteFile", disk),
                position_of("DeviceIoControl", disk, IOCTL_DISK_UPDATE_PROPERTIES),
                position_of("CloseHandle", card_volume)};
            EXPECT_TRUE(std::is_sorted(std::begin(steps), std::end(steps)) &&
                        steps[4] < m.log.size())
                << what;
            TearDown();
        }
    }
}

}  // namespace

// Every change of the card is kept before it is written; UNDO takes them back in turn, last
// first, each leaving the card as it was before it, byte for byte, and the store within bounds.
TEST_F(FrontEnd, UndoTakesEveryChangeBackInTurnLastFirst) {
    fake::Machine& m = fake::machine();
    m.files[CHOICE_FILE] = drive_choice_bytes(1);
    m.files["files.dsk"] = disk_with_files({{"LOAD", 0x01, 0, 2}});
    m.files["code.tfi"] = tifiles_file("CODE", 0x01, 1);
    m.files["notes.txt"] = {'H', 'I', '\n'};
    ASSERT_EQ(run_slotpush({"slotpush", "--no-undo", "files.dsk", "7"}).status, 0);
    ASSERT_EQ(run_slotpush({"slotpush", "FLASH", "7-", "backup"}).status, 0);
    const std::vector<std::vector<std::string>> changes = {
        {"files.dsk", "3"},         {"disk.dsk", "files.dsk", "5"},
        {"PUT", "3", "code.tfi"},   {"PUT", "--text", "3", "notes.txt"},
        {"COPY", "3", "6", "CODE"}, {"REN", "6", "CODE", "PROG"},
        {"PROTECT", "6", "PROG"},   {"UNPROTECT", "6", "PROG"},
        {"DEL", "6", "PROG"},       {"NAME", "6", "NEW"},
        {"FORMAT", "4", "F"},       {"CLEAR", "6"},
        {"RESTORE", "backup"},
    };
    std::vector<std::vector<uint8_t>> before;
    for (const std::vector<std::string>& change : changes) {
        before.push_back(m.drives[1].bytes(0, 8 * SLOT_BYTES));
        std::vector<std::string> line = {"slotpush"};
        line.insert(line.end(), change.begin(), change.end());
        const ToolRun run = run_slotpush(line);
        ASSERT_EQ(run.status, 0) << change[0] << ": " << run.output;
    }
    EXPECT_EQ(run_slotpush({"slotpush", "UNDO", "LIST"}).output.substr(0, 80),
              "2026-12-10 16:45:12  " + DRIVE_1 + "  volume 7  832152 bytes  RESTORE backup\n");
    for (size_t i = changes.size(); i-- > 0;) {
        const ToolRun undone = run_slotpush({"slotpush", "UNDO"});
        EXPECT_EQ(undone.status, 0) << changes[i][0] << ": " << undone.output;
        EXPECT_EQ(m.drives[1].bytes(0, 8 * SLOT_BYTES), before[i]) << "UNDO of " << changes[i][0];
    }
    EXPECT_EQ(run_slotpush({"slotpush", "UNDO"}).output,
              "Nothing is kept for UNDO of " + DRIVE_1 + ".\n");
    for (int i = 0; i < 25; ++i) run_slotpush({"slotpush", "NAME", "7", "N" + std::to_string(i)});
    EXPECT_EQ(std::count_if(m.files.begin(), m.files.end(),
                            [](const auto& file) { return file.first.starts_with("state/"); }),
              20);
}

// UNDO writes nothing where a volume has changed since the change it would take back, by any
// hand, or where nothing is kept for the card; a change too large to keep is refused unwritten.
TEST_F(FrontEnd, UndoRefusesWhatItCannotTakeBackWhole) {
    fake::Machine& m = fake::machine();
    m.files[CHOICE_FILE] = drive_choice_bytes(1);
    m.files["files.dsk"] = disk_with_files({{"LOAD", 0x01, 0, 2}});
    m.files["card.img"] = std::vector<uint8_t>(2 * SLOT_BYTES);
    const std::string changed = "Volume 3 on " + DRIVE_1 +
                                " has changed since files.dsk 3 (2026-12-10 16:45:12) was kept; "
                                "UNDO puts nothing back.\nNothing was changed.\n";
    const uint8_t other = 0x33;
    const std::function<void()> behind_its_back[] = {
        [&] { m.drives[1].write(2 * uint64_t{SLOT_BYTES} + 700, &other, 1); },
        [&] {
            run_slotpush({"slotpush", "--no-undo", "NAME", "3", "LATER"});
        },
    };
    std::vector<uint8_t> card_before;
    for (const std::function<void()>& change : behind_its_back) {
        ASSERT_EQ(run_slotpush({"slotpush", "files.dsk", "3"}).status, 0);
        change();
        const std::vector<uint8_t> card = m.drives[1].bytes(0, 8 * SLOT_BYTES);
        card_before = card;
        EXPECT_EQ(run_slotpush({"slotpush", "UNDO"}).output, changed);
        EXPECT_EQ(run_slotpush({"slotpush", "--card", "card.img", "UNDO"}).output,
                  "Nothing is kept for UNDO of card.img.\n");
        EXPECT_EQ(m.drives[1].bytes(0, 8 * SLOT_BYTES), card);
        m.files.erase("state/00000001.undo");
    }
    m.state_folder.clear();  // no folder for the store: a change kept is refused unwritten
    EXPECT_EQ(run_slotpush({"slotpush", "NAME", "3", "X"}).output,
              "UNDO has no folder to keep changes in: the system names none for this user (on "
              "Linux, no HOME is set).\n--no-undo makes a change without it.\n");
    EXPECT_EQ(m.drives[1].bytes(0, 8 * SLOT_BYTES), card_before);
    m.state_folder = "state";
    // 82 volumes: onto empty ones almost nothing is kept; over a pattern, more than 64 MiB.
    add_drive(1, 90 * uint64_t{SLOT_BYTES}, 0);
    std::vector<std::string> many = {"slotpush"};
    for (int i = 0; i < 82; ++i) many.push_back("disk.dsk");
    many.push_back("1");
    EXPECT_EQ(run_slotpush(many).status, 0);
    EXPECT_TRUE(run_slotpush({"slotpush", "UNDO", "LIST"}).output.ends_with(" disk.dsk ...\n"));
    std::vector<uint8_t> pattern(SLOT_BYTES);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 7 % 251);
    for (uint64_t slot = 0; slot < 82; ++slot) {
        m.drives[1].write(slot * SLOT_BYTES, pattern.data(), pattern.size());
    }
    const std::vector<uint8_t> card = m.drives[1].bytes(0, 90 * SLOT_BYTES);
    EXPECT_EQ(run_slotpush(many).output,
              "This change replaces 67174400 bytes of " + DRIVE_1 +
                  "; UNDO keeps at most 67108864 (64 MiB).\n--no-undo makes it without a way "
                  "back.\nNo volume was written (1 to 82).\nNothing was changed.\n");
    EXPECT_EQ(m.drives[1].bytes(0, 90 * SLOT_BYTES), card);
}
