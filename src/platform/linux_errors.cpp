#include "platform/linux_errors.h"

#include <cerrno>
#include <cstring>

namespace linux_layer {

namespace {

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
    {ENODEV, ERROR_DEV_NOT_EXIST},
    {ENOMEDIUM, ERROR_NO_MEDIA_IN_DRIVE},
    {EIO, ERROR_IO_DEVICE},
    {EEXIST, ERROR_FILE_EXISTS},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_QUOTA_EXCEEDED},
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

// Codes that this layer or the tool set with no errno behind them, in Windows' words.
constexpr CodeText OWN_TEXTS[] = {
    {NO_ERROR, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_SECTOR_NOT_FOUND, "The drive cannot find the sector requested."},
    {ERROR_HANDLE_EOF, "Reached the end of the file."},
    {ERROR_NEGATIVE_SEEK,
     "An attempt was made to move the file pointer before the beginning of "
     "the file."},
    {ERROR_WRITE_PROTECT, "The media is write protected."},
    {ERROR_BUSY, "The disk is in use by the system or another program."},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
};

// Windows keeps the last error per thread.
thread_local DWORD last_error_code = NO_ERROR;

}  // namespace

DWORD& last_error() {
    return last_error_code;
}

void fail_with_errno(int error) {
    DWORD code = ERRNO_CODE_BASE | static_cast<DWORD>(error);
    for (const ErrnoCode& row : ERRNO_CODES) {
        if (row.errno_value == error) {
            code = row.code;
            break;
        }
    }
    fail_with_code(code);
}

void fail_with_code(DWORD code) {
    last_error_code = code;
}

std::string text_for(DWORD code) {
    if ((code & ERRNO_CODE_BASE) != 0) return std::strerror(static_cast<int>(code & 0xFFFF));
    for (const CodeText& row : OWN_TEXTS) {
        if (row.code == code) return row.text;
    }
    for (const ErrnoCode& row : ERRNO_CODES) {
        if (row.code == code) return std::strerror(row.errno_value);
    }
    return {};
}

}  // namespace linux_layer
