// The Windows API subset on Linux, so that the tool really works there.
//
// Ordinary paths are files. "\\.\PHYSICALDRIVEn" is the n-th whole disk of the machine: the
// entries of /sys/block less the virtual devices, shorter names first, then by name, opened as
// /dev/<name>. SLOTPUSH_DEVICE_ROOT, fixed when the tool is built, stands in for "/" in those
// two lookups so that tests can put ordinary files in the place of disks. Windows version and
// registry calls fail, as on a system without them.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string>
#include <vector>

#include "platform/system_calls.h"
#include "winapi.h"

#ifndef SLOTPUSH_DEVICE_ROOT
#define SLOTPUSH_DEVICE_ROOT ""
#endif

namespace linux_layer {

SystemCalls& system_calls() {
    static SystemCalls calls = {
        [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        ::read,
        ::write,
        ::lseek,
        ::fdatasync,
        ::close,
        [](int fd, struct stat* status) { return ::fstat(fd, status); },
    };
    return calls;
}

}  // namespace linux_layer

namespace {

linux_layer::SystemCalls& sys() {
    return linux_layer::system_calls();
}

thread_local DWORD last_error = NO_ERROR;

// Errors with no Windows counterpart keep their errno in an application-defined code.
constexpr DWORD ERRNO_CODE_BASE = 0x20000000;

struct ErrnoCode {
    int errno_value;
    DWORD code;
};

// The first row for a code is the errno whose text describes the code.
constexpr ErrnoCode ERRNO_CODES[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EROFS, ERROR_WRITE_PROTECT},
    {ENXIO, ERROR_NOT_READY},
    {ENODEV, ERROR_NOT_READY},
    {ENOMEDIUM, ERROR_NOT_READY},
    {EIO, ERROR_IO_DEVICE},
    {EEXIST, ERROR_FILE_EXISTS},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EBUSY, ERROR_BUSY},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {ENOSYS, ERROR_CALL_NOT_IMPLEMENTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
};

struct CodeText {
    DWORD code;
    const char* text;
};

// Codes that this layer sets itself, or that the tool sets, with no errno behind them.
constexpr CodeText OWN_TEXTS[] = {
    {NO_ERROR, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_SECTOR_NOT_FOUND, "The drive cannot find the sector requested."},
    {ERROR_HANDLE_EOF, "Reached the end of the file."},
    {ERROR_NEGATIVE_SEEK,
     "An attempt was made to move the file pointer before the beginning of "
     "the file."},
};

// Several errno values share one code (EDQUOT and ENOSPC are both a full disk). The errno that
// last gave each shared code is remembered with it, so that its text survives the code being
// saved and set again, as the tool does around a closing call.
struct ErrnoBehind {
    DWORD code;
    int errno_value;
};
thread_local ErrnoBehind errno_behind[std::size(ERRNO_CODES)] = {};

void fail_with_errno(int error) {
    last_error = ERRNO_CODE_BASE | static_cast<DWORD>(error);
    for (const ErrnoCode& row : ERRNO_CODES) {
        if (row.errno_value == error) {
            last_error = row.code;
            break;
        }
    }
    if ((last_error & ERRNO_CODE_BASE) != 0) return;  // the code names its errno itself
    ErrnoBehind* slot = nullptr;
    for (ErrnoBehind& behind : errno_behind) {
        if (behind.code == last_error) slot = &behind;
        if (behind.code == NO_ERROR && slot == nullptr) slot = &behind;
    }
    *slot = {last_error, error};
}

// A failure of the layer's own, with no errno behind it.
void fail_with_code(DWORD code) {
    last_error = code;
    for (ErrnoBehind& behind : errno_behind) {
        if (behind.code == code) behind = {};
    }
}

// The text for a code: the errno that last gave it, else the errno or own text that describes
// the code. Empty when there is none.
std::string text_for(DWORD code) {
    for (const ErrnoBehind& behind : errno_behind) {
        if (behind.code == code && code != NO_ERROR) return std::strerror(behind.errno_value);
    }
    if ((code & ERRNO_CODE_BASE) != 0) return std::strerror(static_cast<int>(code & 0xFFFF));
    for (const ErrnoCode& row : ERRNO_CODES) {
        if (row.code == code) return std::strerror(row.errno_value);
    }
    for (const CodeText& row : OWN_TEXTS) {
        if (row.code == code) return row.text;
    }
    return {};
}

struct OpenFile {
    int fd;
    std::string disk;         // a whole disk's name under /sys/block; empty for a file
    std::string delete_path;  // FILE_FLAG_DELETE_ON_CLOSE
    bool is_device() const { return !disk.empty(); }
};

OpenFile* open_file(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        fail_with_code(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<OpenFile*>(handle);
}

bool starts_with_ignoring_case(const char* text, const char* prefix) {
    return strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

bool is_virtual_disk(const std::string& name) {
    static const char* const VIRTUAL[] = {"loop", "ram", "zram", "dm-", "md", "sr", "nbd", "fd"};
    return std::any_of(std::begin(VIRTUAL), std::end(VIRTUAL),
                       [&](const char* prefix) { return name.rfind(prefix, 0) == 0; });
}

// The whole disks in the order their drive numbers follow: sdz before sdaa.
std::vector<std::string> whole_disks() {
    std::vector<std::string> names;
    const std::string block = std::string(SLOTPUSH_DEVICE_ROOT) + "/sys/block";
    DIR* dir = opendir(block.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name[0] != '.' && !is_virtual_disk(name)) names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return names;
}

// The Linux path behind a Windows name; empty (with the last error set) when there is none.
std::string resolve(const char* name, std::string& disk) {
    static const char DEVICE_PREFIX[] = "\\\\.\\";
    static const char PHYSICAL_DRIVE[] = "\\\\.\\PHYSICALDRIVE";
    disk.clear();
    if (!starts_with_ignoring_case(name, DEVICE_PREFIX)) return name;
    if (starts_with_ignoring_case(name, PHYSICAL_DRIVE)) {
        const char* digits = name + std::strlen(PHYSICAL_DRIVE);
        const size_t count = std::strspn(digits, "0123456789");
        if (count > 0 && count <= 4 && digits[count] == '\0') {
            const std::vector<std::string> disks = whole_disks();
            const auto drive = static_cast<size_t>(std::atoi(digits));
            if (drive < disks.size()) {
                disk = disks[drive];
                return std::string(SLOTPUSH_DEVICE_ROOT) + "/dev/" + disk;
            }
        }
    }
    fail_with_code(ERROR_FILE_NOT_FOUND);  // no such device here, VWIN32 among them
    return {};
}

int open_flags(DWORD access, DWORD disposition) {
    int flags = O_CLOEXEC;
    const bool reads = (access & GENERIC_READ) != 0;
    const bool writes = (access & GENERIC_WRITE) != 0;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case CREATE_NEW:
            return flags | O_CREAT | O_EXCL;
        case CREATE_ALWAYS:
            return flags | O_CREAT | O_TRUNC;
        case OPEN_EXISTING:
            return flags;
        case OPEN_ALWAYS:
            return flags | O_CREAT;
        case TRUNCATE_EXISTING:
            return flags | O_TRUNC;
        default:
            return -1;
    }
}

// The length of a file or disk, leaving the position where it was; -1 with errno on failure.
int64_t end_of_file(int fd) {
    const off_t position = sys().lseek(fd, 0, SEEK_CUR);
    if (position < 0) return -1;
    const off_t end = sys().lseek(fd, 0, SEEK_END);
    if (end < 0 || sys().lseek(fd, position, SEEK_SET) < 0) return -1;
    return end;
}

// Bytes a disk can still take from its current position: a disk does not grow.
int64_t device_room(int fd) {
    const off_t position = sys().lseek(fd, 0, SEEK_CUR);
    const int64_t end = end_of_file(fd);
    if (position < 0 || end < 0) return -1;
    return end > position ? end - position : 0;
}

// The first line of a /sys/block attribute of a disk; empty when it cannot be read.
std::string disk_attribute(const std::string& disk, const char* attribute) {
    const std::string path =
        std::string(SLOTPUSH_DEVICE_ROOT) + "/sys/block/" + disk + "/" + attribute;
    const int fd = sys().open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return {};
    char text[64] = {};
    const ssize_t got = sys().read(fd, text, sizeof text - 1);
    sys().close(fd);
    return got > 0 ? std::string(text, static_cast<size_t>(got)) : std::string();
}

// A disk as Windows describes it: 512-byte sectors, 63 sectors per track, 255 tracks per
// cylinder, whole cylinders of the size the kernel reports in 512-byte units.
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

}  // namespace

DWORD GetLastError() {
    return last_error;
}

// Setting a code keeps the errno last remembered with it: the tool saves and restores codes.
void SetLastError(DWORD dwErrCode) {
    last_error = dwErrCode;
}

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    std::string disk;
    const std::string path = resolve(lpFileName, disk);
    if (path.empty()) return INVALID_HANDLE_VALUE;
    const int flags = open_flags(dwDesiredAccess, dwCreationDisposition);
    if (flags < 0) {
        fail_with_code(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = sys().open(path.c_str(), flags, 0666);
    if (fd < 0) {
        fail_with_errno(errno);
        return INVALID_HANDLE_VALUE;
    }
    struct stat status {};
    if (sys().fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        fail_with_errno(S_ISDIR(status.st_mode) ? EISDIR : errno);
        sys().close(fd);
        return INVALID_HANDLE_VALUE;
    }
    const bool delete_on_close = (dwFlagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    return new OpenFile{fd, disk, delete_on_close ? path : std::string()};
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
    OpenFile* file = open_file(hFile);
    if (file == nullptr) return INVALID_SET_FILE_POINTER;
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr) {
        distance = static_cast<int64_t>(static_cast<uint64_t>(*lpDistanceToMoveHigh) << 32 |
                                        static_cast<uint32_t>(lDistanceToMove));
    }
    int64_t base = 0;
    if (dwMoveMethod == FILE_CURRENT) {
        base = sys().lseek(file->fd, 0, SEEK_CUR);
    } else if (dwMoveMethod == FILE_END) {
        base = end_of_file(file->fd);
    } else if (dwMoveMethod != FILE_BEGIN) {
        fail_with_code(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (base < 0) {
        fail_with_errno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    const int64_t target = base + distance;
    // Without a high part the new position must fit in 32 bits.
    if (target < 0 || (lpDistanceToMoveHigh == nullptr && target > 0xFFFFFFFFLL)) {
        fail_with_code(target < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (sys().lseek(file->fd, static_cast<off_t>(target), SEEK_SET) < 0) {
        fail_with_errno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = static_cast<LONG>(target >> 32);
    return static_cast<DWORD>(target & 0xFFFFFFFF);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
    OpenFile* file = open_file(hFile);
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    if (file == nullptr) return FALSE;
    auto* bytes = static_cast<uint8_t*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
        const ssize_t got = sys().read(file->fd, bytes + done, nNumberOfBytesToRead - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            fail_with_errno(errno);
            return FALSE;
        }
        if (got == 0) break;  // end of file: a short count, as Windows reports it
        done += static_cast<DWORD>(got);
    }
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = done;
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
    OpenFile* file = open_file(hFile);
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
    if (file == nullptr) return FALSE;
    if (file->is_device()) {
        // A write that would run past the end of a disk is refused before any byte moves.
        const int64_t room = device_room(file->fd);
        if (room < static_cast<int64_t>(nNumberOfBytesToWrite)) {
            fail_with_errno(room < 0 ? errno : ENOSPC);
            return FALSE;
        }
    }
    const auto* bytes = static_cast<const uint8_t*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        const ssize_t put = sys().write(file->fd, bytes + done, nNumberOfBytesToWrite - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            fail_with_errno(put < 0 ? errno : EIO);
            if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
            return FALSE;
        }
        done += static_cast<DWORD>(put);
    }
    // On a disk the bytes must have arrived before the call returns, so that a device error is
    // reported here and not lost at close.
    if (file->is_device() && sys().fdatasync(file->fd) != 0) {
        fail_with_errno(errno);
        return FALSE;
    }
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    OpenFile* file = open_file(hObject);
    if (file == nullptr) return FALSE;
    const int closed = sys().close(file->fd);
    const int close_errno = errno;
    if (!file->delete_path.empty()) unlink(file->delete_path.c_str());
    delete file;
    if (closed != 0) {
        fail_with_errno(close_errno);
        return FALSE;
    }
    return TRUE;
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID, DWORD, LPVOID lpOutBuffer,
                     DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED) {
    if (lpBytesReturned != nullptr) *lpBytesReturned = 0;
    const OpenFile* file = open_file(hDevice);
    if (file == nullptr) return FALSE;
    if (dwIoControlCode != IOCTL_DISK_GET_DRIVE_GEOMETRY || !file->is_device()) {
        fail_with_code(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (lpOutBuffer == nullptr || nOutBufferSize < sizeof(DISK_GEOMETRY)) {
        fail_with_code(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DISK_GEOMETRY geometry{};
    if (!disk_geometry(file->disk, geometry)) return FALSE;
    std::memcpy(lpOutBuffer, &geometry, sizeof geometry);
    if (lpBytesReturned != nullptr) *lpBytesReturned = sizeof geometry;
    return TRUE;
}

DWORD FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPSTR lpBuffer, DWORD nSize,
                     va_list*) {
    std::string text = (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) != 0 ? text_for(dwMessageId) : "";
    if (text.empty()) {
        fail_with_code(ERROR_INVALID_PARAMETER);
        return 0;
    }
    text += '\n';
    if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        char* copy = static_cast<char*>(std::malloc(text.size() + 1));
        if (copy == nullptr) {
            fail_with_code(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(copy, text.c_str(), text.size() + 1);
        *reinterpret_cast<char**>(lpBuffer) = copy;
    } else {
        if (lpBuffer == nullptr || nSize <= text.size()) {
            fail_with_code(ERROR_INVALID_PARAMETER);
            return 0;
        }
        std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
    }
    return static_cast<DWORD>(text.size());
}

HLOCAL LocalAlloc(UINT, SIZE_T uBytes) {
    void* memory = std::malloc(uBytes > 0 ? uBytes : 1);
    if (memory == nullptr) fail_with_errno(ENOMEM);
    return memory;
}

HLOCAL LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}

BOOL DeleteFileA(LPCSTR lpFileName) {
    std::string disk;
    const std::string path = resolve(lpFileName, disk);
    if (path.empty()) return FALSE;
    if (!disk.empty() || unlink(path.c_str()) != 0) {
        fail_with_errno(disk.empty() ? errno : EACCES);
        return FALSE;
    }
    return TRUE;
}

void Sleep(DWORD dwMilliseconds) {
    timespec wait = {static_cast<time_t>(dwMilliseconds / 1000),
                     static_cast<long>(dwMilliseconds % 1000) * 1000000};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

BOOL GetVersionExA(LPOSVERSIONINFOA) {
    fail_with_code(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

int lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    return strcasecmp(lpString1, lpString2);
}

LSTATUS RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY phkResult) {
    if (phkResult != nullptr) *phkResult = nullptr;
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS RegQueryValueExA(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
    return ERROR_INVALID_HANDLE;
}

LSTATUS RegCloseKey(HKEY) {
    return ERROR_INVALID_HANDLE;
}
