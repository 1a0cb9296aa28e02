#include "platform/system_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>  // renameat2
#include <cstdlib>

namespace linux_layer {

const SystemCalls& real_system_calls() {
    static const SystemCalls real = {
        .open = [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        .read = ::read,
        .write = ::write,
        .lseek = ::lseek,
        .fdatasync = ::fdatasync,
        .fcntl = [](int fd, int command, int argument) { return ::fcntl(fd, command, argument); },
        .close = ::close,
        .fstat = [](int fd, struct stat* status) { return ::fstat(fd, status); },
        .stat = [](const char* path, struct stat* status) { return ::stat(path, status); },
        .access = [](const char* path,
                     int mode) { return ::faccessat(AT_FDCWD, path, mode, AT_EACCESS); },
        .flock = ::flock,
        .posix_fadvise = ::posix_fadvise,
        .readlink = ::readlink,
        .realpath = ::realpath,
        .opendir = ::opendir,
        .readdir = ::readdir,
        .closedir = ::closedir,
        .unlink = ::unlink,
        .rename_new =
            [](const char* from, const char* to) {
                return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
            },
        .rename = ::rename,
        .lstat = [](const char* path, struct stat* status) { return ::lstat(path, status); },
        .fchmod = ::fchmod,
        .fchown = ::fchown,
        .isatty = ::isatty,
        .getpid = ::getpid,
        .sigaction = [](int signal, const struct sigaction* action,
                        struct sigaction* old) { return ::sigaction(signal, action, old); },
        .mkdir = ::mkdir,
        .nanosleep = ::nanosleep,
        .geteuid = ::geteuid,
    };
    return real;
}

SystemCalls& system_calls() {
    static SystemCalls in_force = real_system_calls();
    return in_force;
}

}  // namespace linux_layer
