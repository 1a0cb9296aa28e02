// Whole-buffer transfers and 64-bit positioning on a Windows handle, and the handle's owner.
//
// Each step returns NO_ERROR, or the system's code for why it failed, taken where it failed. A
// read or write that moves fewer bytes than asked is a failure here, with a code that says why.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "winapi.h"

// Owns one handle from CreateFileA and closes it when it goes out of scope.
class ScopedHandle {
  public:
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }

    // Closes the handle held, if any, and holds this one.
    void reset(HANDLE handle) {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = handle;
    }

    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// Moves the position to the end and stores the whole 64-bit length.
DWORD seek_to_end(HANDLE handle, uint64_t& length);

// One ReadFile or WriteFile call for the whole buffer at byte_offset from the start; a short
// read is ERROR_HANDLE_EOF, a short write ERROR_DISK_FULL.
DWORD read_at(HANDLE handle, uint64_t byte_offset, std::span<uint8_t> buffer);
DWORD write_at(HANDLE handle, uint64_t byte_offset, std::span<const uint8_t> buffer);

// What names a file whatever path reaches it (a link, another spelling): its volume and its
// index there.
struct FileIdentity {
    DWORD volume = 0;
    DWORD index_high = 0;
    DWORD index_low = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the open file; none where the system does not tell it (a device).
std::optional<FileIdentity> identity_of(HANDLE file);

// The length of a disk, as Windows XP and later tell it (and the Linux layer of its disks); none
// for a file, or where the system does not tell.
std::optional<uint64_t> disk_length(HANDLE disk);
