// The Linux layer against a directory of ordinary files that stands in for / .
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/system_calls.h"
#include "winapi.h"

namespace {

namespace fs = std::filesystem;

const fs::path ROOT = TEST_DEVICE_ROOT;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string message(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, 0x0400, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0) return "<none>";
    std::string result(text, length);
    LocalFree(text);
    return result;
}

class LinuxApi : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(ROOT);
        fs::create_directories(ROOT / "sys/block");
        fs::create_directories(ROOT / "dev");
        work = ROOT / "work";
        fs::create_directories(work);
    }
    // A whole disk called name whose bytes are its own name, repeated to size.
    void add_disk(const std::string& name, size_t size = 0) {
        fs::create_directories(ROOT / "sys/block" / name);
        std::string bytes = name;
        while (bytes.size() < size) bytes += name;
        put(ROOT / "dev" / name, size ? bytes.substr(0, size) : name);
    }
    std::string read_all(const char* windows_name) {
        HANDLE h = CreateFileA(windows_name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return "<not opened>";
        char buffer[64] = {};
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &got, nullptr));
        EXPECT_TRUE(CloseHandle(h));
        return std::string(buffer, got);
    }
    std::string file(const char* name) { return (work / name).string(); }

    fs::path work;
};

TEST_F(LinuxApi, PhysicalDrivesAreTheWholeDisksShorterNamesFirst) {
    for (const char* name : {"sdaa", "sdb", "nvme0n1", "sda", "sdz", "loop0", "ram1", "zram0",
                             "dm-0", "md127", "sr0", "nbd3", "fd0", "mmcblk0"}) {
        add_disk(name);
    }
    const std::pair<const char*, const char*> cases[] = {
        {"\\\\.\\PHYSICALDRIVE0", "sda"},           {"\\\\.\\PHYSICALDRIVE1", "sdb"},
        {"\\\\.\\PHYSICALDRIVE2", "sdz"},           {"\\\\.\\PHYSICALDRIVE3", "sdaa"},
        {"\\\\.\\PHYSICALDRIVE4", "mmcblk0"},       {"\\\\.\\physicaldrive5", "nvme0n1"},
        {"\\\\.\\PHYSICALDRIVE6", "<not opened>"},  {"\\\\.\\PHYSICALDRIVE", "<not opened>"},
        {"\\\\.\\PHYSICALDRIVE1x", "<not opened>"}, {"\\\\.\\VWIN32", "<not opened>"},
        {"\\\\.\\vwin32", "<not opened>"},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(read_all(name), expected) << name;
        if (std::string(expected) == "<not opened>") {
            EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
        }
    }
}

TEST_F(LinuxApi, OrdinaryPathsFollowTheCreationDisposition) {
    put(work / "old", "old contents");
    fs::create_symlink("old", work / "link");  // a new file is never made through it
    fs::create_symlink("planted", work / "dangling");
    struct Case {
        const char* name;
        DWORD disposition;
        bool opens;
        DWORD error;
        const char* after;  // the file's contents afterwards; nullptr: it does not exist
    };
    const Case cases[] = {
        {"old", OPEN_EXISTING, true, 0, "old contents"},
        {"missing", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
        {"old", OPEN_ALWAYS, true, 0, "old contents"},
        {"new1", OPEN_ALWAYS, true, 0, ""},
        {"old", CREATE_NEW, false, ERROR_FILE_EXISTS, "old contents"},
        {"new2", CREATE_NEW, true, 0, ""},
        {"new3", CREATE_ALWAYS, true, 0, ""},
        {"missing", TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
        {"missing", 0, false, ERROR_INVALID_PARAMETER, nullptr},
        {"link", CREATE_NEW, false, ERROR_FILE_EXISTS, "old contents"},
        {"dangling", CREATE_NEW, false, ERROR_FILE_EXISTS, nullptr},
        {"old", CREATE_ALWAYS, true, 0, ""},
    };
    for (const Case& c : cases) {
        HANDLE h = CreateFileA(file(c.name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               c.disposition, 0, nullptr);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << c.name << " " << c.disposition;
        if (h != INVALID_HANDLE_VALUE) {
            EXPECT_EQ(GetFileType(h), FILE_TYPE_DISK) << "a regular file is a disk file";
            EXPECT_TRUE(CloseHandle(h));
        }
        if (!c.opens) {
            EXPECT_EQ(GetLastError(), c.error) << c.name << " " << c.disposition;
        }
        EXPECT_EQ(fs::exists(work / c.name), c.after != nullptr) << c.name;
        if (c.after != nullptr) {
            EXPECT_EQ(contents(work / c.name), c.after) << c.name;
        }
    }
    EXPECT_FALSE(fs::exists(work / "planted"));
    // Windows' moves and attributes: a plain move keeps a name that is taken, a replace takes it,
    // a link is followed to its file, a folder is there already, a file of mode 0444 is
    // read-only even for root, and a file made after a template takes its permissions.
    put(work / "a", "a");
    put(work / "b", "b");
    EXPECT_FALSE(MoveFileA(file("a").c_str(), file("b").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_EQ(contents(work / "b"), "b");
    EXPECT_TRUE(replace_by_move(file("a").c_str(), file("b").c_str()));
    EXPECT_EQ(contents(work / "b"), "a");
    char linked[256];
    EXPECT_TRUE(linked_path(file("dangling").c_str(), linked, sizeof linked));
    EXPECT_EQ(linked, file("planted"));
    EXPECT_FALSE(linked_path(file("b").c_str(), linked, sizeof linked));
    EXPECT_FALSE(CreateDirectoryA(work.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetFileAttributesA(work.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    fs::permissions(work / "b", fs::perms(0444));
    EXPECT_EQ(GetFileAttributesA(file("b").c_str()), FILE_ATTRIBUTE_READONLY);
    HANDLE model =
        CreateFileA(file("b").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE made = CreateFileA(file("c").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, model);
    EXPECT_TRUE(CloseHandle(made) && CloseHandle(model));
    EXPECT_EQ(fs::status(work / "c").permissions(), fs::perms(0444));
    EXPECT_EQ(GetFileAttributesA(file("none").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(LinuxApi, FailuresNameTheirRealCause) {
    put(work / "plain", "x");
    struct Case {
        std::string path;
        DWORD access;
        DWORD disposition;
        DWORD error;
        std::string text;
    };
    const Case cases[] = {
        {file("missing"), GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND,
         "No such file or directory\n"},
        {file("plain") + "/below", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND,
         "Not a directory\n"},
        {work.string(), GENERIC_READ, OPEN_EXISTING, 0x20000000 | EISDIR, "Is a directory\n"},
        {work.string(), GENERIC_WRITE, CREATE_ALWAYS, 0x20000000 | EISDIR, "Is a directory\n"},
        {file(std::string(300, 'n').c_str()), GENERIC_READ, OPEN_EXISTING,
         ERROR_FILENAME_EXCED_RANGE, "File name too long\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CreateFileA(c.path.c_str(), c.access, 0, nullptr, c.disposition, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error) << c.path;
        EXPECT_EQ(message(GetLastError()), c.text) << c.path;
    }
    const std::pair<DWORD, std::string> texts[] = {
        {ERROR_HANDLE_EOF, "Reached the end of the file.\n"},
        {ERROR_DISK_FULL, "No space left on device\n"},
        {ERROR_ACCESS_DENIED, "Permission denied\n"},
        {ERROR_SECTOR_NOT_FOUND, "The drive cannot find the sector requested.\n"},
        {0x20000000 | EXDEV, "Invalid cross-device link\n"},
        {99999, "<none>"},
    };
    for (const auto& [code, text] : texts) EXPECT_EQ(message(code), text) << code;
}

TEST_F(LinuxApi, PositionsAreSixtyFourBitsWide) {
    HANDLE h = CreateFileA(file("sparse").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const int64_t far = 5LL * 1024 * 1024 * 1024 + 12345;  // past 4 GiB
    LONG high = static_cast<LONG>(far >> 32);
    EXPECT_EQ(SetFilePointer(h, static_cast<LONG>(far & 0xFFFFFFFF), &high, FILE_BEGIN),
              static_cast<DWORD>(far & 0xFFFFFFFF));
    EXPECT_EQ(high, 1);
    DWORD moved = 0;
    ASSERT_TRUE(WriteFile(h, "end", 3, &moved, nullptr));
    EXPECT_EQ(moved, 3u);

    high = 0;
    const DWORD low = SetFilePointer(h, 0, &high, FILE_END);
    EXPECT_EQ((static_cast<int64_t>(high) << 32) | low, far + 3);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER)
        << "a position past 4 GiB needs the high part";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    high = -1;
    EXPECT_EQ(SetFilePointer(h, -10, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(h, -3, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER)
        << "the failed moves left the position where it was, past 4 GiB";
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(fs::file_size(work / "sparse"), static_cast<uintmax_t>(far + 3));
}

TEST_F(LinuxApi, ADiskDoesNotGrowAndReadsStopAtItsEnd) {
    add_disk("sda", 4096);
    const std::string before = contents(ROOT / "dev/sda");
    HANDLE h = CreateFileA("\\\\.\\PHYSICALDRIVE0", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::vector<char> bytes(1024, 'w');
    DWORD moved = 99;

    ASSERT_NE(SetFilePointer(h, 3584, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_FALSE(WriteFile(h, bytes.data(), 1024, &moved, nullptr)) << "512 bytes past the end";
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(moved, 0u);
    EXPECT_EQ(contents(ROOT / "dev/sda"), before) << "nothing of a refused write arrives";

    std::vector<char> read_back(1024);
    EXPECT_TRUE(ReadFile(h, read_back.data(), 1024, &moved, nullptr));
    EXPECT_EQ(moved, 512u) << "a read stops at the end of the disk";
    EXPECT_EQ(std::string(read_back.data(), 512), before.substr(3584));

    ASSERT_NE(SetFilePointer(h, 3072, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_TRUE(WriteFile(h, bytes.data(), 1024, &moved, nullptr));
    EXPECT_EQ(moved, 1024u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(contents(ROOT / "dev/sda"), before.substr(0, 3072) + std::string(1024, 'w'));
}

TEST_F(LinuxApi, WindowsVersionAndRegistryAreNotThere) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    EXPECT_FALSE(GetVersionExA(&version));
    HKEY key = nullptr;
    EXPECT_NE(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0,
                      KEY_QUERY_VALUE, &key),
        ERROR_SUCCESS);
    EXPECT_EQ(lstrcmpiA("WinNT", "WINNT"), 0);
    EXPECT_NE(lstrcmpiA("WINNT", "SERVERNT"), 0);
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// What the next calls of a replaced system call do, one step per call; then they pass.
enum class Act { pass, interrupt, fail, shorten, nothing };
struct Step {
    Act act;
    int value;  // the errno of a failure, the count of a short transfer
};
std::deque<Step> plan;

Step next_step() {
    if (plan.empty()) return {Act::pass, 0};
    const Step step = plan.front();
    plan.pop_front();
    if (step.act == Act::interrupt) errno = EINTR;
    if (step.act == Act::fail) errno = step.value;
    return step;
}
bool fails(const Step& step) {
    return step.act == Act::interrupt || step.act == Act::fail;
}

template <typename Transfer, typename Buffer>
ssize_t scripted_transfer(Transfer real, int fd, Buffer buffer, size_t count) {
    const Step step = next_step();
    if (fails(step)) return -1;
    if (step.act == Act::nothing) return 0;
    if (step.act == Act::shorten) count = std::min(count, static_cast<size_t>(step.value));
    return real(fd, buffer, count);
}

using linux_layer::ScopedSystemCalls;
using linux_layer::SystemCalls;
const SystemCalls& REAL = linux_layer::real_system_calls();
// The descriptors the process has open.
size_t open_descriptors() {
    return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

// Each puts the scripted version of one system call into a table.
using Install = void (*)(SystemCalls&);
// clang-format off
constexpr Install OPEN = [](SystemCalls& c) {
    c.open = [](const char* p, int f, mode_t m) {
        return fails(next_step()) ? -1 : REAL.open(p, f, m); };
};
constexpr Install READ = [](SystemCalls& c) {
    c.read = [](int fd, void* b, size_t n) { return scripted_transfer(REAL.read, fd, b, n); };
};
constexpr Install WRITE = [](SystemCalls& c) {
    c.write = [](int fd, const void* b, size_t n) {
        return scripted_transfer(REAL.write, fd, b, n); };
};
constexpr Install LSEEK = [](SystemCalls& c) {
    c.lseek = [](int fd, off_t o, int w) {
        return fails(next_step()) ? off_t{-1} : REAL.lseek(fd, o, w); };
};
constexpr Install FDATASYNC = [](SystemCalls& c) {
    c.fdatasync = [](int fd) { return fails(next_step()) ? -1 : REAL.fdatasync(fd); };
};
// clang-format on
constexpr Install CLOSE = [](SystemCalls& c) {
    c.close = [](int fd) {
        const bool failing = fails(next_step());
        const int saved = errno;
        REAL.close(fd);  // the descriptor is gone either way, as after a real failed close
        errno = saved;
        return failing ? -1 : 0;
    };
};
// clang-format off
constexpr Install ACCESS = [](SystemCalls& c) {
    c.access = [](const char* p, int m) { return fails(next_step()) ? -1 : REAL.access(p, m); };
};
constexpr Install FLOCK = [](SystemCalls& c) {
    c.flock = [](int fd, int o) { return fails(next_step()) ? -1 : REAL.flock(fd, o); };
};
// clang-format on
constexpr Install OPEN_AND_FADVISE = [](SystemCalls& c) {
    OPEN(c);
    c.posix_fadvise = [](int fd, off_t offset, off_t length, int advice) {
        return fails(next_step()) ? errno : REAL.posix_fadvise(fd, offset, length, advice);
    };
};

TEST_F(LinuxApi, EverySystemCallFailingInterruptedOrShortIsHandled) {
    // open: opening the disk for writing, under the plan; claim: its first write, which claims it.
    // uncached: a second handle that reads past the page cache; flush: FlushFileBuffers.
    enum class Operation { read, write, geometry, seek, close, open, claim, uncached, flush };
    struct Case {
        const char* name;
        Operation operation;
        Install install;
        std::vector<Step> steps;
        bool succeeds;
        DWORD moved;       // of the 1024 bytes asked
        std::string text;  // the failure's text, asked for after the handle is closed
        enum class Card { plain, write_protected, mounted } card = Card::plain;
    };
    const std::vector<Step> twice_interrupted = {{Act::interrupt, 0}, {Act::interrupt, 0}};
    const std::string io_error = "Input/output error\n";
    // clang-format off
    const Case cases[] = {
        {"read interrupted", Operation::read, READ, twice_interrupted, true, 1024, ""},
        {"read in pieces", Operation::read, READ, {{Act::shorten, 100}}, true, 1024, ""},
        {"read: no medium", Operation::read, READ, {{Act::fail, ENOMEDIUM}}, false, 0,
         "No medium found\n"},
        {"write interrupted", Operation::write, WRITE, twice_interrupted, true, 1024, ""},
        {"write short, then over quota", Operation::write, WRITE,
         {{Act::shorten, 512}, {Act::fail, EDQUOT}}, false, 512, "Disk quota exceeded\n"},
        {"write takes nothing", Operation::write, WRITE, {{Act::nothing, 0}}, false, 0, io_error},
        {"the written disk's sync fails", Operation::write, FDATASYNC, {{Act::fail, EIO}}, false,
         0, io_error},
        {"disk size not readable", Operation::geometry, OPEN, {{Act::fail, EACCES}}, false, 0,
         "No such device or address\n"},
        {"position refused", Operation::seek, LSEEK, {{Act::fail, ESPIPE}}, false, 0,
         "Illegal seek\n"},
        {"close fails", Operation::close, CLOSE, {{Act::fail, EIO}}, false, 0, io_error},
        {"no permission to write the disk", Operation::open, ACCESS, {{Act::fail, EACCES}},
         false, 0, "Permission denied\n"},
        {"a partition is mounted", Operation::claim, OPEN, {{Act::pass, 0}, {Act::fail, EBUSY}},
         false, 0, "The disk is in use by the system or another program.\n",
         Case::Card::mounted},
        {"another program keeps the disk's lock", Operation::claim, FLOCK,
         std::vector<Step>(50, {Act::fail, EWOULDBLOCK}), false, 0,
         "The disk is in use by the system or another program.\n"},
        {"the disk's lock is free after a while", Operation::claim, FLOCK,
         std::vector<Step>(49, {Act::fail, EWOULDBLOCK}), true, 0, ""},
        {"write-protected card", Operation::claim, READ, {}, false, 0,
         "The media is write protected.\n", Case::Card::write_protected},
        {"flushing the disk fails", Operation::flush, FDATASYNC, {{Act::fail, EIO}}, false, 0,
         io_error},
        {"O_DIRECT refused: the cache is dropped instead", Operation::uncached, OPEN_AND_FADVISE,
         {{Act::fail, EINVAL}}, true, 0, ""},
        {"O_DIRECT refused, and the cache cannot be dropped", Operation::uncached,
         OPEN_AND_FADVISE, {{Act::fail, EINVAL}, {Act::pass, 0}, {Act::fail, EIO}}, false, 0,
         io_error},
    };
    // clang-format on
    add_disk("sda", 4096);
    std::ofstream(ROOT / "sys/block/sda/size") << "8\n";
    put(ROOT / "sys/block/sda/sda1/partition", "1\n");
    put(ROOT / "sys/block/sda/sda1/dev", "8:1\n");
    put(ROOT / "sys/block/sda/sda3/partition", "3\n");
    put(ROOT / "sys/block/sda/sda3/dev", "8:3\n");
    const auto open_disk = [] {
        return CreateFileA("\\\\.\\PHYSICALDRIVE0", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    };
    for (const Case& c : cases) {
        put(ROOT / "sys/block/sda/ro", c.card == Case::Card::write_protected ? "1\n" : "0\n");
        put(ROOT / "proc/self/mountinfo",
            "22 1 8:2 / / rw - ext4 /dev/sdb2 rw\n" +
                std::string(c.card == Case::Card::mounted
                                ? "36 22 8:1 / /media/my\\040card rw shared:1 - vfat /dev/sda1 rw\n"
                                  "37 22 8:3 / /mnt/b\\033c rw - ext2 /dev/sda3 rw\n"
                                : ""));
        const size_t descriptors = open_descriptors();
        HANDLE h = c.operation == Operation::open ? INVALID_HANDLE_VALUE : open_disk();
        ASSERT_TRUE(c.operation == Operation::open || h != INVALID_HANDLE_VALUE) << c.name;
        std::vector<char> bytes(1024, 'w');
        plan.assign(c.steps.begin(), c.steps.end());
        SystemCalls scripted = REAL;
        c.install(scripted);
        std::optional<ScopedSystemCalls> in_force(std::in_place, scripted);
        DWORD moved = 0;
        DISK_GEOMETRY geometry{};
        BOOL ok = FALSE;
        switch (c.operation) {
            case Operation::read:
                ok = ReadFile(h, bytes.data(), 1024, &moved, nullptr);
                break;
            case Operation::write:
                ok = WriteFile(h, bytes.data(), 1024, &moved, nullptr);
                break;
            case Operation::geometry:
                ok = DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                                     sizeof geometry, &moved, nullptr);
                break;
            case Operation::seek:
                ok = SetFilePointer(h, 512, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
                break;
            case Operation::close:
                ok = CloseHandle(h);
                h = INVALID_HANDLE_VALUE;
                break;
            case Operation::open:
                h = open_disk();
                ok = h != INVALID_HANDLE_VALUE;
                break;
            case Operation::claim:
                ok = WriteFile(h, bytes.data(), 1024, &moved, nullptr);
                break;
            case Operation::uncached: {
                HANDLE uncached = CreateFileA("\\\\.\\PHYSICALDRIVE0", GENERIC_READ, 0, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
                ok = uncached != INVALID_HANDLE_VALUE;
                if (ok) CloseHandle(uncached);
                break;
            }
            case Operation::flush:
                ok = FlushFileBuffers(h);
                break;
        }
        const DWORD reason = GetLastError();
        in_force.reset();
        if (c.card == Case::Card::mounted) {  // who holds the disk is asked by its name
            char mounts[128] = {};
            char name[16] = {};
            EXPECT_TRUE(native_disk_mounts("\\\\.\\PHYSICALDRIVE0", mounts, sizeof mounts));
            EXPECT_STREQ(
                mounts, "/dev/sda1 is mounted on /media/my card, /dev/sda3 is mounted on /mnt/b?c");
            EXPECT_TRUE(native_drive_names("\\\\.\\PHYSICALDRIVE0", name, sizeof name, mounts,
                                           sizeof mounts));
            EXPECT_STREQ(mounts, "/media/my card, /mnt/b?c") << "as the listing shows them";
        }
        EXPECT_TRUE(plan.empty()) << c.name << ": every planned step was taken";
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        EXPECT_EQ(open_descriptors(), descriptors) << c.name << ": every descriptor is closed";
        EXPECT_EQ(ok != FALSE, c.succeeds) << c.name;
        if (c.operation == Operation::read || c.operation == Operation::write) {
            EXPECT_EQ(moved, c.moved) << c.name;
        }
        if (!c.succeeds) {
            EXPECT_EQ(message(reason), c.text) << c.name;
        }
    }
}

TEST_F(LinuxApi, ADiskIsClaimedOpenedForWritingOnlyByItsFirstWriteAndReadBackPastTheCache) {
    // udev probes a disk again whenever a descriptor that could write it is closed: listing the
    // drives, which opens each one "for writing" and asks its geometry, must open none so.
    add_disk("sda", 4096);
    static std::vector<int> flags_of_opens;
    static std::vector<int> locks;
    flags_of_opens.clear();
    locks.clear();
    const ScopedSystemCalls opens(&SystemCalls::open, [](const char* path, int flags, mode_t mode) {
        flags_of_opens.push_back(flags);
        return REAL.open(path, flags, mode);
    });
    const ScopedSystemCalls flocks(&SystemCalls::flock, [](int fd, int operation) {
        locks.push_back(operation);
        return REAL.flock(fd, operation);
    });
    // Another program's try at the disk's lock: refused while the handle holds its claim.
    const auto claimed = [] {
        const int other = ::open((ROOT / "dev/sda").c_str(), O_RDONLY);
        const bool refused = ::flock(other, LOCK_EX | LOCK_NB) != 0;
        ::close(other);
        return refused;
    };
    const auto opened_with = [](int access) {
        return std::count_if(flags_of_opens.begin(), flags_of_opens.end(),
                             [&](int flags) { return (flags & O_ACCMODE) == access; });
    };
    HANDLE h =
        CreateFileA("\\\\.\\PHYSICALDRIVE0", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, nullptr);
    DISK_GEOMETRY geometry{};
    DWORD moved = 0;
    DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry,
                    &moved, nullptr);
    EXPECT_EQ(opened_with(O_RDONLY), static_cast<long>(flags_of_opens.size()));
    EXPECT_TRUE(locks.empty() && !claimed()) << "the listing's open claims nothing";
    ASSERT_NE(SetFilePointer(h, 512, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    static int syncs = 0;
    const ScopedSystemCalls counted(&SystemCalls::fdatasync, [](int fd) {
        ++syncs;
        return REAL.fdatasync(fd);
    });
    EXPECT_TRUE(WriteFile(h, "new", 3, &moved, nullptr) && FlushFileBuffers(h));
    EXPECT_EQ(syncs, 1) << "a write's sync is not made twice by the flush after it";
    EXPECT_EQ(locks, std::vector<int>{LOCK_EX | LOCK_NB}) << "the disk's lock, held exclusively";
    EXPECT_TRUE(claimed()) << "the disk stays claimed through the write";
    // The check after a write reads past the page cache.
    HANDLE reader = CreateFileA("\\\\.\\PHYSICALDRIVE0", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_NO_BUFFERING, nullptr);
    EXPECT_TRUE(std::any_of(flags_of_opens.begin(), flags_of_opens.end(),
                            [](int flags) { return (flags & O_DIRECT) != 0; }));
    EXPECT_TRUE(CloseHandle(reader));
    EXPECT_TRUE(claimed()) << "and through the check";
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(claimed()) << "until the handle is closed";
    EXPECT_EQ(opened_with(O_RDWR), 1) << "opened to write, once";
    EXPECT_EQ(contents(ROOT / "dev/sda").substr(510, 7), "sdnewas")
        << "at the position the handle had";
    // A change claims the disk before it reads, without a write; a card file opened to write,
    // sharing no writing, keeps every other such writer out by its flock, and its flush syncs it.
    h = CreateFileA("\\\\.\\PHYSICALDRIVE0", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_TRUE(claim_for_writing(h) && claimed());
    EXPECT_TRUE(CloseHandle(h));
    put(work / "card.img", "card");
    const auto card_writer = [&] {
        return CreateFileA(file("card.img").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    };
    h = card_writer();
    EXPECT_EQ(card_writer(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    syncs = 0;
    EXPECT_TRUE(WriteFile(h, "new", 3, &moved, nullptr) && FlushFileBuffers(h));
    EXPECT_EQ(syncs, 1);
    EXPECT_TRUE(CloseHandle(h));
}

}  // namespace

TEST_F(LinuxApi, AClaimWaitsOutALockHeldForAMomentAndRefusesOneHeldForGood) {
    add_disk("sda", 4096);
    put(ROOT / "proc/self/mountinfo", "");
    using Clock = std::chrono::steady_clock;
    for (const bool released : {true, false}) {
        const int holder = ::open((ROOT / "dev/sda").c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(holder, LOCK_EX), 0);
        std::thread another_program([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (released) ::flock(holder, LOCK_UN);
        });
        HANDLE disk = CreateFileA("\\\\.\\PHYSICALDRIVE0", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  0, nullptr);
        const char bytes[512] = {};
        DWORD moved = 0;
        const Clock::time_point start = Clock::now();
        const bool written = WriteFile(disk, bytes, sizeof bytes, &moved, nullptr) != FALSE;
        const DWORD reason = GetLastError();
        const auto waited = Clock::now() - start;
        another_program.join();
        CloseHandle(disk);
        ::close(holder);
        EXPECT_EQ(written, released);
        EXPECT_GE(waited, std::chrono::milliseconds(released ? 300 : 900)) << "it really waits";
        EXPECT_EQ(reason == static_cast<DWORD>(ERROR_BUSY), !released);
    }
}
