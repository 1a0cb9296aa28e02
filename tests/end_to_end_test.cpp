// The real program on Linux, built to find its disks under a directory of ordinary files.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "slotpush.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const fs::path ROOT = TEST_DEVICE_ROOT;

struct ToolRun {
    int status;
    std::string output;
};

constexpr int SETUID_REFUSED = 122;

// Becomes user, keeping of root's rights only the one to look into folders, across the exec
// too: the build tree may lie in a folder only root may enter. The right to write is the
// user's own. False where the system refuses.
bool become(uid_t user) {
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    data[0].effective = data[0].permitted = data[0].inheritable = 1u << CAP_DAC_READ_SEARCH;
    return prctl(PR_SET_KEEPCAPS, 1) == 0 && setgroups(0, nullptr) == 0 && setgid(user) == 0 &&
           setuid(user) == 0 && syscall(SYS_capset, &header, data) == 0 &&
           prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_DAC_READ_SEARCH, 0, 0) == 0;
}

// Runs the tool in dir as "<name> <args>", with input on its standard input, as user (and that
// user's own group) when one is named.
ToolRun run_tool(const fs::path& dir, const std::vector<std::string>& args,
                 const std::string& input = "", const std::string& name = "./slotpush",
                 uid_t user = 0, const char* output_to = nullptr) {
    int out[2];
    int in[2];
    if (pipe(out) != 0 || pipe(in) != 0) return {-1000, "pipe failed"};
    const pid_t child = fork();
    if (child == 0) {
        dup2(in[0], 0);
        dup2(output_to != nullptr ? open(output_to, O_WRONLY) : out[1], 1);
        close(in[1]);
        close(out[0]);
        if (chdir(dir.c_str()) != 0) _exit(120);
        alarm(5);  // a run that hangs ends, and its row fails
        setenv("XDG_STATE_HOME", (ROOT / "state").c_str(), 1);  // UNDO's store, not the user's
        umask(022);
        if (user != 0 && !become(user)) _exit(SETUID_REFUSED);
        std::vector<std::string> words = {name};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        execv(TOOL_PATH, argv.data());
        _exit(121);
    }
    close(in[0]);
    close(out[1]);
    if (!input.empty() && write(in[1], input.data(), input.size()) < 0) input.size();
    close(in[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) output.append(buffer, got);
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1000, output};
}

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A 360-sector dump: "DSK", a total of 360 and a full bitmap in sector 0, a pattern elsewhere.
Bytes sector_dump() {
    Bytes dump(92160);
    for (size_t i = 0; i < dump.size(); ++i) dump[i] = static_cast<uint8_t>(i * 7 % 251);
    dump[10] = 0x01;
    dump[11] = 0x68;
    std::copy_n("DSK", 3, dump.begin() + 13);
    std::fill(dump.begin() + 56, dump.begin() + 256, 0xFF);
    return dump;
}

// What the card holds for that dump: 1600 sectors, sectors 360 on free, 0xE5 past the file.
Bytes normalised(Bytes dump) {
    dump.resize(IMAGE_BYTES, FILL_BYTE);
    dump[10] = 0x06;
    dump[11] = 0x40;
    std::fill(dump.begin() + 101, dump.begin() + 256, 0x00);
    return dump;
}

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(ROOT);
        fs::create_directories(ROOT / "dev");
        work = ROOT / "work";
        fs::create_directories(work);
        // One fixed disk and two removable ones, as the kernel describes them.
        add_disk("sda", false, 250069680);
        add_disk("sdb", true, 3911680);
        add_disk("sdc", true, 1953125);
        // What they say they are (a USB reader, an MMC card), and sdc's partition mounted.
        std::ofstream(ROOT / "sys/block/sdb/device/vendor") << "Generic \n";
        std::ofstream(ROOT / "sys/block/sdb/device/model") << "CF Reader       \n";
        std::ofstream(ROOT / "sys/block/sdc/device/name") << "SD16G\n";
        fs::create_directories(ROOT / "sys/block/sdc/sdc1");
        std::ofstream(ROOT / "sys/block/sdc/sdc1/partition") << "1\n";
        std::ofstream(ROOT / "sys/block/sdc/sdc1/dev") << "179:1\n";
        fs::create_directories(ROOT / "proc/self");
        std::ofstream(ROOT / "proc/self/mountinfo") << "36 22 179:1 / /media/card rw - vfat x rw\n";
        disk = ROOT / "dev/sda";
        write_file(work / "disk.dsk", sector_dump());
        store_drive(0);
    }
    void add_disk(const std::string& name, bool removable, uint64_t sectors) {
        const fs::path block = ROOT / "sys/block" / name;
        fs::create_directories(block / "device");
        std::ofstream(block / "removable") << (removable ? "1\n" : "0\n");
        std::ofstream(block / "size") << sectors << "\n";
        Bytes pattern(DISK_BYTES);
        for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i / 512 + i);
        write_file(ROOT / "dev" / name, pattern);
    }
    void store_drive(int32_t drive) {
        const auto v = static_cast<uint32_t>(drive);
        write_file(work / "slotpCFG",
                   {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)});
    }

    static constexpr size_t DISK_BYTES = 4 * SLOT_BYTES;
    fs::path work;
    fs::path disk;
};

TEST_F(EndToEnd, WritingAVolumeChangesOnlyItsSlotAndReadsBackByteForByte) {
    const Bytes image = normalised(sector_dump());
    const Bytes original = read_file(disk);
    for (const int volume : {1, 2, 4}) {
        const Bytes before = read_file(disk);
        const ToolRun written = run_tool(work, {"disk.dsk", std::to_string(volume)});
        EXPECT_EQ(written.status, 0) << volume;
        const std::string volume_on = "Volume " + std::to_string(volume) + " on /dev/sda ";
        EXPECT_EQ(written.output, volume_on +
                                      "held something that is not a TI disk; it now holds "
                                      "?????#*18?.\nslotpull succeeded.\n");

        const Bytes after = read_file(disk);
        ASSERT_EQ(after.size(), before.size()) << "the disk does not grow";
        const size_t start = (volume - 1) * SLOT_BYTES;
        EXPECT_TRUE(std::equal(after.begin(), after.begin() + start, before.begin()));
        EXPECT_TRUE(std::equal(after.begin() + start + SLOT_BYTES, after.end(),
                               before.begin() + start + SLOT_BYTES));
        for (size_t k = 0; k < IMAGE_BYTES; ++k) {
            ASSERT_EQ(after[start + 2 * k], image[k]) << "volume " << volume << " byte " << k;
            ASSERT_EQ(after[start + 2 * k + 1], FILL_BYTE) << "volume " << volume;
        }

        const ToolRun back = run_tool(work, {"FLASH", std::to_string(volume)});
        EXPECT_EQ(back.status, 0);
        EXPECT_EQ(back.output, volume_on + "(?????#*18?) saved as FLASH.\nslotpull succeeded.\n");
        EXPECT_EQ(read_file(work / "FLASH"), image) << volume;
    }
    // Taken back, last first, from the store of the user's state; the work folder holds no
    // record, and the store none once all are taken back.
    const size_t work_files = std::distance(fs::directory_iterator(work), {});
    for (const int volume : {4, 2, 1}) {
        EXPECT_EQ(run_tool(work, {"UNDO"}).status, 0) << volume;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(work), {}), work_files);
    EXPECT_TRUE(fs::is_empty(ROOT / "state/slotpush"));
    EXPECT_EQ(read_file(disk), original);
}

TEST_F(EndToEnd, BadInputsEndWithAClearReasonAndWriteNothing) {
    const Bytes disks_before[] = {read_file(ROOT / "dev/sda"), read_file(ROOT / "dev/sdb"),
                                  read_file(ROOT / "dev/sdc")};
    Bytes looks_like_track_dump(23, 0);
    looks_like_track_dump[22] = 0xFE;
    const std::pair<const char*, Bytes> images[] = {
        {"empty.dsk", {}},
        {"one.dsk", {0x44}},
        {"22.dsk", Bytes(22, 0)},
        {"23.dsk", looks_like_track_dump},
        {"big.dsk", Bytes(IMAGE_BYTES + 1, 0)},
        {"plain.dsk", Bytes(IMAGE_BYTES, 0x20)},
    };
    for (const auto& [name, bytes] : images) write_file(work / name, bytes);
    // A sparse file whose length has a low part of 0xFFFFFFFF: a position, not a failure.
    write_file(work / "4gib.dsk", {});
    fs::resize_file(work / "4gib.dsk", 0xFFFFFFFFull);
    fs::create_directories(work / "folder.dsk");
    ASSERT_EQ(mkfifo((work / "pipe").c_str(), 0600), 0) << "a pipe no program has opened";
    const std::string sda = (ROOT / "dev/sda").string();
    fs::create_symlink(sda, work / "alias.img");
    // A TI disk of 360 sectors with room, a file for it, and the disk under other names: a link
    // (changed through it), a second name (refused), and a copy only to be read; a leftover of
    // an earlier run beside it blocks nothing.
    Bytes ti(92160);
    std::copy_n(
        "TI        \x01\x68\x09"
        "DSK",
        16, ti.begin());
    ti[56] = 0x03;
    write_file(work / "ti.dsk", ti);
    Bytes hello(128 + 256, 'H');
    std::copy_n("\x07TIFILES\x00\x01\x01\x00\x00\x00\x00\x00HELLO     ", 26, hello.begin());
    std::fill(hello.begin() + 26, hello.begin() + 128, 0);
    write_file(work / "HELLO.tfi", hello);
    fs::create_symlink("ti.dsk", work / "link.dsk");
    write_file(work / "ro.dsk", ti);
    fs::permissions(work / "ro.dsk", fs::perms(0444));
    write_file(work / "two.dsk", ti);
    fs::create_hard_link(work / "two.dsk", work / "twin.dsk");
    write_file(work / "ti.dsk.slotpush-old", {1});

    const Bytes usage_bytes = read_file(USAGE_FILE);
    const std::string usage(usage_bytes.begin(), usage_bytes.end());
    const auto unsupported = [](const std::string& file) {
        return "Not a supported TI/99-4A format: '" + file + "' has no DSK signature.\n";
    };
    const std::string no_choice =
        "List of All Possible Flash Drives\n---------------------------------\n\n"
        " 1) /dev/sdb 1gb  Generic CF Reader\n 2) /dev/sdc 995mb  SD16G  mounted on /media/card\n"
        "\n\nSelect drive (1-2) or press ENTER to exit: Invalid selection\n";
    const std::string past_end = "past the card's end; its last whole volume is 4.\n";
    const auto invalid = [](const std::string& v) {
        return "The value '" + v + "' is an invalid volume number.\n";
    };
    struct Case {
        std::vector<std::string> args;
        std::optional<Bytes> choice_file;  // none: a directory stands in its place, unread
        int status;
        std::string output;
    };
    const Bytes drive_0 = {0, 0, 0, 0};
    const Case cases[] = {
        {{"disk.dsk"}, drive_0, 1, usage},
        {{"missing.dsk", "1"},
         drive_0,
         254,
         "slotpull failed: the image file 'missing.dsk': No such file or directory\n"},
        {{"folder.dsk", "1"},
         drive_0,
         254,
         "slotpull failed: the image file 'folder.dsk': Is a directory\n"},
        {{"empty.dsk", "1"}, drive_0, 252, unsupported("empty.dsk")},
        {{"one.dsk", "1"}, drive_0, 252, unsupported("one.dsk")},
        {{"22.dsk", "1"}, drive_0, 252, unsupported("22.dsk")},
        {{"23.dsk", "1"}, drive_0, 252, unsupported("23.dsk")},
        {{"plain.dsk", "1"}, drive_0, 252, unsupported("plain.dsk")},
        {{"big.dsk", "1"},
         drive_0,
         251,
         "The image file 'big.dsk' holds 409601 bytes; a disk image holds at most 409600 bytes.\n"},
        {{"4gib.dsk", "1"},
         drive_0,
         251,
         "The image file '4gib.dsk' holds 4294967295 bytes; a disk image holds at most 409600 "
         "bytes.\n"},
        {{"disk.dsk", "4294967296"}, drive_0, 255, invalid("4294967296")},
        {{"disk.dsk", "99999999999999999999"}, drive_0, 255, invalid("99999999999999999999")},
        {{"disk.dsk", "5a"}, drive_0, 255, invalid("5a")},
        {{"disk.dsk", "-5"}, drive_0, 255, invalid("-5")},
        {{"LIST", "0"}, drive_0, 255, "The value '0' is an invalid volume range.\n"},
        {{"LIST", "3-2"}, drive_0, 255, "The value '3-2' is an invalid volume range.\n"},
        {{"LIST", "1-x"}, drive_0, 255, "The value '1-x' is an invalid volume range.\n"},
        {{"LIST", "2x"}, drive_0, 255, "The value '2x' is an invalid volume range.\n"},
        {{"LIST", "2-3x"}, drive_0, 255, "The value '2-3x' is an invalid volume range.\n"},
        {{"LIST", "5"},
         drive_0,
         255,
         "Volume 5 is past the card's end; its last whole volume is 4.\n"},
        {{"disk.dsk", " 5"}, drive_0, 255, invalid(" 5")},
        {{"disk.dsk", "+5"}, drive_0, 255, invalid("+5")},
        {{"disk.dsk", "5"}, drive_0, 255, "slotpull failed: volume 5 is " + past_end},
        {{"FLASH", "5"}, drive_0, 255, "slotpull failed: volume 5 is " + past_end},
        // clang-format off
        {{"--card", "nosuch.img", "LIST", "1"}, std::nullopt, 255, "slotpull failed: nosuch.img: No such file or directory\n"},
        {{"--card", "folder.dsk", "disk.dsk", "1"}, std::nullopt, 255, "slotpull failed: folder.dsk: Is a directory\n"},
        {{"--card", "/dev/null", "disk.dsk", "1"}, std::nullopt, 255, "slotpull failed: /dev/null is neither a disk nor a file.\n"},
        {{"--card", "pipe", "LIST", "1"}, std::nullopt, 255, "slotpull failed: pipe is neither a disk nor a file.\n"},
        {{"LIST", "1", "--card=/dev/stdin"}, std::nullopt, 255, "slotpull failed: /dev/stdin is neither a disk nor a file.\n"},
        {{"--card", sda, "FLASH", "1", "/dev/stdout"}, std::nullopt, 4, "slotpull failed: the output file '/dev/stdout' is a device, not a file; nothing was written.\n"},
        {{"--card", sda, "FLASH", "1", "alias.img"}, std::nullopt, 4, "slotpull failed: the output file 'alias.img' is the card itself; nothing was written.\n"},
        {{"--card", sda, "FLASH", "1", ""}, std::nullopt, 4, "slotpull failed: the output file '': No such file or directory\n"},
        {{"PUT", "ro.dsk", "HELLO.tfi"}, drive_0, 4, "slotpull failed: the image file 'ro.dsk' may only be read; nothing was written.\n"},
        {{"PUT", "two.dsk", "HELLO.tfi"}, drive_0, 4, "slotpull failed: the image file 'two.dsk' is one file under 2 names (hard links), which a new file would part; nothing was written.\n"},
        {{"GET", "ti.dsk", "X", "x"}, drive_0, 254, "There is no file 'X' on the image file 'ti.dsk'.\n"},
        {{"PUT", "link.dsk", "pipe"}, drive_0, 254, "slotpull failed: the file 'pipe': Illegal seek\n"},
        {{"PUT", "link.dsk", "HELLO.tfi"}, drive_0, 0, "HELLO (PROGRAM, 2 sectors) from HELLO.tfi put on the image file 'link.dsk'.\n1 file put; 356 sectors free.\n"},
        {{"GET", "ti.dsk", "HELLO", "link.dsk", "--force"}, drive_0, 4, "slotpull failed: the output file 'link.dsk' is the disk being read; nothing was written.\n"},
        // clang-format on
        {{"disk.dsk", "1"}, Bytes{}, 255, no_choice},
        {{"disk.dsk", "1"}, Bytes{0}, 255, no_choice},
        {{"disk.dsk", "1"}, Bytes{0, 0, 0}, 255, no_choice},
        {{"disk.dsk", "1"}, std::nullopt, 255, no_choice},
        {{"disk.dsk", "1"},
         Bytes{3, 0, 0, 0},
         247,
         "slotpull failed: \\\\.\\PHYSICALDRIVE3: it did not open for writing: No such file or "
         "directory\n"},
        {{"disk.dsk", "1"},
         Bytes{3, 0, 0, 0, 0, 0, 0, 0},
         247,
         "slotpull failed: \\\\.\\PHYSICALDRIVE3: it did not open for writing: No such file or "
         "directory\n"},
    };
    for (const Case& c : cases) {
        fs::remove_all(work / "slotpCFG");
        if (c.choice_file) {
            write_file(work / "slotpCFG", *c.choice_file);
        } else {
            fs::create_directories(work / "slotpCFG");
        }
        const ToolRun run = run_tool(work, c.args);
        const std::string what = c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : "");
        EXPECT_EQ(run.status, c.status) << what;
        EXPECT_EQ(run.output, c.output) << what;
    }
    EXPECT_EQ(read_file(ROOT / "dev/sda"), disks_before[0]);
    EXPECT_EQ(read_file(ROOT / "dev/sdb"), disks_before[1]);
    EXPECT_EQ(read_file(ROOT / "dev/sdc"), disks_before[2]);
    EXPECT_FALSE(fs::exists(work / "FLASH")) << "a failed read-back saves nothing";
    EXPECT_TRUE(fs::is_symlink(work / "link.dsk")) << "a link stays a link";
    EXPECT_EQ(read_file(work / "ti.dsk").size(), 92160u);
    EXPECT_NE(read_file(work / "ti.dsk"), ti) << "the file it names holds the change";
    EXPECT_EQ(read_file(work / "ti.dsk.slotpush-old"), Bytes{1}) << "another run's file is kept";
    EXPECT_EQ(read_file(work / "ro.dsk"), ti);
    EXPECT_EQ(read_file(work / "two.dsk"), ti);
    // Output that cannot be written fails the run.
    const ToolRun full = run_tool(work, {"DIR", "ti.dsk"}, "", "./slotpush", 0, "/dev/full");
    EXPECT_EQ(full.status, STATUS_OUTPUT_LOST);

    // A read-back whose FLASH file cannot be created: a directory holds the name.
    store_drive(0);
    fs::create_directories(work / "FLASH");
    const ToolRun blocked = run_tool(work, {"FLASH", "1"});
    EXPECT_EQ(blocked.status, 4);
    EXPECT_EQ(blocked.output, "slotpull failed: the output file 'FLASH': Is a directory\n");
}

TEST_F(EndToEnd, StartedThroughPathItUsesTheChoiceFileBesideTheProgram) {
    const fs::path beside = fs::path(TOOL_PATH).parent_path() / "slotpCFG";
    const fs::path folder = ROOT / "elsewhere";
    fs::create_directories(folder);
    write_file(beside, {0, 0, 0, 0});
    const ToolRun run = run_tool(folder, {(work / "disk.dsk").string(), "1"}, "", "slotpush");
    fs::remove(beside);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.output.ends_with("\nslotpull succeeded.\n"))
        << "drive 0, from the file beside the program";
    EXPECT_TRUE(fs::is_empty(folder)) << "nothing is created where the user works";
}

TEST_F(EndToEnd, AnUnprivilegedUserCreatesReadableFilesAndCannotWriteADisk) {
    constexpr uid_t NOBODY = 65534;
    fs::permissions(work, fs::perms::all);
    fs::create_directories(ROOT / "state");
    fs::permissions(ROOT / "state", fs::perms::all);  // the user's own store, as in a home
    fs::remove(work / "slotpCFG");
    const ToolRun asked = run_tool(work, {"disk.dsk", "1"}, "\n", "./slotpush", NOBODY);
    if (asked.status == SETUID_REFUSED) GTEST_SKIP() << "this system refuses to run as nobody";
    EXPECT_EQ(asked.status, 255) << "no disk it may write is listed";
    EXPECT_TRUE(asked.output.ends_with(
        "** None **\nDisks can be opened only by root: run slotpush with sudo.\n"))
        << asked.output;
    EXPECT_FALSE(fs::exists(work / "slotpCFG")) << "a missing drive-choice file is not created";
    const auto readable = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                          fs::perms::others_read;
    store_drive(0);
    EXPECT_EQ(run_tool(work, {"FLASH", "1"}, "", "./slotpush", NOBODY).status, 0);
    EXPECT_EQ(fs::status(work / "FLASH").permissions(), readable);
    const Bytes before = read_file(disk);
    const ToolRun refused = run_tool(work, {"disk.dsk", "1"}, "", "./slotpush", NOBODY);
    EXPECT_EQ(refused.status, 247);
    EXPECT_EQ(refused.output,
              "slotpull failed: /dev/sda: it did not open for writing: Permission denied\n");
    EXPECT_EQ(read_file(disk), before);
}

TEST_F(EndToEnd, TheCatalogueShowsWhatEveryVolumeHoldsAndWritesNothing) {
    Bytes double_sided(184320);  // 720 sectors, protected, a control byte and DEL in its name
    std::copy_n("GAME\x7F\x01    \x02\xD0 DSKP", 17, double_sided.begin());
    std::fill_n(double_sided.begin() + 56, 90, 0xFF);
    write_file(work / "games.dsk", double_sided);
    EXPECT_EQ(run_tool(work, {"disk.dsk", "1"}).status, 0);  // 360 sectors, all in use
    EXPECT_EQ(run_tool(work, {"games.dsk", "2"}).status, 0);
    fs::resize_file(disk, 8 * SLOT_BYTES);  // slots 3 and 4 hold a pattern, 5 to 8 zeros
    const Bytes before = read_file(disk);
    const ToolRun list = run_tool(work, {"LIST", "1-"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.output,
              "Volume  Name        Sectors  Free  Prot\n"
              "     1  ?????#*18?     1600  1240\n"
              "     2  GAME??         1600   880  P\n"
              "     3  (not a TI disk)\n     4  (not a TI disk)\n   5-8  (empty)\n"
              "The card ends after volume 8.\n");
    EXPECT_EQ(run_tool(work, {"LIST", "2-3"}).output.substr(40),
              "     2  GAME??         1600   880  P\n"
              "     3  (not a TI disk)\n");
    EXPECT_EQ(read_file(disk), before) << "listing writes nothing";
}

TEST_F(EndToEnd, AnEmptyOrZeroVolumeNumberIsRefusedAndWritesNothing) {
    const Bytes before = read_file(disk);
    for (const char* command : {"disk.dsk", "FLASH"}) {
        for (const std::string volume : {"", "0", "00000"}) {
            const ToolRun run = run_tool(work, {command, volume});
            EXPECT_EQ(run.status, 255) << "'" << volume << "'";
            EXPECT_EQ(run.output, "The value '" + volume + "' is an invalid volume number.\n");
        }
    }
    EXPECT_EQ(read_file(disk), before);
    EXPECT_FALSE(fs::exists(work / "FLASH"));
}

TEST_F(EndToEnd, WithoutAStoredDriveTheUserPicksARemovableDisk) {
    fs::remove(work / "slotpCFG");
    const Bytes disks_before[] = {read_file(ROOT / "dev/sda"), read_file(ROOT / "dev/sdb"),
                                  read_file(ROOT / "dev/sdc")};
    // 243 and 121 whole cylinders of 255 x 63 sectors: 1998 and 995 decimal megabytes.
    const std::string listing =
        "List of All Possible Flash Drives\n---------------------------------\n\n"
        " 1) /dev/sdb 1gb  Generic CF Reader\n"
        " 2) /dev/sdc 995mb  SD16G  mounted on /media/card\n"
        "\n\nSelect drive (1-2) or press ENTER to exit: ";

    const ToolRun declined = run_tool(work, {"disk.dsk", "3"}, "\n");
    EXPECT_EQ(declined.status, 255);
    EXPECT_EQ(declined.output, listing + "Invalid selection\n");
    EXPECT_FALSE(fs::exists(work / "slotpCFG")) << "the drive-choice file is not created";

    const ToolRun chosen = run_tool(work, {"disk.dsk", "3"}, "2\n");
    EXPECT_EQ(chosen.status, 0);
    EXPECT_EQ(chosen.output, listing +
                                 "Volume 3 on /dev/sdc held something that is not a TI disk; it "
                                 "now holds ?????#*18?.\nslotpull succeeded.\n");
    EXPECT_EQ(read_file(ROOT / "dev/sda"), disks_before[0]);
    EXPECT_EQ(read_file(ROOT / "dev/sdb"), disks_before[1]);
    const Bytes written = read_file(ROOT / "dev/sdc");
    Bytes expected = disks_before[2];
    const Bytes image = normalised(sector_dump());
    for (size_t k = 0; k < IMAGE_BYTES; ++k) {
        expected[2 * SLOT_BYTES + 2 * k] = image[k];
        expected[2 * SLOT_BYTES + 2 * k + 1] = FILL_BYTE;
    }
    EXPECT_TRUE(written == expected) << "only slot 3 of the second removable disk changed";
}

}  // namespace
