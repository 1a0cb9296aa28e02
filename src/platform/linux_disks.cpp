#include "platform/linux_disks.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/linux_errors.h"
#include "platform/system_calls.h"

#ifndef SLOTPUSH_DEVICE_ROOT
#define SLOTPUSH_DEVICE_ROOT ""
#endif

namespace linux_layer {

namespace {

// udev takes a disk's lock for a moment while it probes; wait that long for it.
constexpr int LOCK_ATTEMPTS = 50;
constexpr DWORD LOCK_RETRY_MILLISECONDS = 20;
constexpr size_t MOUNT_TABLE_LIMIT = 1 << 20;

bool starts_with_ignoring_case(const char* text, const char* prefix) {
    return strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

bool is_virtual_disk(const std::string& name) {
    static const char* const VIRTUAL[] = {"loop", "ram", "zram", "dm-", "md", "sr", "nbd", "fd"};
    return std::any_of(std::begin(VIRTUAL), std::end(VIRTUAL),
                       [&](const char* prefix) { return name.rfind(prefix, 0) == 0; });
}

std::vector<std::string> directory_entries(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = system_calls().opendir(path.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = system_calls().readdir(dir)) {
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    }
    system_calls().closedir(dir);
    return names;
}

// A whole file read through the system-call table, up to limit bytes.
std::string read_text(const std::string& path, size_t limit) {
    const int fd = system_calls().open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return {};
    std::string text;
    char chunk[4096];
    for (ssize_t got;
         text.size() < limit && (got = system_calls().read(fd, chunk, sizeof chunk)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        text.append(chunk, static_cast<size_t>(got));
    }
    system_calls().close(fd);
    return text;
}

// The device numbers of the disk and of each of its partitions ("8:16", "8:17", ...).
std::set<std::string> device_numbers(const std::string& path, const std::string& disk) {
    std::set<std::string> numbers;
    struct stat status {};
    if (system_calls().stat(path.c_str(), &status) == 0 && S_ISBLK(status.st_mode)) {
        numbers.insert(std::to_string(major(status.st_rdev)) + ":" +
                       std::to_string(minor(status.st_rdev)));
    }
    const std::string block = device_root() + "/sys/block/" + disk;
    for (const std::string& entry : directory_entries(block)) {
        const std::string partition = block + "/" + entry + "/partition";
        if (system_calls().access(partition.c_str(), F_OK) != 0) continue;
        std::string number = disk_attribute(disk, (entry + "/dev").c_str());
        number.erase(number.find_last_not_of("\n") + 1);
        if (!number.empty()) numbers.insert(number);
    }
    return numbers;
}

// A mount table field with its octal escapes (\040 for a space) undone.
std::string unescaped(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            text += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// The disk's mounted partitions, each with the directory it is mounted on.
struct Mount {
    std::string device;
    std::string directory;
};
std::vector<Mount> mounts_of(const std::string& path, const std::string& disk) {
    const std::set<std::string> numbers = device_numbers(path, disk);
    const std::string table = read_text(device_root() + "/proc/self/mountinfo", MOUNT_TABLE_LIMIT);
    std::vector<Mount> found;
    for (size_t start = 0; start < table.size();) {
        size_t end = table.find('\n', start);
        if (end == std::string::npos) end = table.size();
        std::vector<std::string> fields;
        for (size_t at = start; at < end;) {
            const size_t space = std::min(table.find(' ', at), end);
            fields.push_back(table.substr(at, space - at));
            at = space + 1;
        }
        start = end + 1;
        const auto separator = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 5 || separator == fields.end() || fields.end() - separator < 3 ||
            numbers.count(fields[2]) == 0) {
            continue;
        }
        found.push_back({unescaped(separator[2]), unescaped(fields[4])});
    }
    return found;
}

// Each of the disk's mounts as describe tells it, ", " between them; empty for none.
template <typename Describe>
std::string joined_mounts(const std::string& path, const std::string& disk, Describe describe) {
    std::string text;
    for (const Mount& mount : mounts_of(path, disk)) {
        if (!text.empty()) text += ", ";
        text += describe(mount);
    }
    return text;
}

// The disk's lock, which udev's probe respects; a holder that keeps it is a user of the disk.
bool lock_disk(int fd) {
    for (int attempt = 1;; ++attempt) {
        if (system_calls().flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK) {
            fail_with_errno(errno);
            return false;
        }
        if (attempt == LOCK_ATTEMPTS) {
            fail_with_code(ERROR_BUSY);
            return false;
        }
        Sleep(LOCK_RETRY_MILLISECONDS);
    }
}

// The kernel's name of the block device at path ("sdb" for /dev/disk/by-id/usb-...), whose
// attributes lie under /sys/block; empty for anything that is not a block device. A whole
// disk's own name, /dev/NAME beside /sys/block/NAME, is the one a physical drive resolves to.
std::string block_device_name(const char* path) {
    const std::string devices = device_root() + "/dev/";
    if (std::strncmp(path, devices.c_str(), devices.size()) == 0) {
        const char* name = path + devices.size();
        struct stat entry {};
        if (std::strchr(name, '/') == nullptr && name[0] != '\0' && name[0] != '.' &&
            system_calls().stat((device_root() + "/sys/block/" + name).c_str(), &entry) == 0) {
            return name;
        }
    }
    struct stat status {};
    if (system_calls().stat(path, &status) != 0 || !S_ISBLK(status.st_mode)) return {};
    char* real = system_calls().realpath(path, nullptr);
    if (real == nullptr) return {};
    const std::string name = std::strrchr(real, '/') + 1;
    std::free(real);
    return name;
}

}  // namespace

std::string device_root() {
    return SLOTPUSH_DEVICE_ROOT;
}

std::vector<std::string> whole_disks() {
    std::vector<std::string> names = directory_entries(device_root() + "/sys/block");
    names.erase(std::remove_if(names.begin(), names.end(), is_virtual_disk), names.end());
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return names;
}

std::string resolve(const char* name, std::string& disk) {
    static const char DEVICE_PREFIX[] = "\\\\.\\";
    static const char PHYSICAL_DRIVE[] = "\\\\.\\PHYSICALDRIVE";
    disk.clear();
    if (name[0] == '\0') {  // as open() answers an empty name
        fail_with_errno(ENOENT);
        return {};
    }
    if (!starts_with_ignoring_case(name, DEVICE_PREFIX)) {
        disk = block_device_name(name);
        return name;
    }
    if (starts_with_ignoring_case(name, PHYSICAL_DRIVE)) {
        const char* digits = name + std::strlen(PHYSICAL_DRIVE);
        const size_t count = std::strspn(digits, "0123456789");
        if (count > 0 && count <= 4 && digits[count] == '\0') {
            const std::vector<std::string> disks = whole_disks();
            const auto drive = static_cast<size_t>(std::atoi(digits));
            if (drive < disks.size()) {
                disk = disks[drive];
                return device_root() + "/dev/" + disk;
            }
        }
    }
    fail_with_code(ERROR_FILE_NOT_FOUND);  // no such device here, VWIN32 among them
    return {};
}

std::string disk_attribute(const std::string& disk, const char* attribute) {
    constexpr size_t ATTRIBUTE_LIMIT = 64;
    return read_text(device_root() + "/sys/block/" + disk + "/" + attribute, ATTRIBUTE_LIMIT);
}

// 512-byte sectors, 63 sectors per track, 255 tracks per cylinder, whole cylinders of the size
// the kernel reports in 512-byte units.
bool disk_geometry(const std::string& disk, DISK_GEOMETRY& geometry) {
    constexpr DWORD SECTOR_BYTES = 512;
    constexpr DWORD SECTORS_PER_TRACK = 63;
    constexpr DWORD TRACKS_PER_CYLINDER = 255;
    const std::string size = disk_attribute(disk, "size");
    if (size.empty() || size[0] < '0' || size[0] > '9') {
        fail_with_code(ERROR_NOT_READY);
        return false;
    }
    const unsigned long long sectors = std::strtoull(size.c_str(), nullptr, 10);
    const bool removable = disk_attribute(disk, "removable").rfind('1', 0) == 0;
    geometry.Cylinders.QuadPart =
        static_cast<LONGLONG>(sectors / (SECTORS_PER_TRACK * TRACKS_PER_CYLINDER));
    geometry.MediaType = removable ? RemovableMedia : FixedMedia;
    geometry.TracksPerCylinder = TRACKS_PER_CYLINDER;
    geometry.SectorsPerTrack = SECTORS_PER_TRACK;
    geometry.BytesPerSector = SECTOR_BYTES;
    return true;
}

std::string mount_directories(const std::string& path, const std::string& disk) {
    return joined_mounts(path, disk, [](const Mount& mount) { return mount.directory; });
}

std::string mounted_partitions(const std::string& path, const std::string& disk) {
    return joined_mounts(path, disk, [](const Mount& mount) {
        return mount.device + " is mounted on " + mount.directory;
    });
}

std::string disk_vendor(const std::string& disk) {
    return disk_attribute(disk, "device/vendor");
}

std::string disk_product(const std::string& disk) {
    const std::string model = disk_attribute(disk, "device/model");
    return model.empty() ? disk_attribute(disk, "device/name") : model;
}

int claim_disk(const std::string& path, const std::string& disk) {
    if (disk_attribute(disk, "ro").rfind('1', 0) == 0) {
        fail_with_code(ERROR_WRITE_PROTECT);
        return -1;
    }
    // On a block device O_EXCL without O_CREAT is the kernel's exclusive claim.
    const int fd = system_calls().open(path.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC, 0);
    if (fd < 0) {
        fail_with_errno(errno);  // EBUSY: a partition is mounted, swap, or held by LVM or RAID
        return -1;
    }
    if (!lock_disk(fd)) {
        system_calls().close(fd);
        return -1;
    }
    return fd;
}

}  // namespace linux_layer
