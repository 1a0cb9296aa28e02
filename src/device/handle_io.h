// Whole-buffer transfers and 64-bit positioning on a Windows handle, and the handle's owner.
//
// A read or write that moves fewer bytes than asked is a failure here, with a last error that
// says why; a failing call's last error is never overwritten by the closing of its handle.
#pragma once

#include <cstdint>
#include <span>

#include "winapi.h"

// Owns one handle from CreateFileA and closes it when it goes out of scope.
class ScopedHandle {
  public:
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle();

    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// Moves the position to byte_offset from the start; false when the platform refuses.
bool seek_from_start(HANDLE handle, uint64_t byte_offset);

// Moves the position to the end and stores the whole 64-bit length.
bool seek_to_end(HANDLE handle, uint64_t& length);

// One ReadFile or WriteFile call for the whole buffer; a short count is a failure.
bool read_exactly(HANDLE handle, std::span<uint8_t> buffer);
bool write_exactly(HANDLE handle, std::span<const uint8_t> buffer);
