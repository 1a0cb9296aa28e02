// The Windows API subset on Linux, so that the tool really works there.
//
// Ordinary paths are files; "\\.\PHYSICALDRIVEn" is a whole disk (linux_disks.h). Windows
// version and registry calls fail, as on a system without them.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux_disks.h"
#include "platform/linux_errors.h"
#include "platform/system_calls.h"
#include "printable.h"
#include "winapi.h"

namespace {

using namespace linux_layer;

linux_layer::SystemCalls& sys() {
    return linux_layer::system_calls();
}

struct OpenFile {
    int fd;
    std::string disk;  // a whole disk's name under /sys/block; empty for a file
    std::string path;
    bool delete_on_close = false;  // FILE_FLAG_DELETE_ON_CLOSE
    // A disk opened for writing: fd is read-only until the first write claims the disk (claim)
    // and opens it for writing.
    bool writer = false;
    int claim = -1;
    bool synced = false;    // a disk's last write reached it, and nothing was written since
    bool uncached = false;  // FILE_FLAG_NO_BUFFERING: reads and writes bypass the page cache
    bool is_device() const { return !disk.empty(); }
};

OpenFile* open_file(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        fail_with_code(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<OpenFile*>(handle);
}

int open_flags(DWORD access, DWORD disposition) {
    int flags = O_CLOEXEC;
    const bool reads = (access & GENERIC_READ) != 0;
    const bool writes = (access & GENERIC_WRITE) != 0;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        case CREATE_NEW:  // a link where the new file should be is never followed
            return flags | O_CREAT | O_EXCL | O_NOFOLLOW;
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

// Reads that bypass the page cache: O_DIRECT where the file system allows it, as block
// devices do; elsewhere (tmpfs refuses it) the file's cached pages are written out and dropped,
// so that what is read next comes from the medium.
int open_uncached(const std::string& path, int flags) {
    const int fd = sys().open(path.c_str(), flags | O_DIRECT, 0);
    if (fd >= 0 || errno != EINVAL) return fd;
    const int cached = sys().open(path.c_str(), flags, 0);
    if (cached < 0) return -1;
    if (sys().fdatasync(cached) != 0 ||
        (errno = sys().posix_fadvise(cached, 0, 0, POSIX_FADV_DONTNEED)) != 0) {
        const int error = errno;
        sys().close(cached);
        errno = error;
        return -1;
    }
    return cached;
}

// Clears O_NONBLOCK, so that reads and writes wait as Windows' do; closes fd when it cannot.
bool made_blocking(int fd) {
    const int flags = sys().fcntl(fd, F_GETFL, 0);
    if (flags >= 0 && sys().fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) return true;
    const int error = errno;
    sys().close(fd);
    errno = error;
    return false;
}

// A disk opens for writing as a physical drive does on Windows, where only the right to write
// it is asked at the open, also while its volumes are mounted; the write itself is what may be
// refused.
int open_writer(const std::string& path, int direct) {
    if (sys().access(path.c_str(), W_OK) != 0) {
        fail_with_errno(errno);
        return -1;
    }
    const int fd = sys().open(path.c_str(), O_RDONLY | O_CLOEXEC | direct, 0);
    if (fd < 0) fail_with_errno(errno);
    return fd;
}

// The descriptor behind a new handle, or -1 with the last error set.
int open_descriptor(const std::string& path, const std::string& disk, DWORD access,
                    DWORD disposition, DWORD attributes) {
    if (!disk.empty() && (access & GENERIC_WRITE) != 0) {
        return open_writer(path, (attributes & FILE_FLAG_NO_BUFFERING) != 0 ? O_DIRECT : 0);
    }
    const int flags = open_flags(access, disposition);
    if (flags < 0) {
        fail_with_code(ERROR_INVALID_PARAMETER);
        return -1;
    }
    // A pipe that no program has opened yet would hold an ordinary open for good: opened
    // without waiting, a pipe is then told apart by GetFileType and refused.
    const int fd = (attributes & FILE_FLAG_NO_BUFFERING) != 0
                       ? open_uncached(path, flags | O_NONBLOCK)
                       : sys().open(path.c_str(), flags | O_NONBLOCK, 0666);
    if (fd < 0 || !made_blocking(fd)) {
        fail_with_errno(errno);
        return -1;
    }
    return fd;
}

// A disk's writer claims the disk at its first write, and gets its writable descriptor then, at
// the position the handle has; the claim is held until the handle is closed.
bool make_writable(OpenFile& file) {
    if (!file.writer || file.claim >= 0) return true;
    const int claim = claim_disk(file.path, file.disk);
    if (claim < 0) return false;
    const off_t position = sys().lseek(file.fd, 0, SEEK_CUR);
    const int flags = O_RDWR | O_CLOEXEC | (file.uncached ? O_DIRECT : 0);
    const int fd = position < 0 ? -1 : sys().open(file.path.c_str(), flags, 0);
    if (fd < 0 || sys().lseek(fd, position, SEEK_SET) < 0) {
        fail_with_errno(errno);
        if (fd >= 0) sys().close(fd);
        sys().close(claim);
        return false;
    }
    sys().close(file.fd);
    file.fd = fd;
    file.claim = claim;
    return true;
}

// Text for a buffer of the tool's: cut to fit, and a byte outside printable ASCII shown as '?'.
void copy_text(const std::string& text, char* out, size_t out_bytes) {
    const size_t length = std::min(text.size(), out_bytes - 1);
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out[i] = printable(c);
    }
    out[length] = '\0';
}

// The standard device-property query, answered as Windows does: the record, then the vendor
// and product texts it points to, each ended by a NUL (offset 0 for a text the disk lacks).
BOOL describe_disk(const std::string& disk, LPCVOID query, LPVOID out, DWORD out_bytes,
                   LPDWORD returned) {
    const auto* asked = static_cast<const STORAGE_PROPERTY_QUERY*>(query);
    if (asked == nullptr || asked->PropertyId != StorageDeviceProperty ||
        asked->QueryType != PropertyStandardQuery) {
        fail_with_code(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    const auto line = [](std::string text) { return text.substr(0, text.find('\n')); };
    const std::string vendor = line(disk_vendor(disk));
    const std::string product = line(disk_product(disk));
    STORAGE_DEVICE_DESCRIPTOR record{};
    const DWORD vendor_at = sizeof record;
    const DWORD product_at = vendor_at + static_cast<DWORD>(vendor.size()) + 1;
    record.Version = sizeof record;
    record.Size = product_at + static_cast<DWORD>(product.size()) + 1;
    record.RemovableMedia = disk_attribute(disk, "removable").rfind('1', 0) == 0;
    record.VendorIdOffset = vendor.empty() ? 0 : vendor_at;
    record.ProductIdOffset = product.empty() ? 0 : product_at;
    if (out == nullptr || out_bytes < record.Size) {
        fail_with_code(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* bytes = static_cast<char*>(out);
    std::memcpy(bytes, &record, sizeof record);
    std::memcpy(bytes + vendor_at, vendor.c_str(), vendor.size() + 1);
    std::memcpy(bytes + product_at, product.c_str(), product.size() + 1);
    if (returned != nullptr) *returned = record.Size;
    return TRUE;
}

// A file created after a template takes its permissions, and, where root creates it, its owner,
// as Windows gives a new file its template's attributes. Where the file system keeps neither
// (vfat), the new file keeps what it has.
void take_after(int fd, HANDLE template_file) {
    const OpenFile* model = static_cast<const OpenFile*>(template_file);
    struct stat status {};
    if (model == nullptr || model == INVALID_HANDLE_VALUE || sys().fstat(model->fd, &status) != 0) {
        return;
    }
    sys().fchmod(fd, status.st_mode & 07777);
    if (sys().geteuid() == 0) sys().fchown(fd, status.st_uid, status.st_gid);
}

}  // namespace

DWORD GetLastError() {
    return last_error();
}

void SetLastError(DWORD dwErrCode) {
    last_error() = dwErrCode;
}

namespace {

// A file opened for writing that shares no writing, as Windows' share mode keeps every other
// writer out: its flock, taken exclusively, which any program that honours flock honours too.
// A file that another such handle holds is refused as Windows refuses it.
bool keeps_writers_out(int fd) {
    if (sys().flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    const int error = errno;
    sys().close(fd);
    if (error == EWOULDBLOCK) {
        fail_with_code(ERROR_SHARING_VIOLATION);
    } else {
        fail_with_errno(error);
    }
    return false;
}

}  // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE hTemplateFile) {
    std::string disk;
    const std::string path = resolve(lpFileName, disk);
    if (path.empty()) return INVALID_HANDLE_VALUE;
    const int fd =
        open_descriptor(path, disk, dwDesiredAccess, dwCreationDisposition, dwFlagsAndAttributes);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    struct stat status {};
    if (sys().fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        fail_with_errno(S_ISDIR(status.st_mode) ? EISDIR : errno);
        sys().close(fd);
        return INVALID_HANDLE_VALUE;
    }
    if (disk.empty() && (dwDesiredAccess & GENERIC_WRITE) != 0 &&
        (dwShareMode & FILE_SHARE_WRITE) == 0 && S_ISREG(status.st_mode) &&
        !keeps_writers_out(fd)) {
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition == CREATE_NEW || dwCreationDisposition == CREATE_ALWAYS) {
        take_after(fd, hTemplateFile);
    }
    const bool delete_on_close = (dwFlagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    const bool writer = !disk.empty() && (dwDesiredAccess & GENERIC_WRITE) != 0;
    auto* file = new OpenFile{fd, disk, path, delete_on_close, writer};
    file->uncached = (dwFlagsAndAttributes & FILE_FLAG_NO_BUFFERING) != 0;
    return file;
}

// A disk or a regular file is what Windows calls a disk file; a terminal or other character
// device a character file; a pipe or socket a pipe.
DWORD GetFileType(HANDLE hFile) {
    const OpenFile* file = open_file(hFile);
    struct stat status {};
    if (file == nullptr || sys().fstat(file->fd, &status) != 0) {
        if (file != nullptr) fail_with_errno(errno);
        return FILE_TYPE_UNKNOWN;
    }
    SetLastError(NO_ERROR);
    if (S_ISREG(status.st_mode) || S_ISBLK(status.st_mode)) return FILE_TYPE_DISK;
    if (S_ISCHR(status.st_mode)) return FILE_TYPE_CHAR;
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

// A file is named by its device and inode, as Windows names it by volume and file index.
BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    const OpenFile* file = open_file(hFile);
    struct stat status {};
    if (file == nullptr || sys().fstat(file->fd, &status) != 0) {
        if (file != nullptr) fail_with_errno(errno);
        return FALSE;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const auto device = static_cast<uint64_t>(status.st_dev);
    const auto inode = static_cast<uint64_t>(status.st_ino);
    const auto size = static_cast<uint64_t>(status.st_size);
    information.dwVolumeSerialNumber = static_cast<DWORD>(device ^ device >> 32);
    information.nFileIndexHigh = static_cast<DWORD>(inode >> 32);
    information.nFileIndexLow = static_cast<DWORD>(inode);
    information.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    information.nFileSizeLow = static_cast<DWORD>(size);
    information.nNumberOfLinks = static_cast<DWORD>(status.st_nlink);
    *lpFileInformation = information;
    SetLastError(NO_ERROR);
    return TRUE;
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
    if (file == nullptr || !make_writable(*file)) return FALSE;
    if (file->is_device()) {
        // A write that would run past the end of a disk is refused before any byte moves.
        const int64_t room = device_room(file->fd);
        if (room < static_cast<int64_t>(nNumberOfBytesToWrite)) {
            fail_with_errno(room < 0 ? errno : ENOSPC);
            return FALSE;
        }
    }
    file->synced = false;
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
    // reported here and not lost at close. Past the cache (O_DIRECT) a write reaches the disk
    // as it is made, and the disk's own cache is flushed once by FlushFileBuffers, so that a
    // change of several runs costs one sync.
    const bool syncs = file->is_device() && !file->uncached;
    if (syncs && sys().fdatasync(file->fd) != 0) {
        fail_with_errno(errno);
        return FALSE;
    }
    file->synced = syncs;
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    OpenFile* file = open_file(hObject);
    if (file == nullptr) return FALSE;
    int closed = sys().close(file->fd);
    int close_errno = errno;
    if (file->claim >= 0 && sys().close(file->claim) != 0 && closed == 0) {
        closed = -1;
        close_errno = errno;
    }
    if (file->delete_on_close) sys().unlink(file->path.c_str());
    delete file;
    if (closed != 0) {
        fail_with_errno(close_errno);
        return FALSE;
    }
    return TRUE;
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED) {
    if (lpBytesReturned != nullptr) *lpBytesReturned = 0;
    const OpenFile* file = open_file(hDevice);
    if (file == nullptr) return FALSE;
    if (dwIoControlCode == IOCTL_DISK_GET_LENGTH_INFO && file->is_device()) {
        GET_LENGTH_INFORMATION length{};
        length.Length.QuadPart = end_of_file(file->fd);
        if (length.Length.QuadPart < 0) {
            fail_with_errno(errno);
            return FALSE;
        }
        if (lpOutBuffer == nullptr || nOutBufferSize < sizeof length) {
            fail_with_code(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(lpOutBuffer, &length, sizeof length);
        if (lpBytesReturned != nullptr) *lpBytesReturned = sizeof length;
        return TRUE;
    }
    if (dwIoControlCode == IOCTL_STORAGE_QUERY_PROPERTY && file->is_device()) {
        return describe_disk(file->disk, lpInBuffer, lpOutBuffer, nOutBufferSize, lpBytesReturned);
    }
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

// A disk's writes are synced as they are made: one that nothing was written to since needs no
// second sync. A file opened past the cache where its file system refused O_DIRECT has its
// pages dropped once they are written, so that what the handle reads next comes from the medium.
BOOL FlushFileBuffers(HANDLE hFile) {
    const OpenFile* file = open_file(hFile);
    if (file == nullptr) return FALSE;
    if (file->synced) return TRUE;
    if (sys().fdatasync(file->fd) != 0) {
        fail_with_errno(errno);
        return FALSE;
    }
    const int flags = file->uncached ? sys().fcntl(file->fd, F_GETFL, 0) : O_DIRECT;
    const int advice = flags < 0 || (flags & O_DIRECT) != 0
                           ? 0
                           : sys().posix_fadvise(file->fd, 0, 0, POSIX_FADV_DONTNEED);
    if (flags < 0 || advice != 0) {
        fail_with_errno(flags < 0 ? errno : advice);
        return FALSE;
    }
    return TRUE;
}

// Whole pages, zeroed and already in memory, as Windows commits them (brought in with one call
// rather than a fault per page). The mapping's first page keeps its length for VirtualFree,
// which is told none.
constexpr size_t PAGE_BYTES = 4096;

LPVOID VirtualAlloc(LPVOID, SIZE_T dwSize, DWORD, DWORD) {
    const size_t length = PAGE_BYTES + dwSize;
    void* mapping = mmap(nullptr, length, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (mapping == MAP_FAILED) {
        fail_with_errno(errno);
        return nullptr;
    }
    *static_cast<size_t*>(mapping) = length;
    return static_cast<uint8_t*>(mapping) + PAGE_BYTES;
}

BOOL VirtualFree(LPVOID lpAddress, SIZE_T, DWORD) {
    if (lpAddress == nullptr) {
        fail_with_code(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint8_t* mapping = static_cast<uint8_t*>(lpAddress) - PAGE_BYTES;
    if (munmap(mapping, *reinterpret_cast<size_t*>(mapping)) != 0) {
        fail_with_errno(errno);
        return FALSE;
    }
    return TRUE;
}

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    const size_t bytes = uBytes > 0 ? uBytes : 1;
    void* memory = (uFlags & LMEM_ZEROINIT) != 0 ? std::calloc(1, bytes) : std::malloc(bytes);
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
    if (!disk.empty() || sys().unlink(path.c_str()) != 0) {
        fail_with_errno(disk.empty() ? errno : EACCES);
        return FALSE;
    }
    return TRUE;
}

namespace {

// A file moved to a new name by the rename given; a disk is never renamed.
BOOL move_file(LPCSTR from, LPCSTR to, int (*rename)(const char*, const char*)) {
    std::string disk;
    const std::string old_path = resolve(from, disk);
    if (old_path.empty()) return FALSE;
    std::string to_disk;
    const std::string new_path = resolve(to, to_disk);
    if (new_path.empty()) return FALSE;
    if (!disk.empty() || !to_disk.empty() || rename(old_path.c_str(), new_path.c_str()) != 0) {
        fail_with_errno(disk.empty() && to_disk.empty() ? errno : EACCES);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

// Windows' meaning: the new name may not exist yet.
BOOL MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    return move_file(lpExistingFileName, lpNewFileName, sys().rename_new);
}

BOOL claim_for_writing(HANDLE handle) {
    OpenFile* file = open_file(handle);
    return file != nullptr && make_writable(*file) ? TRUE : FALSE;
}

BOOL replace_by_move(LPCSTR from, LPCSTR to) {
    return move_file(from, to, sys().rename);
}

// Each link is followed in turn, a relative one from the folder it lies in, as the kernel
// follows them, so that a link to a file not made yet names it too.
LPCSTR native_line_end() {
    return "\n";
}

// The XDG base directories' state folder.
BOOL user_state_folder(LPSTR path, DWORD path_bytes) {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string folder;
    if (state != nullptr && state[0] == '/') {
        folder = std::string(state) + "/slotpush";
    } else if (home != nullptr && home[0] != '\0') {
        folder = std::string(home) + "/.local/state/slotpush";
    }
    if (folder.empty() || folder.size() >= path_bytes) return FALSE;
    folder.copy(path, path_bytes - 1);
    path[folder.size()] = '\0';
    return TRUE;
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    const time_t now = std::time(nullptr);
    struct tm local = {};
    localtime_r(&now, &local);
    *lpSystemTime = {static_cast<WORD>(local.tm_year + 1900), static_cast<WORD>(local.tm_mon + 1),
                     static_cast<WORD>(local.tm_wday),        static_cast<WORD>(local.tm_mday),
                     static_cast<WORD>(local.tm_hour),        static_cast<WORD>(local.tm_min),
                     static_cast<WORD>(local.tm_sec),         0};
}

BOOL linked_path(LPCSTR path, LPSTR target, DWORD target_bytes) {
    constexpr int MOST_LINKS = 40;  // the kernel's own limit
    std::string at = path;
    struct stat status {};
    int links = 0;
    for (; links < MOST_LINKS && sys().lstat(at.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
         ++links) {
        char named[4096];
        const ssize_t length = sys().readlink(at.c_str(), named, sizeof named);
        if (length <= 0 || static_cast<size_t>(length) >= sizeof named) return FALSE;
        const std::string link(named, static_cast<size_t>(length));
        const size_t folder = at.find_last_of('/');
        at = link[0] == '/' || folder == std::string::npos ? link : at.substr(0, folder + 1) + link;
    }
    if (links == 0 || at.size() >= target_bytes) return FALSE;
    std::memcpy(target, at.c_str(), at.size() + 1);
    return TRUE;
}

// Windows' attributes of a Linux file: a folder, or one the user may not write. Root may write
// any file, but one whose permissions give no one the right to write it is still read-only, as
// Windows' read-only attribute holds for its administrators too.
DWORD GetFileAttributesA(LPCSTR lpFileName) {
    std::string disk;
    const std::string path = resolve(lpFileName, disk);
    if (path.empty()) return INVALID_FILE_ATTRIBUTES;
    struct stat status {};
    if (sys().stat(path.c_str(), &status) != 0) {
        fail_with_errno(errno);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(status.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    const bool read_only = S_ISREG(status.st_mode) &&
                           ((status.st_mode & 0222) == 0 || sys().access(path.c_str(), W_OK) != 0);
    return read_only ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(sys().getpid());
}

// Standard input, which the program never closes.
HANDLE GetStdHandle(DWORD nStdHandle) {
    static OpenFile input{0, "", "", false};
    if (nStdHandle != STD_INPUT_HANDLE) {
        fail_with_code(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return &input;
}

BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
    const OpenFile* file = open_file(hConsoleHandle);
    if (file == nullptr) return FALSE;
    if (sys().isatty(file->fd) != 1) {
        fail_with_code(ERROR_INVALID_HANDLE);  // Windows' answer for a handle that is no console
        return FALSE;
    }
    if (lpMode != nullptr) *lpMode = 0;
    return TRUE;
}

namespace {

// A Ctrl-C noted, from the signal handler; read by interrupted().
volatile sig_atomic_t interruption = 0;

void note_interruption(int) {
    interruption = 1;
}

}  // namespace

// SA_RESETHAND gives the signal back to the system once it has been noted: a second one ends the
// program. Reads and writes started meanwhile go on (SA_RESTART), as Windows' do.
void hold_interruptions() {
    struct sigaction noted {};
    noted.sa_handler = note_interruption;
    noted.sa_flags = SA_RESETHAND | SA_RESTART;
    sigemptyset(&noted.sa_mask);
    sys().sigaction(SIGINT, &noted, nullptr);
    sys().sigaction(SIGTERM, &noted, nullptr);
    struct sigaction ignored {};
    ignored.sa_handler = SIG_IGN;
    sigemptyset(&ignored.sa_mask);
    sys().sigaction(SIGPIPE, &ignored, nullptr);
}

BOOL interrupted() {
    return interruption != 0 ? TRUE : FALSE;
}

BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    if (sys().mkdir(lpPathName, 0777) == 0) return TRUE;
    // Windows' own answer for a folder already there.
    if (errno == EEXIST) {
        fail_with_code(ERROR_ALREADY_EXISTS);
    } else {
        fail_with_errno(errno);
    }
    return FALSE;
}

namespace {

// A folder's entries, read whole when the search starts, given out one at a time.
struct FolderSearch {
    std::vector<std::pair<std::string, bool>> entries;  // name, is a folder
    size_t next = 0;
};

BOOL next_entry(FolderSearch& search, LPWIN32_FIND_DATAA found) {
    if (search.next == search.entries.size()) {
        fail_with_code(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    const auto& [name, folder] = search.entries[search.next++];
    *found = WIN32_FIND_DATAA{};
    found->dwFileAttributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    copy_text(name, found->cFileName, sizeof found->cFileName);
    return TRUE;
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    std::string folder = lpFileName;
    const size_t separator = folder.find_last_of("/\\");
    folder = separator == std::string::npos ? "." : folder.substr(0, separator + 1);
    DIR* directory = sys().opendir(folder.c_str());
    if (directory == nullptr) {
        fail_with_errno(errno == ENOENT ? ENOTDIR : errno);
        return INVALID_HANDLE_VALUE;
    }
    auto* search = new FolderSearch;
    while (const dirent* entry = sys().readdir(directory)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            search->entries.emplace_back(name, entry->d_type == DT_DIR);
    }
    sys().closedir(directory);
    std::sort(search->entries.begin(), search->entries.end());
    if (!next_entry(*search, lpFindFileData)) {
        delete search;
        fail_with_code(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return search;
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    return next_entry(*static_cast<FolderSearch*>(hFindFile), lpFindFileData);
}

BOOL FindClose(HANDLE hFindFile) {
    delete static_cast<FolderSearch*>(hFindFile);
    return TRUE;
}

void Sleep(DWORD dwMilliseconds) {
    timespec wait = {static_cast<time_t>(dwMilliseconds / 1000),
                     static_cast<long>(dwMilliseconds % 1000) * 1000000};
    while (sys().nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

BOOL GetVersionExA(LPOSVERSIONINFOA) {
    fail_with_code(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL native_drive_names(LPCSTR windows_path, LPSTR name, DWORD name_bytes, LPSTR mounts,
                        DWORD mounts_bytes) {
    std::string disk;
    const std::string path = resolve(windows_path, disk);
    if (disk.empty() || name_bytes == 0) return FALSE;
    copy_text("/dev/" + disk, name, name_bytes);
    if (mounts_bytes > 0) copy_text(mount_directories(path, disk), mounts, mounts_bytes);
    return TRUE;
}

BOOL native_device_path(LPCSTR windows_path, LPSTR path, DWORD path_bytes) {
    std::string disk;
    const std::string opened = resolve(windows_path, disk);
    if (disk.empty() || opened.size() >= path_bytes) return FALSE;
    std::memcpy(path, opened.c_str(), opened.size() + 1);
    return TRUE;
}

BOOL native_disk_mounts(LPCSTR windows_path, LPSTR text, DWORD text_bytes) {
    std::string disk;
    const std::string path = resolve(windows_path, disk);
    if (disk.empty() || text_bytes == 0) return FALSE;
    copy_text(mounted_partitions(path, disk), text, text_bytes);
    return TRUE;
}

// Root may open every disk the kernel lets anyone open; one refused to root (a container's
// device rules) is not a matter of rights the user can add.
BOOL runs_with_every_right() {
    return sys().geteuid() == 0;
}

// Nothing is created in the program's folder, a system folder once installed.
BOOL creates_drive_choice_file() {
    return FALSE;
}

const char* program_path(const char* typed) {
    if (std::strchr(typed, '/') != nullptr) return typed;
    static char own[4096];
    const ssize_t length = sys().readlink("/proc/self/exe", own, sizeof own);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof own) return nullptr;  // or cut short
    own[length] = '\0';
    return own;
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
