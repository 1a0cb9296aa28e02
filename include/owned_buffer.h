// Memory obtained from the system with LocalAlloc and given back with LocalFree when its owner
// goes out of scope. Running out of memory is an answer here (none), never an exception.
#pragma once

#include <cstddef>
#include <memory>

#include "winapi.h"

struct ReleaseLocal {
    void operator()(void* memory) const { LocalFree(memory); }
};

template <typename T>
using Owned = std::unique_ptr<T[], ReleaseLocal>;

// count elements of T, or none (with the last error set) when memory is short.
template <typename T>
Owned<T> obtain(size_t count) {
    return Owned<T>(static_cast<T*>(LocalAlloc(LMEM_FIXED, count * sizeof(T))));
}
