// The system calls of the Linux layer, reached through one table so that a test can make any of
// them fail, come up short or be interrupted, and so reach every failure path of the layer.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace linux_layer {

struct SystemCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buffer, size_t count);
    ssize_t (*write)(int fd, const void* buffer, size_t count);
    off_t (*lseek)(int fd, off_t offset, int whence);
    int (*fdatasync)(int fd);
    int (*close)(int fd);
    int (*fstat)(int fd, struct stat* status);
    int (*access)(const char* path, int mode);  // as the effective user, as open() checks
    int (*flock)(int fd, int operation);
    int (*posix_fadvise)(int fd, off_t offset, off_t length, int advice);
    ssize_t (*readlink)(const char* path, char* buffer, size_t size);
};

// The table in force. A test that replaces an entry puts the original back when it is done.
SystemCalls& system_calls();

}  // namespace linux_layer
