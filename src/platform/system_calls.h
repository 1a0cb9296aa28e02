// The system calls of the Linux layer, each a named entry of one table, so that a test can make
// any of them fail, come up short or be interrupted, and so reach every failure path of the
// layer. Nothing in the layer calls the system any other way.
#pragma once

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <type_traits>

namespace linux_layer {

struct SystemCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buffer, size_t count);
    ssize_t (*write)(int fd, const void* buffer, size_t count);
    off_t (*lseek)(int fd, off_t offset, int whence);
    int (*fdatasync)(int fd);
    int (*fcntl)(int fd, int command, int argument);  // F_GETFL and F_SETFL
    int (*close)(int fd);
    int (*fstat)(int fd, struct stat* status);
    int (*stat)(const char* path, struct stat* status);
    int (*access)(const char* path, int mode);  // as the effective user, as open() checks
    int (*flock)(int fd, int operation);
    int (*posix_fadvise)(int fd, off_t offset, off_t length, int advice);
    ssize_t (*readlink)(const char* path, char* buffer, size_t size);
    char* (*realpath)(const char* path, char* resolved);  // resolved nullptr: malloc'ed
    DIR* (*opendir)(const char* path);
    dirent* (*readdir)(DIR* directory);
    int (*closedir)(DIR* directory);
    int (*unlink)(const char* path);
    int (*rename_new)(const char* from, const char* to);  // fails with EEXIST where `to` is
    int (*rename)(const char* from, const char* to);      // replaces what `to` names
    int (*lstat)(const char* path, struct stat* status);
    int (*fchmod)(int fd, mode_t mode);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*isatty)(int fd);
    pid_t (*getpid)();
    int (*sigaction)(int signal, const struct sigaction* action, struct sigaction* old);
    int (*mkdir)(const char* path, mode_t mode);
    int (*nanosleep)(const timespec* wait, timespec* left);
    uid_t (*geteuid)();
};

// The table in force, and the system's own calls it starts as.
SystemCalls& system_calls();
const SystemCalls& real_system_calls();

// Puts a table, or one replaced entry, in force for as long as it lives, and the table it
// replaced back however the scope ends.
class ScopedSystemCalls {
  public:
    explicit ScopedSystemCalls(const SystemCalls& replacement) : replaced_(system_calls()) {
        system_calls() = replacement;
    }
    template <typename Call>
    ScopedSystemCalls(Call SystemCalls::*entry, std::type_identity_t<Call> replacement)
        : replaced_(system_calls()) {
        system_calls().*entry = replacement;
    }
    ScopedSystemCalls(const ScopedSystemCalls&) = delete;
    ScopedSystemCalls& operator=(const ScopedSystemCalls&) = delete;
    ~ScopedSystemCalls() { system_calls() = replaced_; }

  private:
    SystemCalls replaced_;
};

}  // namespace linux_layer
