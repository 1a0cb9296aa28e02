#include "platform/system_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
        [](const char* path, int mode) { return ::faccessat(AT_FDCWD, path, mode, AT_EACCESS); },
        ::flock,
        ::posix_fadvise,
        ::readlink,
    };
    return calls;
}

}  // namespace linux_layer
