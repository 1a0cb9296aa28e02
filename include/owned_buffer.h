// Memory obtained from the system with LocalAlloc and given back with LocalFree when its owner
// goes out of scope. Running out of memory is an answer here (none), never an exception.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "winapi.h"

struct ReleaseLocal {
    void operator()(void* memory) const { LocalFree(memory); }
};

template <typename T>
using Owned = std::unique_ptr<T[], ReleaseLocal>;

// count elements of T, zeroed, or none (with the last error set) when memory is short. Only
// types that all-zero bytes make a value of (numbers, pointers, plain records) are obtained so,
// so that no caller can read what it did not set.
template <typename T>
Owned<T> obtain(size_t count) {
    static_assert(std::is_trivially_destructible_v<T>, "obtained memory runs no destructor");
    return Owned<T>(static_cast<T*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, count * sizeof(T))));
}

// Whole pages from VirtualAlloc, given back with VirtualFree: the alignment that reads which
// bypass the system's cache need.
struct ReleasePages {
    void operator()(uint8_t* pages) const { VirtualFree(pages, 0, MEM_RELEASE); }
};
using Pages = std::unique_ptr<uint8_t[], ReleasePages>;

inline Pages obtain_pages(size_t bytes) {
    return Pages(static_cast<uint8_t*>(
        VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
}
