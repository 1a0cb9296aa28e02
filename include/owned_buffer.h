// Memory obtained with malloc and released with free when its owner goes out of scope. Running
// out of memory is an answer here (none), never an exception.
#pragma once

#include <cstdlib>
#include <memory>

struct ReleaseWithFree {
    void operator()(void* memory) const { std::free(memory); }
};

template <typename T>
using Owned = std::unique_ptr<T[], ReleaseWithFree>;
